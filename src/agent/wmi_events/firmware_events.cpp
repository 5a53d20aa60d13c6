// The processing of the firmware events that end in a dialog, the
// firmware-protection event, and the public BIOS event's toast.
#include <exception>
#include <new>

#include "agent/core/settings_control.h"
#include "agent/presentation/desktop_toast.h"
#include "agent/presentation/dialogs.h"
#include "agent/wmi_events/arvek_wmi_events.h"
#include "common/strings.h"
#include "shared/exception_barrier.h"
#include "shared/log.h"
#include "tolm/tolm_command.h"

namespace Notifications::ArvekWmiEvents {

using Arvek::HRESULT;
using Arvek::Shared::GetLog;
using Arvek::Shared::Information;
using Arvek::Shared::Verbose;
using Tidewatch::CNotificationDialog;
using Tidewatch::CVelashadeDialog;
using Tidewatch::NotificationDialogParam;

namespace {

constexpr char kProcessFirmware[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessFirmwareEvent";
constexpr char kProcessFirmwareRuntime[] =
    "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessFirmwareRuntimeEvent";
constexpr char kProcessPrivacyPanel[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessPrivacyPanelEvent";
constexpr char kProcessTarnwall[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessTarnwallEvent";
constexpr char kThreadProcTarnwall[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ThreadProcTarnwallEvent";
constexpr char kProcessWmi[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessWMIEvent";
// The public event's toast has a title of its own, not from the string table.
constexpr wchar_t kPublicEventTitle[] = L"Arvek Notifications";
constexpr std::size_t kDialogTextCapacity = 1024;  // UTF-16 units

// What a firmware-protection code shows: its text and dialog type; none for
// the codes without a warning.
struct Warning {
    std::uint32_t text;
    std::int32_t type;
};
std::optional<Warning> WarningOf(int code) {
    switch (code) {
    case 0: return Warning{524, 0};  // repaired automatically
    case 1:
    case 2: return Warning{525, 1};  // shut down to repair
    case 4: return Warning{523, 2};  // shut down to repair
    case 5: return Warning{529, 3};  // power off in 15 seconds
    default: return std::nullopt;
    }
}
bool CopiesAuditLog(int code) { return code >= 30 && code <= 39; }

// A dialog of the agent's with a text of its string table, shown modally on
// the calling thread.
template <class Dialog>
HRESULT ShowDialog(Arvek::Ports::Platform& platform, std::uint32_t templateId, std::uint32_t textId,
                   std::int32_t type) {
    try {
        Dialog dialog(platform, NotificationDialogParam{platform.resources.LoadText(textId, kDialogTextCapacity), type});
        platform.dialogs.ShowModal(templateId, dialog);
        return Arvek::kS_OK;
    } catch (...) {
        return Arvek::kE_FAIL;  // the text or the dialog could not be made
    }
}

}  // namespace

HRESULT CArvekWmiEvents::ProcessFirmwareEvent(std::int32_t eventId, const Arvek::Variant*) {
    Arvek::Shared::CArvekLogTrace trace(kProcessFirmware);
    if (eventId != kFirmwareEventId) return Arvek::kS_OK;
    return ShowDialog<CNotificationDialog>(m_platform, Tidewatch::kNotificationDialog, 515, 4);
}

HRESULT CArvekWmiEvents::ProcessFirmwareRuntimeEvent(std::int32_t eventId, const Arvek::Variant*) {
    Arvek::Shared::CArvekLogTrace trace(kProcessFirmwareRuntime);
    if (eventId != kFirmwareRuntimeEventId) return Arvek::kS_OK;
    return ShowDialog<CNotificationDialog>(m_platform, Tidewatch::kNotificationDialog, 552, 5);
}

HRESULT CArvekWmiEvents::ProcessPrivacyPanelEvent(std::int32_t, const Arvek::Variant* eventData) {
    Arvek::Shared::CArvekLogTrace trace(kProcessPrivacyPanel);
    try {
        // The user asked not to be told again when the marker file is there.
        const std::wstring marker = Tidewatch::VelashadeMarkerPath(m_platform.files);
        const bool ignored = !marker.empty() && m_platform.files.CanOpenForReading(marker);
        if (!eventData || eventData->LowInt32() != 1 || ignored) return Arvek::kS_OK;
    } catch (...) {
        return Arvek::kE_FAIL;
    }
    return ShowDialog<CVelashadeDialog>(m_platform, Tidewatch::kVelashadeDialog, 555, 4);
}

HRESULT CArvekWmiEvents::ProcessTarnwallEvent(std::int32_t, const Arvek::Variant* pvarInput) {
    Arvek::Shared::CArvekLogTrace trace(kProcessTarnwall);
    auto& log = GetLog();
    if (pvarInput && pvarInput->vt == Arvek::kVT_I4) {
        log.Log(Verbose, kProcessTarnwall, L"debug: pvarInput->lVal = %d", pvarInput->LowInt32());
        const int code = pvarInput->LowByte();
        log.Log(Verbose, kProcessTarnwall, L"iEvent ID = %d", code);
        // One warning of a code on the screen at a time, one copy of the
        // audit log waiting at a time: a storm of events opens no more.
        bool start = true;
        {
            std::lock_guard guard(m_globals.auditRunLock);
            if (WarningOf(code)) {
                start = m_globals.openTarnwallWarnings.insert(code).second;
                if (!start)
                    log.Log(Information, kProcessTarnwall,
                            L"The warning for code %d is still open; no second one is shown", code);
            } else if (CopiesAuditLog(code)) {
                start = !m_globals.auditCopyWaiting;
                m_globals.auditCopyWaiting = true;
                if (!start)
                    log.Log(Information, kProcessTarnwall, L"A copy of the audit log waiting to run takes code %d in",
                            code);
            }
        }
        auto& platform = m_platform;
        auto& globals = m_globals;
        if (start && platform.threads.Start([&platform, &globals, code] {
                ThreadProcTarnwallEvent(platform, globals, code);
            }) == 0) {
            log.LogText(Information, kProcessTarnwall, L"The firmware-protection event's thread could not be started");
            std::lock_guard guard(m_globals.auditRunLock);
            m_globals.openTarnwallWarnings.erase(code);
            if (CopiesAuditLog(code)) m_globals.auditCopyWaiting = false;
        }
    } else {
        log.Log(Information, kProcessTarnwall, L"invalid parameter, expect VT_I4, got = %d",
                pvarInput ? static_cast<int>(pvarInput->vt) : 0);
    }
    ProcessTarnwallLog(0);
    return Arvek::kS_OK;
}

std::uint32_t CArvekWmiEvents::ThreadProcTarnwallEvent(Arvek::Ports::Platform& platform,
                                                        Tidewatch::AgentGlobals& globals, int code) noexcept {
    Arvek::Shared::CallWithoutThrowing(kThreadProcTarnwall, [&] {
        Arvek::Shared::CArvekLogTrace trace(kThreadProcTarnwall);
        GetLog().Log(Information, kThreadProcTarnwall, L"ThreadProcTarnwallEvent Logging EventID : %d", code);
        if (const auto warning = WarningOf(code)) {
            // Code 0 (repaired automatically) is the one the policy can silence.
            const bool suppressed =
                code == 0 && (Tidewatch::CSettingsControl::AllNotificationsSuppressed(platform.registry) ||
                              Tidewatch::CSettingsControl::GetRegistrySetting(platform.registry,
                                                                              L"SuppressTarnwallNotifications"));
            if (!suppressed)
                ShowDialog<CNotificationDialog>(platform, Tidewatch::kNotificationDialog, warning->text, warning->type);
        } else if (CopiesAuditLog(code)) {
            CTarnwallLog(platform, globals).CopyAuditLog();
        }
    });
    std::lock_guard guard(globals.auditRunLock);
    globals.openTarnwallWarnings.erase(code);
    return 0;
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
        GetLog().Log(Information, kProcessWmi, L"Exception when call Popup. hr = 0x%X",
                     static_cast<std::uint32_t>(e.Error()));
        return e.Error();
    }
}

// --- the audit log's mirroring ------------------------------------------------------

void CArvekWmiEvents::ProcessTarnwallLog(int delayFlag) { CTarnwallLog(m_platform, m_globals).ProcessTarnwallLog(delayFlag); }

void CArvekWmiEvents::CreateHashKeysForTarnwallEventLogs() {
    CTarnwallLog(m_platform, m_globals).CreateHashKeysForTarnwallEventLogs();
}

HRESULT CArvekWmiEvents::GetTarnwallLogFromTolm(std::wstring& xml) {
    return CTarnwallLog(m_platform, m_globals).GetTarnwallLogFromTolm(xml);
}

void CArvekWmiEvents::AddLogsToEventViewer(Arvek::Tolm::CXmlDocument document) {
    CTarnwallLog(m_platform, m_globals).AddLogsToEventViewer(std::move(document));
}

}  // namespace Notifications::ArvekWmiEvents
