// WMI event subscriptions, in the steps the agent takes for one
// subscription, each with its own HRESULT so that a test can fail any of
// them: the locator, the connection to a namespace, the proxy blanket, the
// unsecured apartment, the stub it builds around the program's sink, the
// stub's IWbemObjectSink, the asynchronous notification query, its cancel.
// WMI then calls the program's sink for each delivery (Indicate) and for the
// query's status (SetStatus), on the thread of the apartment the sink was
// made in: the agent's main thread, between window messages and inside any
// loop it runs, one call at a time.
//
// Implementations: win32/wmi_events_win32 (IWbemLocator, IUnsecuredApartment,
// the sink a COM object of the adapter's), sim/os/sim_wmi (the simulated
// notebook's WMI service, with the firmware's event classes from
// sim/standins/firmware_wmi).
//
// Nothing here throws but std::bad_alloc when memory runs out, and
// ComError(E_OUTOFMEMORY) when a query or a name cannot be held in a COM
// string. The program's sink must not throw: its calls come from WMI.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/hresult.h"
#include "ports/wmi.h"

namespace Arvek::Ports {

constexpr std::int32_t kWBEM_FLAG_SEND_STATUS = 0x80;
constexpr std::int32_t kWBEM_STATUS_COMPLETE = 0;
constexpr std::int32_t kWBEM_STATUS_PROGRESS = 2;
constexpr HRESULT kWBEM_S_NO_ERROR = 0;
constexpr HRESULT kWBEM_E_INVALID_CLASS = MakeHr(0x80041010u);
constexpr HRESULT kWBEM_E_NOT_EVENT_CLASS = MakeHr(0x80041050u);
constexpr HRESULT kWBEM_E_CALL_CANCELLED = MakeHr(0x80041032u);
constexpr std::uint32_t kRPC_C_AUTHN_WINNT = 10;
constexpr std::uint32_t kRPC_C_AUTHZ_NONE = 0;
constexpr std::uint32_t kRPC_C_AUTHN_LEVEL_CONNECT = 2;
constexpr std::uint32_t kRPC_C_IMP_LEVEL_IMPERSONATE = 3;
constexpr std::uint32_t kEOAC_NONE = 0;

// The program's sink of one subscription (IWbemObjectSink's own methods).
class IWmiEventSink {
public:
    virtual ~IWmiEventSink() = default;
    // The objects of one delivery, in the order WMI gives them; none is
    // null. WBEM_S_NO_ERROR.
    virtual HRESULT Indicate(const std::vector<IWmiObject*>& objects) noexcept = 0;
    // The query's status: flags, result, an optional text and object.
    virtual HRESULT SetStatus(std::int32_t flags, HRESULT result, const std::optional<std::wstring>& text,
                              IWmiObject* object) noexcept = 0;
};

// The stub's IWbemObjectSink: what WMI is handed for a query and what its
// cancel names. Releasing it lets the stub release the program's sink.
class IWmiStubSink {
public:
    virtual ~IWmiStubSink() = default;
};

// The stub's IUnknown.
class IWmiStub {
public:
    virtual ~IWmiStub() = default;
    // QueryInterface for IWbemObjectSink.
    virtual HRESULT QueryObjectSink(std::unique_ptr<IWmiStubSink>& sink) = 0;
};

// IUnsecuredApartment.
class IWmiUnsecuredApartment {
public:
    virtual ~IWmiUnsecuredApartment() = default;
    // CreateObjectStub around the program's sink; the stub keeps a reference
    // to it for as long as the stub lives.
    virtual HRESULT CreateObjectStub(std::shared_ptr<IWmiEventSink> sink, std::unique_ptr<IWmiStub>& stub) = 0;
};

// IWbemServices of one namespace, for event queries.
class IWmiEventServices {
public:
    virtual ~IWmiEventServices() = default;
    // CoSetProxyBlanket on the services: authentication and authorisation
    // service, no principal name, authentication and impersonation level, no
    // identity, capabilities.
    virtual HRESULT SetProxyBlanket(std::uint32_t authnService, std::uint32_t authzService, std::uint32_t authnLevel,
                                    std::uint32_t impersonationLevel, std::uint32_t capabilities) = 0;
    // ExecNotificationQueryAsync in the language "WQL", with no context and
    // the stub's sink as the response handler.
    virtual HRESULT ExecNotificationQueryAsync(const std::wstring& query, std::int32_t flags, IWmiStubSink& sink) = 0;
    // CancelAsyncCall for the query that `sink` was handed to.
    virtual HRESULT CancelAsyncCall(IWmiStubSink& sink) = 0;
};

// IWbemLocator.
class IWmiLocator {
public:
    virtual ~IWmiLocator() = default;
    // ConnectServer to `ns` with no user, password, locale, authority or
    // context, and flags 0.
    virtual HRESULT ConnectServer(const std::wstring& ns, std::unique_ptr<IWmiEventServices>& services) = 0;
};

class IWmiEvents {
public:
    virtual ~IWmiEvents() = default;
    // CoCreateInstance(CLSID_WbemLocator, no outer, CLSCTX_INPROC_SERVER,
    // IID_IWbemLocator).
    virtual HRESULT CreateLocator(std::unique_ptr<IWmiLocator>& locator) = 0;
    // CoCreateInstance(CLSID_UnsecuredApartment, no outer,
    // CLSCTX_LOCAL_SERVER, IID_IUnsecuredApartment).
    virtual HRESULT CreateUnsecuredApartment(std::unique_ptr<IWmiUnsecuredApartment>& apartment) = 0;
};

}  // namespace Arvek::Ports
