#include "agent/wmi_events/arvek_wmi_events.h"

#include <exception>
#include <new>

#include "agent/core/settings_control.h"
#include "agent/presentation/desktop_toast.h"
#include "agent/usbc/notifications_handler.h"
#include "shared/log.h"
#include "tolm/bios_version.h"
#include "tolm/tolm_command.h"

namespace Notifications::ArvekWmiEvents {

using Arvek::ComError;
using Arvek::HRESULT;
using Arvek::Shared::GetLog;
using Arvek::Shared::Information;
using Arvek::Shared::Verbose;

namespace {

constexpr char kRegisterSmartAdapter[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::RegisterSmartAdapterEvent";
constexpr char kRegisterUsbC[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::RegisterUSBCWMIEvent";
constexpr char kRegisterTarnwall[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::RegisterTarnwallEvent";
constexpr char kRegisterFirmware[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::RegisterFirmwareWMIEvent";
constexpr char kRegisterPrivacyPanel[] =
    "Notifications::ArvekWmiEvents::CArvekWmiEvents::RegisterPrivacyPanelWMIEvent";
constexpr char kRegisterFirmwareRuntime[] =
    "Notifications::ArvekWmiEvents::CArvekWmiEvents::RegisterFirmwareRuntimeWMIEvent";
constexpr char kRegisterGpio[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::RegisterGPIOWMIEvent";
constexpr char kProcessSmartAdapter[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessSmartAdapterEvent";
constexpr char kProcessUsbC[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessUSBCWMIEvent";
constexpr char kCanSuppress[] =
    "Notifications::ArvekWmiEvents::CArvekWmiEvents::CanSupressUsbcAdaptorNotification";
constexpr char kDestructor[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::~CArvekWmiEvents";
constexpr char kConstructor[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::CArvekWmiEvents";

constexpr std::uint32_t kIdTitle = 500;           // "Arvek Notifications"
constexpr std::size_t kTitleCapacity = 128;       // UTF-16 units
constexpr std::size_t kStatusTextCapacity = 260;

// The smart adapter's status, and the text shown for each that is.
std::uint32_t TextOfAdapterStatus(std::int32_t status) {
    switch (status) {
    case 2: return 501;  // GOOD_ENOUGH
    case 3: return 502;  // TOO_SMALL
    case 4: return 503;  // FAILED
    case 5: return 528;  // SUPPLEMENT
    default: return 0;
    }
}

// What a registration logs when a COM error stopped it: the first text for
// a command the component does not know, the second for any other error.
HRESULT LogRegistrationError(const char* function, HRESULT hr, const wchar_t* invalidCommand,
                             const wchar_t* otherError) {
    GetLog().Log(Information, function, hr == Arvek::kE_INVALID_COMMAND ? invalidCommand : otherError,
                 static_cast<std::uint32_t>(hr));
    return hr;
}

}  // namespace

struct CArvekWmiEvents::Kind {
    const char* function;
    std::int32_t eventId;
    EventCallbackWithParams handler;
    const wchar_t* failed;  // "Failed to register for ..., [hr:0x%08X]"
    bool failedAtInformation;
    const wchar_t* passed;  // logged when it worked, or null
    const wchar_t* invalidCommand;
    const wchar_t* otherError;
};

CArvekWmiEvents::CArvekWmiEvents(Arvek::Ports::Platform& platform, Tidewatch::AgentGlobals& globals)
    : m_platform(platform), m_globals(globals), m_hInstance(globals.g_hInstance) {
    Arvek::Shared::CArvekLogTrace trace(kConstructor);
    // The main thread becomes a single-threaded apartment, where the sinks
    // will live. The result is not acted on; the apartment is left again
    // only when it was entered.
    m_comInit = m_platform.com.InitializeThread(Arvek::Ports::kCOINIT_APARTMENTTHREADED);
}

CArvekWmiEvents::~CArvekWmiEvents() {
    Arvek::Shared::CArvekLogTrace trace(kDestructor);
    if (m_pSmartAdapterEvent) m_pSmartAdapterEvent->Unregister();
    if (m_pTarnwallEvent) m_pTarnwallEvent->Unregister();
    if (m_pUsbCEvent) m_pUsbCEvent->Unregister();
    if (m_pFirmwareEvent) m_pFirmwareEvent->Unregister();
    if (m_pPrivacyPanelEvent) m_pPrivacyPanelEvent->Unregister();
    if (m_pFirmwareRuntimeEvent) m_pFirmwareRuntimeEvent->Unregister();
    if (m_pGpioEvent) m_pGpioEvent->Unregister();
    if (Arvek::Succeeded(m_comInit)) m_platform.com.UninitializeThread();
    // The subscription objects go in the reverse order of their fields.
    m_pGpioEvent.reset();
    m_pFirmwareRuntimeEvent.reset();
    m_pPrivacyPanelEvent.reset();
    m_pFirmwareEvent.reset();
    m_pUsbCEvent.reset();
    m_pTarnwallEvent.reset();
    m_pSmartAdapterEvent.reset();
}

HRESULT CArvekWmiEvents::RegisterGated(std::unique_ptr<WmiEvent>& field, const Kind& kind) {
    Arvek::Shared::CArvekLogTrace trace(kind.function);
    try {
        // The command object only shows that the platform component is
        // there; no command is run.
        Arvek::Tolm::CTolmCommand command(m_platform.tolm);
        if (const HRESULT created = command.Create(); Arvek::Failed(created)) return created;
        field = std::make_unique<WmiEvent>(m_platform);
        const HRESULT hr = field->Register(kind.eventId, this, kind.handler);
        if (Arvek::Failed(hr)) {
            GetLog().Log(kind.failedAtInformation ? Information : Verbose, kind.function, kind.failed,
                         static_cast<std::uint32_t>(hr));
        } else if (kind.passed) {
            GetLog().LogText(Verbose, kind.function, kind.passed);
        }
        return hr;
    } catch (const ComError& e) {
        return LogRegistrationError(kind.function, e.Error(), kind.invalidCommand, kind.otherError);
    } catch (const std::bad_alloc&) {
        return LogRegistrationError(kind.function, Arvek::kE_OUTOFMEMORY, kind.invalidCommand, kind.otherError);
    }
}

HRESULT CArvekWmiEvents::RegisterSmartAdapterEvent(std::wstring iconPath) {
    Arvek::Shared::CArvekLogTrace trace(kRegisterSmartAdapter);
    m_iconPath = std::move(iconPath);
    constexpr const wchar_t* kInvalid = L"Invalid Command SmartAdapter.Supported. hr = 0x%X";
    constexpr const wchar_t* kOther = L"Exception occurred when calling SmartAdapter.Supported, [hr:0x%08X]";
    m_bSuppressAdaptorNotification = CanSupressUsbcAdaptorNotification();
    if (m_bSuppressAdaptorNotification) {
        GetLog().LogText(Information, kRegisterSmartAdapter, L"Supress smart adaptor notification in gen 2025 and above.");
        return Arvek::kS_OK;
    }
    try {
        Arvek::Tolm::CTolmCommand command(m_platform.tolm);
        if (const HRESULT created = command.Create(); Arvek::Failed(created)) return created;
        Arvek::Variant supported;
        const HRESULT hr = command.ExecuteCommand(Arvek::Tolm::kSmartAdapterSupported, supported);
        if (Arvek::Failed(hr) || !supported.IsVariantTrue()) return hr;
        m_pSmartAdapterEvent = std::make_unique<WmiEvent>(m_platform);
        const HRESULT registered = m_pSmartAdapterEvent->Register(this, &CArvekWmiEvents::ProcessSmartAdapterEvent);
        if (Arvek::Failed(registered))
            GetLog().Log(Verbose, kRegisterSmartAdapter, L"Failed to register for smart adapter event, [hr:0x%08X]",
                         static_cast<std::uint32_t>(registered));
        return registered;
    } catch (const ComError& e) {
        return LogRegistrationError(kRegisterSmartAdapter, e.Error(), kInvalid, kOther);
    } catch (const std::bad_alloc&) {
        return LogRegistrationError(kRegisterSmartAdapter, Arvek::kE_OUTOFMEMORY, kInvalid, kOther);
    }
}

HRESULT CArvekWmiEvents::RegisterUSBCWMIEvent(std::wstring iconPath) {
    m_iconPath = std::move(iconPath);
    return RegisterGated(m_pUsbCEvent,
                         {kRegisterUsbC, kUsbCEventId, &CArvekWmiEvents::ProcessUSBCWMIEvent,
                          L"Failed to register for USB Type-C event, [hr:0x%08X]", true,
                          L"Register for USB Type-C event passed.",
                          L"Invalid Command Platform.USBC.Configuration. hr = 0x%X",
                          L"Exception occurred when calling Platform.USBC.Configuration, [hr:0x%08X]"});
}

HRESULT CArvekWmiEvents::RegisterTarnwallEvent(std::wstring iconPath) {
    m_iconPath = std::move(iconPath);
    return RegisterGated(m_pTarnwallEvent,
                         {kRegisterTarnwall, kTarnwallEventId, &CArvekWmiEvents::ProcessTarnwallEvent,
                          L"Failed to register for Tarnwall event, [hr:0x%08X]", false, nullptr,
                          L"Invalid Command to register for Tarnwall. hr = 0x%X",
                          L"Exception occurred when calling register for Tarnwall, [hr:0x%08X]"});
}

HRESULT CArvekWmiEvents::RegisterFirmwareWMIEvent() {
    return RegisterGated(m_pFirmwareEvent,
                         {kRegisterFirmware, kFirmwareEventId, &CArvekWmiEvents::ProcessFirmwareEvent,
                          L"Failed to register for Firmware event, [hr:0x%08X]", false, nullptr,
                          L"Invalid Command to register for Firmware. hr = 0x%X",
                          L"Exception occurred when calling register for Firmware, [hr:0x%08X]"});
}

HRESULT CArvekWmiEvents::RegisterPrivacyPanelWMIEvent() {
    // The privacy panel's registration has always logged the firmware
    // event's texts.
    return RegisterGated(m_pPrivacyPanelEvent,
                         {kRegisterPrivacyPanel, kPrivacyPanelEventId, &CArvekWmiEvents::ProcessPrivacyPanelEvent,
                          L"Failed to register for Firmware event, [hr:0x%08X]", false, nullptr,
                          L"Invalid Command to register for Firmware. hr = 0x%X",
                          L"Exception occurred when calling register for Firmware, [hr:0x%08X]"});
}

HRESULT CArvekWmiEvents::RegisterFirmwareRuntimeWMIEvent() {
    return RegisterGated(m_pFirmwareRuntimeEvent,
                         {kRegisterFirmwareRuntime, kFirmwareRuntimeEventId,
                          &CArvekWmiEvents::ProcessFirmwareRuntimeEvent,
                          L"Failed to register for Firmware Runtime event, [hr:0x%08X]", false, nullptr,
                          L"Invalid Command to register for FirmwareRuntimeEvent. hr = 0x%X",
                          L"Exception occurred when calling register for FirmwareRuntimeEvent, [hr:0x%08X]"});
}

HRESULT CArvekWmiEvents::RegisterGPIOWMIEvent() {
    Arvek::Shared::CArvekLogTrace trace(kRegisterGpio);
    try {
        m_pGpioEvent = std::make_unique<PublicWmiEvent>(m_platform);
        const HRESULT hr = m_pGpioEvent->RegisterEvent(kPublicBiosEventClass, this, &CArvekWmiEvents::ProcessWMIEvent);
        if (Arvek::Failed(hr))
            GetLog().Log(Verbose, kRegisterGpio, L"Failed to register for GPIO event, [hr:0x%08X]",
                         static_cast<std::uint32_t>(hr));
        return hr;
    } catch (const ComError& e) {
        return LogRegistrationError(kRegisterGpio, e.Error(), L"Invalid Command to register for GPIO. hr = 0x%X",
                                    L"Exception occurred when calling register for GPIO, [hr:0x%08X]");
    } catch (const std::bad_alloc&) {
        return LogRegistrationError(kRegisterGpio, Arvek::kE_OUTOFMEMORY,
                                    L"Invalid Command to register for GPIO. hr = 0x%X",
                                    L"Exception occurred when calling register for GPIO, [hr:0x%08X]");
    }
}

// --- the smart adapter and USB Type-C events --------------------------------------

HRESULT CArvekWmiEvents::ProcessSmartAdapterEvent() {
    Arvek::Shared::CArvekLogTrace trace(kProcessSmartAdapter);
    auto& log = GetLog();
    auto& registry = m_platform.registry;
    if (Tidewatch::CSettingsControl::AllNotificationsSuppressed(registry) ||
        Tidewatch::CSettingsControl::GetRegistrySetting(registry, L"SuppressSmartAdapterNotifications") ||
        m_bSuppressAdaptorNotification) {
        log.LogText(Verbose, kProcessSmartAdapter, L"Notifications are suppressed");
        return Arvek::kS_OK;
    }
    try {
        Arvek::Tolm::CTolmCommand command(m_platform.tolm);
        // Without the component there is no object, and the command fails
        // as a call on no object does.
        if (Arvek::Failed(command.Create())) throw ComError(Arvek::kE_POINTER);
        Arvek::Variant status;
        const HRESULT hr = command.ExecuteCommand(Arvek::Tolm::kSmartAdapterStatus, status);
        const std::int32_t value = status.LowInt32();
        log.Log(Verbose, kProcessSmartAdapter, L"SmartAdapterData: %d", value);
        const std::uint32_t textId = TextOfAdapterStatus(value);
        if (textId == 0) return hr;

        const std::wstring text = m_platform.resources.LoadText(textId, kStatusTextCapacity);
        Arvek::Tolm::CTolmNotification notification(m_platform.tolm);
        if (const HRESULT created = notification.Create(); Arvek::Failed(created)) {
            log.Log(Information, kProcessSmartAdapter, L"Failed to CreateInstance of TolmNotification, hr = 0x%X",
                    static_cast<std::uint32_t>(created));
            return created;
        }
        try {
            const std::wstring title = m_platform.resources.LoadText(kIdTitle, kTitleCapacity);
            log.Log(Information, kProcessSmartAdapter, L"szTitle: %s", title);
            log.Log(Information, kProcessSmartAdapter, L"szStatus: %s", text);
            Tidewatch::DesktopToast(m_platform).DisplayToast(title, text);
        } catch (const ComError& e) {
            log.Log(Information, kProcessSmartAdapter, L"Exception when call Popup. hr = 0x%X",
                    static_cast<std::uint32_t>(e.Error()));
        }
        return hr;
    } catch (const ComError& e) {
        if (e.Error() == Arvek::kE_INVALID_COMMAND)
            log.Log(Information, kProcessSmartAdapter, L"Invalid Command SmartAdapter.Status. hr = 0x%X",
                    static_cast<std::uint32_t>(e.Error()));
        else
            log.Log(Information, kProcessSmartAdapter,
                    L"Exception occurred when calling SmartAdapter.Status, [hr:0x%08X]",
                    static_cast<std::uint32_t>(e.Error()));
        return e.Error();
    }
}

HRESULT CArvekWmiEvents::ProcessUSBCWMIEvent(std::int32_t eventId, const Arvek::Variant* eventData) {
    Arvek::Shared::CArvekLogTrace trace(kProcessUsbC);
    auto& log = GetLog();
    log.LogText(Verbose, kProcessUsbC, L"Received USBC event");
    if (!eventData || eventId != kUsbCEventId) {
        log.LogText(Verbose, kProcessUsbC, L"Not an event with USBC event id. should not see this.");
        return Arvek::kE_INVALIDARG;
    }
    const int port = eventData->LowByte();
    log.Log(Verbose, kProcessUsbC, L"USB Type-C event for iPortID: %d.", port);
    auto& registry = m_platform.registry;
    if (Tidewatch::CSettingsControl::AllNotificationsSuppressed(registry) ||
        Tidewatch::CSettingsControl::GetRegistrySetting(registry, L"SuppressUsbCBiosNotifications"))
        return Arvek::kS_OK;
    // A handler of its own for this one event; it balances the apartment
    // entered for it when it goes.
    m_platform.com.InitializeThread(Arvek::Ports::kCOINIT_APARTMENTTHREADED);
    Tidewatch::CNotificationsHandler handler(m_platform);
    handler.Init();
    handler.ShowUsbCMessages(port);
    return Arvek::kS_OK;
}

bool CArvekWmiEvents::CanSupressUsbcAdaptorNotification() {
    Arvek::Shared::CArvekLogTrace trace(kCanSuppress);
    try {
        const std::wstring version = Arvek::Tolm::GetBiosVersion(m_platform.wmi);
        GetLog().LogText(Arvek::Shared::Error, kCanSuppress, L"BIOS Version: " + version);
        return Tidewatch::HoldsBackAdapterMessages(version);
    } catch (const ComError&) {
    } catch (const std::exception&) {
    }
    GetLog().LogText(Arvek::Shared::Error, kCanSuppress, L"Failed to read BIOS Version");
    return false;
}

}  // namespace Notifications::ArvekWmiEvents
