#include "sim/standins/firmware_wmi.h"

#include <algorithm>

#include "common/strings.h"

namespace Arvek::Sim {

void FirmwareWmi::Install() {
    m_wmi.AddEventClass(kNamespace, kEventClass, {L"EventID", L"EventData"});
    m_wmi.AddEventClass(kNamespace, kPublicEventClass, {L"Description"});
}

std::size_t FirmwareWmi::Raise(std::vector<SimWmi::Event> events) {
    for (auto& event : events) {
        auto& properties = event.instance.properties;
        const bool named = std::any_of(properties.begin(), properties.end(),
                                       [](const auto& p) { return EqualsIgnoreCase(p.first, L"__Class"); });
        if (!named) properties.insert(properties.begin(), {L"__Class", Variant::Bstr(event.className)});
    }
    return m_wmi.Raise(kNamespace, events);
}

}  // namespace Arvek::Sim
