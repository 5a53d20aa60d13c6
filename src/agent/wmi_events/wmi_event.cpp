#include "agent/wmi_events/wmi_event.h"

#include <functional>
#include <new>

#include "agent/wmi_events/arvek_wmi_events.h"

#include "common/format.h"
#include "shared/exception_barrier.h"
#include "shared/log.h"
#include "shared/registry_image.h"

namespace Notifications::ArvekWmiEvents {

using Arvek::HRESULT;
using Arvek::Shared::GetLog;
using Arvek::Shared::Information;
using Arvek::Shared::TraceOut;
using Arvek::Shared::Verbose;
namespace Ports = Arvek::Ports;

namespace {

constexpr char kRegisterWithParams[] = "Notifications::ArvekWmiEvents::WmiEvent::Register";
constexpr char kUnregister[] = "Notifications::ArvekWmiEvents::WmiEvent::Unregister";
constexpr char kSinkIndicate[] = "Notifications::ArvekWmiEvents::WmiEventSink::Indicate";
constexpr char kSinkSetStatus[] = "Notifications::ArvekWmiEvents::WmiEventSink::SetStatus";
constexpr char kPublicRegisterEvent[] = "Notifications::ArvekWmiEvents::PublicWmiEvent::RegisterEvent";
constexpr char kPublicRegister[] = "Notifications::ArvekWmiEvents::PublicWmiEvent::RegisterPublicWMIEvent";
constexpr char kPublicUnregister[] = "Notifications::ArvekWmiEvents::PublicWmiEvent::Unregister";
constexpr char kPublicSinkIndicate[] = "Notifications::ArvekWmiEvents::PublicWMIEventSink::Indicate";
constexpr char kPublicSinkSetStatus[] = "Notifications::ArvekWmiEvents::PublicWMIEventSink::SetStatus";

// The query texts' buffer: 64 UTF-16 units, terminator included.
constexpr std::size_t kQueryCapacity = 64;
constexpr int kImageStateComplete = 1;

// A step that reports success without handing out its object failed too.
HRESULT NoObject(HRESULT hr) { return Arvek::Failed(hr) ? hr : Arvek::kE_POINTER; }

// "Register" and "Unregister" end with their result.
HRESULT Finish(const char* function, HRESULT hr) {
    GetLog().Log(TraceOut, function, L"hr: 0x%08X", static_cast<std::uint32_t>(hr));
    return hr;
}

// WMI's status flags: 0 and 2 (WBEM_STATUS_COMPLETE, WBEM_STATUS_PROGRESS)
// are both logged as complete.
const wchar_t* StatusLabel(std::int32_t flags) {
    return flags == Ports::kWBEM_STATUS_COMPLETE || flags == Ports::kWBEM_STATUS_PROGRESS ? L"WBEM_STATUS_COMPLETE"
                                                                                           : L"?";
}

HRESULT LogSetStatus(const char* function, std::int32_t flags, HRESULT result) noexcept {
    Arvek::Shared::CArvekLogTrace trace(function, L"hResult: 0x%08X, lFlags: 0x%08X (%s)",
                                        static_cast<std::uint32_t>(result), static_cast<std::uint32_t>(flags),
                                        StatusLabel(flags));
    return Ports::kWBEM_S_NO_ERROR;
}

}  // namespace

// --- the sinks -----------------------------------------------------------------

HRESULT WmiEventSink::Indicate(const std::vector<Ports::IWmiObject*>& objects) noexcept {
    Arvek::Shared::CArvekLogTrace trace(kSinkIndicate);
    auto& log = GetLog();
    for (Ports::IWmiObject* object : objects) {
        // One event at a time: what one handler throws costs only its event.
        Arvek::Shared::CallWithoutThrowing(kSinkIndicate, [&] {
            log.LogText(Verbose, kSinkIndicate, L"Event occured");
            std::int32_t eventId = 0;
            Arvek::Variant id;
            if (Arvek::Succeeded(object->Get(L"EventID", id))) {
                eventId = id.LowInt32();
                log.Log(Verbose, kSinkIndicate, L"Event ID: %d", eventId);
            }
            Arvek::Variant data;
            const bool dataRead = Arvek::Succeeded(object->Get(L"EventData", data));
            if (dataRead) log.Log(Verbose, kSinkIndicate, L"Event data: %d", data.LowInt32());
            // Through std::invoke: GCC 12 with AddressSanitizer reports a
            // direct ->* call inside this lambda as a stack underflow.
            if (m_callback && m_pOwner) {
                std::invoke(m_callback, m_pOwner);
            } else if (m_callbackWithParams && m_pOwner && dataRead) {
                std::invoke(m_callbackWithParams, m_pOwner, eventId, &data);
            }
        });
    }
    return Ports::kWBEM_S_NO_ERROR;
}

HRESULT WmiEventSink::SetStatus(std::int32_t flags, HRESULT result, const std::optional<std::wstring>&,
                                Ports::IWmiObject*) noexcept {
    return LogSetStatus(kSinkSetStatus, flags, result);
}

HRESULT PublicWMIEventSink::Indicate(const std::vector<Ports::IWmiObject*>& objects) noexcept {
    Arvek::Shared::CArvekLogTrace trace(kPublicSinkIndicate);
    auto& log = GetLog();
    for (Ports::IWmiObject* object : objects) {
        // An instance whose class name or description cannot be read whole
        // (no memory for it) does not reach the handler half-read: the
        // barrier logs it and the next instance is read.
        Arvek::Shared::CallWithoutThrowing(kPublicSinkIndicate, [&] {
            log.LogText(Verbose, kPublicSinkIndicate, L"Event occured");
            std::wstring className;
            Arvek::Variant name;
            if (Arvek::Succeeded(object->Get(L"__Class", name))) {
                if (Arvek::Failed(Arvek::VariantToText(name, className))) {
                    log.Log(Information, kPublicSinkIndicate,
                            L"The class name of type %d cannot be read as text; the event is not handled",
                            static_cast<int>(name.vt));
                    return;
                }
                log.Log(Verbose, kPublicSinkIndicate, L"Event Name : %S", className);
            }
            Arvek::Variant description;
            const bool descriptionRead = Arvek::Succeeded(object->Get(L"Description", description));
            if (descriptionRead)
                log.Log(Verbose, kPublicSinkIndicate, L"Event data/Description : %S", description.StringOrEmpty());
            if (m_callbackWithParams && m_pOwner && descriptionRead)
                std::invoke(m_callbackWithParams, m_pOwner, className, &description);
        });
    }
    return Ports::kWBEM_S_NO_ERROR;
}

HRESULT PublicWMIEventSink::SetStatus(std::int32_t flags, HRESULT result, const std::optional<std::wstring>&,
                                      Ports::IWmiObject*) noexcept {
    return LogSetStatus(kPublicSinkSetStatus, flags, result);
}

// --- the subscription's steps ---------------------------------------------------

HRESULT SubscriptionBase::Subscribe(const char* function, bool hasHandler, const std::wstring& query,
                                    std::shared_ptr<Ports::IWmiEventSink> sink) {
    auto& log = GetLog();
    const auto failed = [&](const wchar_t* format, HRESULT hr) {
        log.Log(Information, function, format, static_cast<std::uint32_t>(hr));
        return hr;
    };
    if (m_pWbemSvcs) {
        log.LogText(Information, function, L"IWbemServices object already created.");
        return Arvek::kE_FAIL;
    }
    if (m_pWbemObjSink) {
        log.LogText(Information, function, L"IWbemObjectSink object already created.");
        return Arvek::kE_FAIL;
    }
    if (!hasHandler) {
        log.LogText(Information, function, L"There is no callback function; register not done.");
        return Arvek::kE_FAIL;
    }

    // The local references, let go of in this order on every way out: the
    // sink, the stub, the unsecured apartment, the locator.
    std::unique_ptr<Ports::IWmiLocator> locator;
    std::unique_ptr<Ports::IWmiUnsecuredApartment> apartment;
    std::unique_ptr<Ports::IWmiStub> stub;
    struct ReleaseInOrder {
        std::shared_ptr<Ports::IWmiEventSink>& sink;
        std::unique_ptr<Ports::IWmiStub>& stub;
        std::unique_ptr<Ports::IWmiUnsecuredApartment>& apartment;
        std::unique_ptr<Ports::IWmiLocator>& locator;
        ~ReleaseInOrder() {
            sink.reset();
            stub.reset();
            apartment.reset();
            locator.reset();
        }
    } release{sink, stub, apartment, locator};

    HRESULT hr = m_platform.wmiEvents.CreateLocator(locator);
    if (Arvek::Failed(hr) || !locator) return failed(L"CoCreateInstance(IID_IWbemLocator) failed: 0x%08X", NoObject(hr));
    log.LogText(Verbose, function, L"CoCreateInstance(IID_IWbemLocator) succeeded");

    std::unique_ptr<Ports::IWmiEventServices> services;
    hr = locator->ConnectServer(kFirmwareEventNamespace, services);
    if (Arvek::Failed(hr) || !services) return failed(L"ConnectServer failed: 0x%08X", NoObject(hr));
    m_pWbemSvcs = std::move(services);
    log.LogText(Verbose, function, L"ConnectServer succeeded");

    hr = m_pWbemSvcs->SetProxyBlanket(Ports::kRPC_C_AUTHN_WINNT, Ports::kRPC_C_AUTHZ_NONE,
                                      Ports::kRPC_C_AUTHN_LEVEL_CONNECT, Ports::kRPC_C_IMP_LEVEL_IMPERSONATE,
                                      Ports::kEOAC_NONE);
    if (Arvek::Failed(hr)) return failed(L"CoSetProxyBlanket failed: 0x%08X", hr);
    log.LogText(Verbose, function, L"CoSetProxyBlanket succeeded");

    hr = m_platform.wmiEvents.CreateUnsecuredApartment(apartment);
    if (Arvek::Failed(hr) || !apartment)
        return failed(L"CoCreateInstance(IID_IUnsecuredApartment) failed: 0x%08X", NoObject(hr));
    log.LogText(Verbose, function, L"CoCreateInstance(IID_IUnsecuredApartment) succeeded");

    const std::wstring text = query.substr(0, kQueryCapacity - 1);

    hr = apartment->CreateObjectStub(sink, stub);
    if (Arvek::Failed(hr) || !stub) return failed(L"CreateObjectStub failed: 0x%08X", NoObject(hr));
    log.LogText(Verbose, function, L"CreateObjectStub succeeded");

    std::unique_ptr<Ports::IWmiStubSink> stubSink;
    hr = stub->QueryObjectSink(stubSink);
    if (Arvek::Failed(hr) || !stubSink) return failed(L"QueryInterface failed: 0x%08X", NoObject(hr));
    m_pWbemObjSink = std::move(stubSink);

    hr = m_pWbemSvcs->ExecNotificationQueryAsync(text, Ports::kWBEM_FLAG_SEND_STATUS, *m_pWbemObjSink);
    if (Arvek::Succeeded(hr)) {
        log.LogText(Verbose, function, L"ExecNotificationQueryAsync succeeded");
    } else if (Arvek::Shared::GetWindowsImageState(m_platform.registry) == kImageStateComplete) {
        log.Log(Information, function, L"ExecNotificationQueryAsync failed: 0x%08X", static_cast<std::uint32_t>(hr));
    } else {
        // While Windows is still being set up the query is expected to fail.
        log.Log(Verbose, function, L"ExecNotificationQueryAsync failed, Ignoring since still unbundling: 0x%08X",
                static_cast<std::uint32_t>(hr));
    }
    return hr;
}

HRESULT SubscriptionBase::Cancel(const char* function) {
    HRESULT hr = Arvek::kS_OK;
    if (m_pWbemObjSink) {
        // The sink is only ever held together with the services it was
        // handed to.
        hr = m_pWbemSvcs ? m_pWbemSvcs->CancelAsyncCall(*m_pWbemObjSink) : Arvek::kE_POINTER;
        GetLog().Log(Verbose, function, L"CancelAsyncCall returned: 0x%08X", static_cast<std::uint32_t>(hr));
        m_pWbemObjSink.reset();
    }
    m_pWbemSvcs.reset();
    return hr;
}

// --- the firmware's BIOS events --------------------------------------------------

WmiEvent::~WmiEvent() {
    m_callback = nullptr;
    m_callbackWithParams = nullptr;
}

HRESULT WmiEvent::Register(std::int32_t nEventID, CArvekWmiEvents* owner, EventCallbackWithParams callbackWithParams) {
    Arvek::Shared::CArvekLogScope scope(GetLog(), kRegisterWithParams);
    if (!callbackWithParams) {
        GetLog().LogText(Information, kRegisterWithParams, L"Callback function is null");
        return Finish(kRegisterWithParams, Arvek::kE_INVALIDARG);
    }
    m_pOwner = owner;
    m_callbackWithParams = callbackWithParams;
    m_callback = nullptr;
    return Finish(kRegisterWithParams, Subscribe(nEventID));
}

HRESULT WmiEvent::Register(CArvekWmiEvents* owner, EventCallback callback) {
    Arvek::Shared::CArvekLogScope scope(GetLog(), kRegisterWithParams);
    if (!callback) {
        GetLog().LogText(Information, kRegisterWithParams, L"Callback function is null");
        return Finish(kRegisterWithParams, Arvek::kE_INVALIDARG);
    }
    m_pOwner = owner;
    m_callback = callback;
    m_callbackWithParams = nullptr;
    return Finish(kRegisterWithParams, Subscribe(kSmartAdapterEventId));
}

HRESULT WmiEvent::Subscribe(std::int32_t eventId) {
    const bool hasHandler = m_callback || m_callbackWithParams;
    // The handler without parameters first, when the owner is known.
    const bool withoutParams = m_callback && m_pOwner;
    std::shared_ptr<Ports::IWmiEventSink> sink;
    if (hasHandler)
        sink = std::make_shared<WmiEventSink>(m_pOwner, withoutParams ? m_callback : nullptr,
                                              withoutParams ? nullptr : m_callbackWithParams);
    return SubscriptionBase::Subscribe(kRegisterWithParams, hasHandler,
                                       Arvek::Format(L"SELECT * FROM arqBEvnt WHERE EventID = %d", eventId),
                                       std::move(sink));
}

HRESULT WmiEvent::Unregister() {
    Arvek::Shared::CArvekLogScope scope(GetLog(), kUnregister);
    return Finish(kUnregister, Cancel(kUnregister));
}

// --- the public event class -------------------------------------------------------

PublicWmiEvent::~PublicWmiEvent() { m_callbackWithParams = nullptr; }

HRESULT PublicWmiEvent::RegisterEvent(std::wstring nEventName, CArvekWmiEvents* owner,
                                      PublicEventCallback callbackWithParams) {
    Arvek::Shared::CArvekLogScope scope(GetLog(), kPublicRegisterEvent);
    if (!callbackWithParams) {
        GetLog().LogText(Information, kPublicRegisterEvent, L"Callback function is null");
        return Finish(kPublicRegisterEvent, Arvek::kE_INVALIDARG);
    }
    m_pOwner = owner;
    m_callbackWithParams = callbackWithParams;
    return Finish(kPublicRegisterEvent, RegisterPublicWMIEvent(nEventName));
}

HRESULT PublicWmiEvent::RegisterPublicWMIEvent(const std::wstring& className) {
    Arvek::Shared::CArvekLogScope scope(GetLog(), kPublicRegister);
    std::shared_ptr<Ports::IWmiEventSink> sink;
    if (m_callbackWithParams) sink = std::make_shared<PublicWMIEventSink>(m_pOwner, m_callbackWithParams);
    return Finish(kPublicRegister, SubscriptionBase::Subscribe(kPublicRegister, m_callbackWithParams != nullptr,
                                                               L"SELECT * FROM " + className, std::move(sink)));
}

HRESULT PublicWmiEvent::Unregister() {
    Arvek::Shared::CArvekLogScope scope(GetLog(), kPublicUnregister);
    return Finish(kPublicUnregister, Cancel(kPublicUnregister));
}

}  // namespace Notifications::ArvekWmiEvents
