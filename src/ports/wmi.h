// The operating system's management instrumentation (WMI) as a client sees
// it: a connection to a namespace, a query, its result objects and their
// properties.
//
// Implementations: win32/wmi_win32 (IWbemLocator and friends),
// sim/os/sim_wmi (the simulated notebook's classes and values).
//
// Connecting and querying raise ComError(E_OUTOFMEMORY) when a name or a
// query cannot be held in a COM string; nothing else throws but
// std::bad_alloc.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/hresult.h"
#include "common/variant.h"

namespace Arvek::Ports {

constexpr std::int32_t kWBEM_FLAG_RETURN_IMMEDIATELY = 0x10;
constexpr std::int32_t kWBEM_FLAG_FORWARD_ONLY = 0x20;
constexpr std::int32_t kWBEM_FLAG_CONNECT_USE_MAX_WAIT = 0x80;
constexpr std::int32_t kWBEM_INFINITE = -1;
constexpr HRESULT kWBEM_S_FALSE = 1;
constexpr HRESULT kWBEM_S_TIMEDOUT = 0x40004;
constexpr HRESULT kWBEM_E_FAILED = MakeHr(0x80041001u);
constexpr HRESULT kWBEM_E_NOT_FOUND = MakeHr(0x80041002u);
constexpr HRESULT kWBEM_E_TYPE_MISMATCH = MakeHr(0x80041005u);
constexpr HRESULT kWBEM_E_INVALID_NAMESPACE = MakeHr(0x8004100Eu);
constexpr HRESULT kWBEM_E_INVALID_OBJECT = MakeHr(0x8004100Fu);
constexpr HRESULT kWBEM_E_INVALID_QUERY = MakeHr(0x80041017u);
constexpr HRESULT kWBEM_E_INITIALIZATION_FAILURE = MakeHr(0x80041014u);
constexpr std::uint32_t kRPC_C_AUTHN_LEVEL_DEFAULT = 0;
constexpr std::uint32_t kRPC_C_AUTHN_LEVEL_CALL = 3;

// IWbemClassObject.
class IWmiObject {
public:
    virtual ~IWmiObject() = default;
    // Get with no flags: S_OK and the value (VT_NULL for a property without
    // one), or WBEM_E_NOT_FOUND for a property the class lacks.
    virtual HRESULT Get(const std::wstring& property, Variant& value) = 0;
};

// IEnumWbemClassObject.
class IWmiEnumerator {
public:
    virtual ~IWmiEnumerator() = default;
    // Next for one object, waiting at most `timeoutMs` (WBEM_INFINITE: no
    // limit): S_OK and the object, WBEM_S_FALSE when there is none left,
    // WBEM_S_TIMEDOUT, or a failure.
    virtual HRESULT Next(std::int32_t timeoutMs, std::unique_ptr<IWmiObject>& object) = 0;
};

// IWbemServices of one namespace.
class IWmiServices {
public:
    virtual ~IWmiServices() = default;
    // ExecQuery in the language "WQL" with the caller's flags.
    virtual HRESULT ExecQuery(const std::wstring& query, std::int32_t flags,
                              std::unique_ptr<IWmiEnumerator>& results) = 0;
};

class IWmi {
public:
    virtual ~IWmi() = default;
    // Creates the locator (in-process), connects to `ns` with no user,
    // password, locale, authority or context and the given security flags,
    // and sets the proxy blanket of the services (Windows NT authentication,
    // no authorisation, no principal, `authnLevel`, impersonate, no identity,
    // no capabilities). The first failing step's HRESULT, and no services.
    // The calling thread has initialised COM.
    virtual HRESULT Connect(const std::wstring& ns, std::int32_t securityFlags, std::uint32_t authnLevel,
                            std::unique_ptr<IWmiServices>& services) = 0;
};

}  // namespace Arvek::Ports
