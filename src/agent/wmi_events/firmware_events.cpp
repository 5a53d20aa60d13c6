// The processing of the firmware events that end in a dialog, the
// firmware-protection event, and the public BIOS event's toast.
#include <exception>

#include "agent/presentation/desktop_toast.h"
#include "agent/wmi_events/arvek_wmi_events.h"
#include "common/strings.h"
#include "shared/log.h"
#include "tolm/tolm_command.h"

namespace Notifications::ArvekWmiEvents {

using Arvek::HRESULT;
using Arvek::Shared::GetLog;

namespace {
constexpr char kProcessFirmware[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessFirmwareEvent";
constexpr char kProcessFirmwareRuntime[] =
    "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessFirmwareRuntimeEvent";
constexpr char kProcessPrivacyPanel[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessPrivacyPanelEvent";
constexpr char kProcessTarnwall[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessTarnwallEvent";
constexpr char kProcessWmi[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessWMIEvent";
// The public event's toast has a title of its own, not from the string table.
constexpr wchar_t kPublicEventTitle[] = L"Arvek Notifications";
}  // namespace

HRESULT CArvekWmiEvents::ProcessFirmwareEvent(std::int32_t, const Arvek::Variant*) {
    Arvek::Shared::CArvekLogTrace trace(kProcessFirmware);
    return Arvek::kS_OK;
}

HRESULT CArvekWmiEvents::ProcessFirmwareRuntimeEvent(std::int32_t, const Arvek::Variant*) {
    Arvek::Shared::CArvekLogTrace trace(kProcessFirmwareRuntime);
    return Arvek::kS_OK;
}

HRESULT CArvekWmiEvents::ProcessPrivacyPanelEvent(std::int32_t, const Arvek::Variant*) {
    Arvek::Shared::CArvekLogTrace trace(kProcessPrivacyPanel);
    return Arvek::kS_OK;
}

HRESULT CArvekWmiEvents::ProcessTarnwallEvent(std::int32_t, const Arvek::Variant*) {
    Arvek::Shared::CArvekLogTrace trace(kProcessTarnwall);
    return Arvek::kS_OK;
}

HRESULT CArvekWmiEvents::ProcessWMIEvent(std::wstring className, const Arvek::Variant* description) {
    Arvek::Shared::CArvekLogTrace trace(kProcessWmi);
    Arvek::Tolm::CTolmCommand command(m_platform.tolm);
    if (const HRESULT created = command.Create(); Arvek::Failed(created)) return created;
    try {
        Arvek::Variant enabled;
        const HRESULT hr = command.ExecuteCommand(Arvek::Tolm::kF10SettingWmiEventsEnabled, enabled);
        if (Arvek::Succeeded(hr) && enabled.IsVariantTrue() && Arvek::EqualsIgnoreCase(className, kPublicBiosEventClass)) {
            // The description's string, whatever its tag says; none is empty.
            const std::wstring text = description ? description->StringOrEmpty() : std::wstring();
            Tidewatch::DesktopToast toast(m_platform);
            toast.TryCreateShortcut();
            toast.DisplayToast(kPublicEventTitle, text);
        }
        return hr;
    } catch (const Arvek::ComError& e) {
        GetLog().Log(Arvek::Shared::Information, kProcessWmi, L"Exception when call Popup. hr = 0x%X",
                     static_cast<std::uint32_t>(e.Error()));
        return e.Error();
    }
}

}  // namespace Notifications::ArvekWmiEvents
