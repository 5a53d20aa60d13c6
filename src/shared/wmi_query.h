// The one-query WMI reader: connects to one namespace, runs one WQL query
// and reads properties of the query's first result object as text.
//
// It initialises COM on the thread that constructs it and balances that in
// its destructor, so it is made and destroyed on one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/hresult.h"
#include "ports/com.h"
#include "ports/wmi.h"

namespace Arvek::Shared {

class CWmiQuery {
public:
    // `ns` is the namespace path, e.g. "\\.\root\cimv2". A connection that
    // fails is not reported here; ExecuteQuery then fails.
    CWmiQuery(Ports::IComRuntime& com, Ports::IWmi& wmi, const std::wstring& ns);
    ~CWmiQuery();
    CWmiQuery(const CWmiQuery&) = delete;
    CWmiQuery& operator=(const CWmiQuery&) = delete;

    // S_OK when the query has a first object, WBEM_S_FALSE when it has none,
    // WBEM_E_INITIALIZATION_FAILURE without a connection, else the failure.
    HRESULT ExecuteQuery(const std::wstring& query, std::int32_t flags);
    // The property of the current result object as text; WBEM_E_INVALID_OBJECT
    // without one. A property without a value gives S_OK and empty text.
    HRESULT GetPropertyValue(const std::wstring& property, std::wstring& text);

    const std::wstring& Namespace() const { return m_namespace; }

private:
    void Connect(const std::wstring& ns);

    Ports::IComRuntime& m_com;
    Ports::IWmi& m_wmi;
    HRESULT m_hrComInit;
    std::wstring m_namespace;
    std::unique_ptr<Ports::IWmiServices> m_pWbemSvcs;
    std::unique_ptr<Ports::IWmiObject> m_pObject;
    std::unique_ptr<Ports::IWmiEnumerator> m_pEnumerator;
};

}  // namespace Arvek::Shared
