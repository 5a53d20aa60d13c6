// The firmware-event object: the agent's one owner of the firmware's WMI
// event subscriptions. It subscribes each kind of event once at start-up,
// each to its own processing operation, and ends them all when it goes. It
// also keeps the flag the smart adapter processing consults.
//
// Everything here runs on the agent's main thread, which enters a
// single-threaded apartment when the object is made: the sinks live there,
// so every processing operation is called on the main thread, between
// window messages, one at a time (and nested, while one of them waits in a
// dialog).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "agent/audit_log/tarnwall_log.h"
#include "agent/core/globals.h"
#include "agent/wmi_events/wmi_event.h"
#include "common/hresult.h"
#include "common/variant.h"
#include "ports/platform.h"

namespace Notifications::ArvekWmiEvents {

// The firmware's event ids, and the public event class.
inline constexpr std::int32_t kUsbCEventId = 131073;      // 0x20001
inline constexpr std::int32_t kTarnwallEventId = 131074;  // 0x20002
inline constexpr std::int32_t kFirmwareEventId = 21;
inline constexpr std::int32_t kPrivacyPanelEventId = 20;
// The firmware runtime event: subscribed to and reacted on with this one id.
inline constexpr std::int32_t kFirmwareRuntimeEventId = 33;
inline constexpr wchar_t kPublicBiosEventClass[] = L"ARVEKBIOS_BIOSEvent";

class CArvekWmiEvents {
public:
    // Enters a single-threaded apartment on the calling thread. The
    // audit-log locks are the globals': they outlive every worker.
    CArvekWmiEvents(Arvek::Ports::Platform& platform, Tidewatch::AgentGlobals& globals);
    // Ends every subscription there is, in the order smart adapter,
    // firmware protection, USB Type-C, firmware, privacy panel, firmware
    // runtime, public event; then leaves the apartment.
    ~CArvekWmiEvents();
    CArvekWmiEvents(const CArvekWmiEvents&) = delete;
    CArvekWmiEvents& operator=(const CArvekWmiEvents&) = delete;

    // The registrations. Those with an icon path keep it first.
    Arvek::HRESULT RegisterSmartAdapterEvent(std::wstring iconPath);
    Arvek::HRESULT RegisterUSBCWMIEvent(std::wstring iconPath);
    Arvek::HRESULT RegisterTarnwallEvent(std::wstring iconPath);
    Arvek::HRESULT RegisterFirmwareWMIEvent();
    Arvek::HRESULT RegisterPrivacyPanelWMIEvent();
    Arvek::HRESULT RegisterFirmwareRuntimeWMIEvent();
    Arvek::HRESULT RegisterGPIOWMIEvent();

    // The smart adapter's and the USB Type-C events.
    Arvek::HRESULT ProcessSmartAdapterEvent();
    Arvek::HRESULT ProcessUSBCWMIEvent(std::int32_t eventId, const Arvek::Variant* eventData);
    bool CanSupressUsbcAdaptorNotification();

    // The other firmware events.
    Arvek::HRESULT ProcessFirmwareEvent(std::int32_t eventId, const Arvek::Variant* eventData);
    Arvek::HRESULT ProcessFirmwareRuntimeEvent(std::int32_t eventId, const Arvek::Variant* eventData);
    Arvek::HRESULT ProcessPrivacyPanelEvent(std::int32_t eventId, const Arvek::Variant* eventData);
    Arvek::HRESULT ProcessTarnwallEvent(std::int32_t eventId, const Arvek::Variant* pvarInput);
    Arvek::HRESULT ProcessWMIEvent(std::wstring className, const Arvek::Variant* description);
    // The firmware-protection event's worker: a warning dialog, or a copy of
    // the audit log, by code. Runs on a thread of its own and uses only the
    // platform and the globals, which outlive it.
    static std::uint32_t ThreadProcTarnwallEvent(Arvek::Ports::Platform& platform, Tidewatch::AgentGlobals& globals,
                                                 int code) noexcept;

    // The firmware-protection audit log's mirroring (audit_log/tarnwall_log.h).
    void ProcessTarnwallLog(int delayFlag);
    void CreateHashKeysForTarnwallEventLogs();
    Arvek::HRESULT GetTarnwallLogFromTolm(std::wstring& xml);
    void AddLogsToEventViewer(Arvek::Tolm::CXmlDocument document);

    bool SuppressesAdaptorNotification() const { return m_bSuppressAdaptorNotification; }
    const std::wstring& IconPath() const { return m_iconPath; }
    // The subscriptions made so far (null: never registered).
    const WmiEvent* SmartAdapterEvent() const { return m_pSmartAdapterEvent.get(); }
    const WmiEvent* UsbCEvent() const { return m_pUsbCEvent.get(); }
    const WmiEvent* TarnwallEvent() const { return m_pTarnwallEvent.get(); }
    const PublicWmiEvent* GpioEvent() const { return m_pGpioEvent.get(); }

private:
    // A registration gated by the platform component's command object: the
    // kind's field, event id, handler and texts.
    struct Kind;
    Arvek::HRESULT RegisterGated(std::unique_ptr<WmiEvent>& field, const Kind& kind);

    Arvek::Ports::Platform& m_platform;
    Tidewatch::AgentGlobals& m_globals;
    Arvek::HRESULT m_comInit;

    std::unique_ptr<WmiEvent> m_pSmartAdapterEvent;
    std::unique_ptr<WmiEvent> m_pTarnwallEvent;
    std::unique_ptr<WmiEvent> m_pUsbCEvent;
    std::unique_ptr<WmiEvent> m_pFirmwareEvent;
    std::unique_ptr<WmiEvent> m_pPrivacyPanelEvent;
    std::unique_ptr<WmiEvent> m_pFirmwareRuntimeEvent;
    std::unique_ptr<PublicWmiEvent> m_pGpioEvent;
    Tidewatch::ModuleHandle m_hInstance;
    std::wstring m_iconPath;
    bool m_bSuppressAdaptorNotification = false;
};

}  // namespace Notifications::ArvekWmiEvents
