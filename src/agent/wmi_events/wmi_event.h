// Subscriptions to the firmware's WMI events, each handing every event that
// arrives to one processing operation of the firmware-event object:
//
// - WmiEvent subscribes to one event id of the firmware's class "arqBEvnt"
//   in ROOT\WMI; its sink (WmiEventSink) reads "EventID" and "EventData".
// - PublicWmiEvent subscribes to every instance of a public event class
//   ("ARVEKBIOS_BIOSEvent"); its sink (PublicWMIEventSink) reads "__Class"
//   and "Description".
//
// A subscription is Idle (nothing held), Subscribed, or Half-set (a step
// after the connection failed: the services, and perhaps the stub's sink,
// are held without a query). Register works only from Idle; Unregister
// returns every state to Idle. The sinks are called by WMI on the main
// thread, which is the apartment they were made in; nothing they do throws
// past them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/hresult.h"
#include "common/variant.h"
#include "ports/platform.h"

namespace Notifications::ArvekWmiEvents {

class CArvekWmiEvents;

// The handlers a subscription can be bound to: member operations of the
// firmware-event object. Their results are not used.
using EventCallback = Arvek::HRESULT (CArvekWmiEvents::*)();
using EventCallbackWithParams = Arvek::HRESULT (CArvekWmiEvents::*)(std::int32_t eventId,
                                                                     const Arvek::Variant* eventData);
using PublicEventCallback = Arvek::HRESULT (CArvekWmiEvents::*)(std::wstring className,
                                                                 const Arvek::Variant* description);

// The event id the form without parameters always subscribes for: the smart
// adapter's.
inline constexpr std::int32_t kSmartAdapterEventId = 3;
inline constexpr wchar_t kFirmwareEventNamespace[] = L"ROOT\\WMI";

class WmiEventSink final : public Arvek::Ports::IWmiEventSink {
public:
    // Exactly one handler is set.
    WmiEventSink(CArvekWmiEvents* owner, EventCallback callback, EventCallbackWithParams callbackWithParams)
        : m_pOwner(owner), m_callback(callback), m_callbackWithParams(callbackWithParams) {}

    Arvek::HRESULT Indicate(const std::vector<Arvek::Ports::IWmiObject*>& objects) noexcept override;
    Arvek::HRESULT SetStatus(std::int32_t flags, Arvek::HRESULT result, const std::optional<std::wstring>& text,
                             Arvek::Ports::IWmiObject* object) noexcept override;

private:
    CArvekWmiEvents* m_pOwner;
    EventCallback m_callback;
    EventCallbackWithParams m_callbackWithParams;
};

class PublicWMIEventSink final : public Arvek::Ports::IWmiEventSink {
public:
    PublicWMIEventSink(CArvekWmiEvents* owner, PublicEventCallback callbackWithParams)
        : m_pOwner(owner), m_callbackWithParams(callbackWithParams) {}

    Arvek::HRESULT Indicate(const std::vector<Arvek::Ports::IWmiObject*>& objects) noexcept override;
    Arvek::HRESULT SetStatus(std::int32_t flags, Arvek::HRESULT result, const std::optional<std::wstring>& text,
                             Arvek::Ports::IWmiObject* object) noexcept override;

private:
    CArvekWmiEvents* m_pOwner;
    PublicEventCallback m_callbackWithParams;
};

// What a subscription holds between Register and Unregister, and the steps
// both kinds take. Not used on its own.
class SubscriptionBase {
public:
    // Whether the services / the stub's sink are held (Half-set or
    // Subscribed).
    bool HoldsServices() const { return m_pWbemSvcs != nullptr; }
    bool HoldsSink() const { return m_pWbemObjSink != nullptr; }

protected:
    explicit SubscriptionBase(Arvek::Ports::Platform& platform) : m_platform(platform) {}
    ~SubscriptionBase() = default;
    SubscriptionBase(const SubscriptionBase&) = delete;
    SubscriptionBase& operator=(const SubscriptionBase&) = delete;

    // The subscription's steps, logged under `function`; `hasHandler` tells
    // whether a handler is bound. The query is cut to 63 characters.
    Arvek::HRESULT Subscribe(const char* function, bool hasHandler, const std::wstring& query,
                             std::shared_ptr<Arvek::Ports::IWmiEventSink> sink);
    // Cancels and lets go of what is held, logged under `function`.
    Arvek::HRESULT Cancel(const char* function);

    Arvek::Ports::Platform& m_platform;
    std::unique_ptr<Arvek::Ports::IWmiEventServices> m_pWbemSvcs;
    std::unique_ptr<Arvek::Ports::IWmiStubSink> m_pWbemObjSink;
};

class WmiEvent final : public SubscriptionBase {
public:
    explicit WmiEvent(Arvek::Ports::Platform& platform) : SubscriptionBase(platform) {}
    // Clears the handlers; never touches WMI: the owner unregisters first.
    ~WmiEvent();

    // Subscribes for `nEventID` with a handler that takes the event's id and
    // data; an empty handler is refused with E_INVALIDARG.
    Arvek::HRESULT Register(std::int32_t nEventID, CArvekWmiEvents* owner, EventCallbackWithParams callbackWithParams);
    // Subscribes for the smart adapter's event id with a handler without
    // parameters, whatever the caller wants.
    Arvek::HRESULT Register(CArvekWmiEvents* owner, EventCallback callback);
    Arvek::HRESULT Unregister();

private:
    Arvek::HRESULT Subscribe(std::int32_t eventId);

    CArvekWmiEvents* m_pOwner = nullptr;
    EventCallback m_callback = nullptr;
    EventCallbackWithParams m_callbackWithParams = nullptr;
};

class PublicWmiEvent final : public SubscriptionBase {
public:
    explicit PublicWmiEvent(Arvek::Ports::Platform& platform) : SubscriptionBase(platform) {}
    ~PublicWmiEvent();

    // Subscribes to every instance of the class `nEventName`.
    Arvek::HRESULT RegisterEvent(std::wstring nEventName, CArvekWmiEvents* owner,
                                 PublicEventCallback callbackWithParams);
    Arvek::HRESULT RegisterPublicWMIEvent(const std::wstring& className);
    Arvek::HRESULT Unregister();

private:
    CArvekWmiEvents* m_pOwner = nullptr;
    // The only handler the class is ever bound with.
    PublicEventCallback m_callbackWithParams = nullptr;
};

}  // namespace Notifications::ArvekWmiEvents
