// The agent's services, started in one fixed order between the window's
// creation and the message loop, and ended after it.
#include "agent/core/agent.h"
#include "agent/core/platform_probes.h"
#include "agent/usbc/acpi_monitor.h"
#include "agent/usbc/notifications_handler.h"
#include "agent/wmi_events/arvek_wmi_events.h"
#include "common/hresult.h"
#include "ports/guid.h"
#include "shared/log.h"

namespace Notifications::Tidewatch {

using Arvek::Shared::GetLog;
using Arvek::Shared::LogLevel;

namespace {

constexpr char kWinMain[] = "wWinMain";
// The agent's icon, written to the temporary folder for the firmware-event
// registrations; the firmware-protection icon is asked for under its own
// name and is there only when an earlier program left it.
constexpr wchar_t kAgentIconFile[] = L"Arvek.ico";
constexpr std::uint16_t kAgentIconResource = 133;
constexpr wchar_t kTarnwallIconFile[] = L"ARTW.ico";
constexpr std::uint16_t kTarnwallIconResource = 136;
// The port selectors of the messages pending at start-up: the ACPI path's,
// and all ports' on the WMI path.
constexpr int kAcpiPortSelector = 0;
constexpr int kAllPorts = 255;

void Verbose(const wchar_t* text) { GetLog().LogText(LogLevel::Verbose, kWinMain, text); }

}  // namespace

void CTidewatchAgent::StartServices() {
    using ArvekWmiEvents::CArvekWmiEvents;
    // The firmware-event object, whose construction makes the main thread a
    // single-threaded apartment; the smart adapter is subscribed and, where
    // the system can show its toast, checked once.
    m_wmiHandler = std::make_unique<CArvekWmiEvents>(m_platform, m_globals);
    m_globals.g_pWmiHandler = m_wmiHandler.get();
    m_wmiHandler->RegisterSmartAdapterEvent(GetDefaultIconPath(m_platform, kAgentIconFile, kAgentIconResource));
    if (IsWindows8OrLater(m_platform.process)) m_wmiHandler->ProcessSmartAdapterEvent();

    // The notifications handler; its COM initialisation nests in the
    // apartment above, and the handler leaves it again when it goes.
    m_notificationsHandler = std::make_unique<CNotificationsHandler>(m_platform);
    m_platform.com.InitializeThread(Arvek::Ports::kCOINIT_APARTMENTTHREADED);
    m_notificationsHandler->Init();
    m_globals.g_pNotificationsHandler = m_notificationsHandler.get();

    // How USB Type-C events reach the handler: the platform driver's ACPI
    // event, watched by a thread of its own, or the firmware's WMI event.
    CNotificationsHandler& handler = *m_notificationsHandler;
    if (handler.IsUsingACPIUsbCEvent()) {
        Verbose(L"IsUsingACPIUsbCEvent returns true");
        auto& platform = m_platform;
        auto& globals = m_globals;
        m_globals.g_dwMonitorThreadId = m_platform.threads.Start([&platform, &globals] {
            ACPIUSBCMonitor(platform, globals);
        });
        Verbose(L"Get message that might be on system before the app is running");
        handler.ShowUsbCMessages(kAcpiPortSelector);
    } else if (handler.IsUsbCSupported()) {
        m_wmiHandler->RegisterUSBCWMIEvent(GetDefaultIconPath(m_platform, kAgentIconFile, kAgentIconResource));
        Verbose(L"Get message that might be on system before the app is running");
        handler.ShowUsbCMessages(kAllPorts);
    }

    // Before Windows 10 a billboard device tells of itself only by arriving:
    // the window listens for USB devices and hubs. A failed registration
    // leaves its handle null.
    if (handler.IsUsbCSupported() && !Win10AndHiger(m_platform)) {
        m_globals.g_hUsbDeviceNotify = m_platform.windowing.RegisterDeviceInterfaceNotification(
            m_globals.g_hWnd, Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE);
        m_globals.g_hUsbHubNotify = m_platform.windowing.RegisterDeviceInterfaceNotification(
            m_globals.g_hWnd, Arvek::Ports::kGUID_DEVINTERFACE_USB_HUB);
    }

    // The firmware protection: once its event is subscribed, the key table
    // of what the event log holds is built, then the audit log is mirrored
    // after the start-up run's delay.
    const Arvek::HRESULT tarnwall =
        m_wmiHandler->RegisterTarnwallEvent(GetDefaultIconPath(m_platform, kTarnwallIconFile, kTarnwallIconResource));
    if (Arvek::Succeeded(tarnwall)) {
        m_wmiHandler->CreateHashKeysForTarnwallEventLogs();
        Verbose(L"RegisterTarnwallEvent passed.  Get current log data from BIOS and log to Windows event viewer.");
        m_wmiHandler->ProcessTarnwallLog(1);
    }

    m_wmiHandler->RegisterFirmwareWMIEvent();
    m_wmiHandler->RegisterPrivacyPanelWMIEvent();
    m_wmiHandler->RegisterFirmwareRuntimeWMIEvent();
    m_wmiHandler->RegisterGPIOWMIEvent();
}

void CTidewatchAgent::EndServices() {
    // The firmware-event object first: it ends every subscription, so no
    // event reaches the handler below once it is going.
    m_globals.g_pWmiHandler = nullptr;
    m_wmiHandler.reset();
    m_globals.g_pNotificationsHandler = nullptr;
    m_notificationsHandler.reset();
}

}  // namespace Notifications::Tidewatch
