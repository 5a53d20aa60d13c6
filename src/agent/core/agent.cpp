#include "agent/core/agent.h"

#include <mutex>

#include "agent/core/platform_probes.h"
#include "agent/core/settings_control.h"
#include "agent/usbc/acpi_monitor.h"
#include "agent/usbc/notifications_handler.h"
#include "agent/usbc/usb_device.h"
#include "agent/wmi_events/arvek_wmi_events.h"
#include "common/hresult.h"
#include "common/policy_names.h"
#include "ports/device_broadcast.h"
#include "shared/log.h"
#include "shared/registry_image.h"

namespace Notifications::Tidewatch {

using namespace Arvek::Ports;
using Arvek::Shared::GetLog;
using Arvek::Shared::LogLevel;

namespace {
// Window title and class/mutex name buffers hold 100 UTF-16 units.
constexpr std::size_t kNameBuffer = 100;
constexpr std::uint32_t kIdsAppTitle = 500;
constexpr std::uint32_t kIdsWindowClass = 505;

// How long the resume work waits for the system to settle after a wake.
constexpr std::uint32_t kResumeSettleMs = 1000;

void Verbose(const wchar_t* text) { GetLog().LogText(LogLevel::Verbose, "WndProc", text); }
}  // namespace

CTidewatchAgent::CTidewatchAgent(Arvek::Ports::Platform& platform, AgentGlobals& globals, ModuleHandle instance)
    : m_platform(platform), m_instance(instance), m_globals(globals) {}

// A run that ended early still ends its services in their order.
CTidewatchAgent::~CTidewatchAgent() { EndServices(); }

int CTidewatchAgent::Run() {
    if (Arvek::Shared::IsImageStillBuilding(m_platform.registry)) {
        GetLog().Log(LogLevel::Verbose, "wWinMain", L"Image still building.  Exit app.");
        return kExitImageStillBuilding;
    }

    m_title = m_platform.resources.LoadText(kIdsAppTitle, kNameBuffer);
    m_windowClass = m_platform.resources.LoadText(kIdsWindowClass, kNameBuffer);

    // Session-local (no "Global\" prefix): one agent per log-on session. A
    // mutex that cannot be made for another reason leaves the agent running
    // without that protection. It is never released; closing it at the end
    // is enough.
    CreateMutexResult instanceMutex = m_platform.namedObjects.CreateNamedMutex(m_windowClass, true);
    if (instanceMutex.error == Arvek::kERROR_ALREADY_EXISTS) return kExitAlreadyRunning;

    WindowClass windowClass;
    windowClass.className = m_windowClass;
    windowClass.style = kCS_HREDRAW | kCS_VREDRAW;
    windowClass.procedure = [this](WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam) { return WndProc(window, message, wParam, lParam); };
    windowClass.arrowCursor = true;
    windowClass.backgroundSysColorPlusOne = kCOLOR_WINDOW + 1;
    m_platform.windowing.RegisterWindowClass(windowClass);

    if (!InitInstance(m_instance)) return 0;

    StartServices();

    Message message;
    int exitCode = 0;
    for (;;) {
        const int got = m_platform.windowing.GetNextMessage(message);
        if (got == 0) {
            exitCode = static_cast<int>(message.wParam);
            break;
        }
        if (got < 0) break;  // an invalid window or message pointer; nothing more will come
        m_platform.windowing.Translate(message);
        m_platform.windowing.Dispatch(message);
    }
    EndServices();
    instanceMutex.mutex.reset();
    return exitCode;
}

bool CTidewatchAgent::InitInstance(ModuleHandle instance) {
    Arvek::Shared::CArvekLogScope scope(GetLog(), "InitInstance");
    m_globals.g_hInstance = instance;
    const WindowHandle window =
        m_platform.windowing.CreateMainWindow(0, m_windowClass, m_title, kWS_OVERLAPPEDWINDOW);
    if (!window) return false;
    m_platform.windowing.RegisterSessionNotification(window, kNOTIFY_FOR_THIS_SESSION);
    m_globals.g_hWnd = window;
    m_platform.windowing.ShowWindow(window, kSW_HIDE);
    m_platform.windowing.UpdateWindow(window);
    GetLog().Log(LogLevel::TraceOut, "InitInstance", L"");
    return true;
}

std::intptr_t CTidewatchAgent::WndProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
    IWindowing& windowing = m_platform.windowing;
    switch (message) {
        case kWM_CREATE:
            GetLog().Log(LogLevel::Verbose, "WndProc", L"WM_CREATE");
            return 0;
        case kWM_DESTROY:
            // Both registrations as stored, null ones included: the system
            // answers a null handle with an error and nothing else happens.
            windowing.UnregisterDeviceNotification(m_globals.g_hUsbDeviceNotify);
            windowing.UnregisterDeviceNotification(m_globals.g_hUsbHubNotify);
            {
                std::lock_guard<std::mutex> guard(m_globals.monitorLock);
                m_globals.monitorStopRequested = true;
                if (const auto stop = m_globals.g_hMonitorStopEvent.load()) windowing.SetEvent(stop);
            }
            windowing.PostQuit(0);
            return 0;
        case kWM_COMMAND:
        case kWM_DWMNCRENDERINGCHANGED:
        case kWM_APP + 2:
            return 0;
        case kWM_POWERBROADCAST:
            OnPowerBroadcast(window, wParam);
            return 0;
        case kWM_WTSSESSION_CHANGE:
            OnSessionChange(wParam);
            return 0;
        case kWM_DEVICECHANGE:
            OnDeviceChange(wParam, lParam);
            return 0;
        case WM_NOTIFY_ACPI_USB_C:
            Verbose(L"Got WM_NOTIFY_ACPI_USB_C");
            if (m_globals.g_pNotificationsHandler) m_globals.g_pNotificationsHandler->HandleACPIUSbCEvent();
            return 0;
        default:
            return windowing.DefaultProcedure(window, message, wParam, lParam);
    }
}

void CTidewatchAgent::OnPowerBroadcast(WindowHandle window, std::uintptr_t event) {
    auto& log = GetLog();
    if (event == kPBT_APMSUSPEND) {
        log.Log(LogLevel::Verbose, "WndProc", L"WM_POWERBROADCAST wParam: %d", static_cast<int>(event));
        m_globals.g_bResumeHandled = false;
        return;
    }
    if (event != kPBT_APMRESUMESUSPEND && event != kPBT_APMRESUMEAUTOMATIC) return;
    log.Log(LogLevel::Verbose, "WndProc", L"WM_POWERBROADCAST wParam: %d", static_cast<int>(event));
    // Windows sends two resume notifications after one wake: one pass.
    if (m_globals.g_bResumeHandled) return;
    m_globals.g_bResumeHandled = true;
    m_platform.clock.Sleep(kResumeSettleMs);
    Verbose(L"Get and Show message for any USBC event that might occur while system is sleeping");
    DisplayExistingMessages(m_globals.g_pNotificationsHandler);
    if (auto* wmi = m_globals.g_pWmiHandler) {
        if (IsWindows8OrLater(m_platform.process)) {
            Verbose(L"check smart adapter status");
            wmi->ProcessSmartAdapterEvent();
        }
        Verbose(L"log any new Tarnwall log occurred while system is sleeping");
        wmi->ProcessTarnwallLog(0);
    }
    m_platform.windowing.SetForegroundWindow(window);
}

void CTidewatchAgent::OnDeviceChange(std::uintptr_t event, std::intptr_t record) {
    // Only the arrival of a device interface; the record is the system's.
    if (event != Arvek::Ports::kDBT_DEVICEARRIVAL || record == 0) return;
    const auto bytes = Arvek::Ports::DeviceBroadcastAt(record);
    if (bytes.size() < Arvek::Ports::kBroadcastNameOffset ||
        Arvek::Ports::ReadBroadcastDword(bytes, Arvek::Ports::kBroadcastDeviceTypeOffset) !=
            Arvek::Ports::kDBT_DEVTYP_DEVICEINTERFACE)
        return;
    // The detection runs, and logs, whatever the policy says.
    CUsbDevice(m_platform, m_globals).Init(bytes);
    if (CSettingsControl::AllNotificationsSuppressed(m_platform.registry)) return;
    if (CSettingsControl::GetRegistrySetting(m_platform.registry, Arvek::PolicyNames::kSuppressUsbCNotifications))
        return;
    if (!m_globals.g_bBillboardFound) return;
    Verbose(L"Get billboard device message (device manager)");
    if (m_globals.g_pNotificationsHandler) m_globals.g_pNotificationsHandler->ShowBillboardMessage();
}

void CTidewatchAgent::OnSessionChange(std::uintptr_t code) {
    GetLog().Log(LogLevel::Verbose, "WndProc", L"WM_WTSSESSION_CHANGE wParam: %d", static_cast<int>(code));
    if (code != kWTS_SESSION_LOGON && code != kWTS_SESSION_UNLOCK) return;
    Verbose(L" In WTS_SESSION_LOGON/WTS_SESSION_UNLOCK");
    Verbose(L"Show message for any USBC event that might occur while user is logged out");
    DisplayExistingMessages(m_globals.g_pNotificationsHandler);
    if (!IsWindows8OrLater(m_platform.process)) return;
    if (auto* wmi = m_globals.g_pWmiHandler) {
        Verbose(L"show smart adapter event that might occur when user is logged out.");
        wmi->ProcessSmartAdapterEvent();
    } else {
        Verbose(L"g_pWmiHandler is null");
    }
}

}  // namespace Notifications::Tidewatch
