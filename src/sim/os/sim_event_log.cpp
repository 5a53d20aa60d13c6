#include "sim/os/sim_event_log.h"

#include "common/format.h"

namespace Arvek::Sim {

namespace {
class SimEventSource : public Ports::IEventSource {
public:
    SimEventSource(SimEventLog& log, std::wstring name, SimFaults* faults)
        : m_log(log), m_name(std::move(name)), m_faults(faults) {}
    bool Report(std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                const std::vector<std::wstring>& strings) override {
        if (TakeFault(m_faults, "event-log.report")) return false;
        m_log.Record({m_name, type, category, eventId, strings});
        return true;
    }

private:
    SimEventLog& m_log;
    std::wstring m_name;
    SimFaults* m_faults;
};
}  // namespace

std::unique_ptr<Ports::IEventSource> SimEventLog::RegisterSource(const std::wstring& sourceName) {
    if (TakeFault(m_faults, "event-log.register-source")) return nullptr;
    return std::make_unique<SimEventSource>(*this, sourceName, m_faults);
}

void SimEventLog::Record(Entry entry) {
    const wchar_t* type = entry.type == Ports::kEVENTLOG_ERROR_TYPE     ? L"Error"
                          : entry.type == Ports::kEVENTLOG_WARNING_TYPE ? L"Warning"
                                                                         : L"Information";
    std::wstring text = Format(L"%s %s id=%u:", entry.source, type, entry.eventId);
    for (const auto& s : entry.strings) text += L" " + s;
    m_transcript.Add(m_clock.ElapsedMs(), "event-log", text);
    std::lock_guard guard(m_lock);
    m_entries.push_back(std::move(entry));
}

std::vector<SimEventLog::Entry> SimEventLog::Entries() const {
    std::lock_guard guard(m_lock);
    return m_entries;
}

}  // namespace Arvek::Sim
