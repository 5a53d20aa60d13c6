#include "shared/wmi_query.h"

#include "common/variant.h"
#include "shared/log.h"

namespace Arvek::Shared {
namespace {
// The first result may take a while on a busy machine, but not for ever.
constexpr std::int32_t kNextTimeoutMs = 20000;
}  // namespace

CWmiQuery::CWmiQuery(Ports::IComRuntime& com, Ports::IWmi& wmi, const std::wstring& ns)
    : m_com(com), m_wmi(wmi) {
    CArvekLogTrace trace("Arvek::Shared::CWmiQuery::CWmiQuery");
    // The flag value the agent has always passed: apartment-threaded (2)
    // plus 8.
    m_hrComInit = m_com.InitializeThread(Ports::kCOINIT_APARTMENTTHREADED | Ports::kCOINIT_SPEED_OVER_MEMORY);
    if (Succeeded(m_hrComInit)) m_com.InitializeSecurity();  // fails harmlessly when already set
    Connect(ns);
}

CWmiQuery::~CWmiQuery() {
    CArvekLogTrace trace("Arvek::Shared::CWmiQuery::~CWmiQuery");
    m_pEnumerator.reset();
    m_pObject.reset();
    m_pWbemSvcs.reset();
    if (Succeeded(m_hrComInit)) m_com.UninitializeThread();
}

void CWmiQuery::Connect(const std::wstring& ns) {
    CArvekLogTrace trace("Arvek::Shared::CWmiQuery::Connect");
    m_pWbemSvcs.reset();
    std::unique_ptr<Ports::IWmiServices> services;
    const HRESULT hr =
        m_wmi.Connect(ns, Ports::kWBEM_FLAG_CONNECT_USE_MAX_WAIT, Ports::kRPC_C_AUTHN_LEVEL_DEFAULT, services);
    if (Failed(hr) || !services) {
        GetLog().Log(LogLevel::Verbose, "Arvek::Shared::CWmiQuery::Connect", L"Connect to %s failed. hr = 0x%X", ns,
                     hr);
        return;
    }
    m_namespace = ns;
    m_pWbemSvcs = std::move(services);
}

HRESULT CWmiQuery::ExecuteQuery(const std::wstring& query, std::int32_t flags) {
    CArvekLogTrace trace("Arvek::Shared::CWmiQuery::ExecuteQuery");
    if (!m_pWbemSvcs) return Ports::kWBEM_E_INITIALIZATION_FAILURE;
    m_pEnumerator.reset();
    // A failed query leaves no result behind: the previous query's object
    // must not be read as this one's.
    m_pObject.reset();
    std::unique_ptr<Ports::IWmiEnumerator> results;
    const HRESULT hr = m_pWbemSvcs->ExecQuery(query, flags, results);
    if (Failed(hr)) return hr;
    if (!results) return kE_UNEXPECTED;
    m_pEnumerator = std::move(results);
    return m_pEnumerator->Next(kNextTimeoutMs, m_pObject);
}

HRESULT CWmiQuery::GetPropertyValue(const std::wstring& property, std::wstring& text) {
    CArvekLogTrace trace("Arvek::Shared::CWmiQuery::GetPropertyValue");
    text.clear();
    if (!m_pObject) return Ports::kWBEM_E_INVALID_OBJECT;
    Variant value;
    const HRESULT hr = m_pObject->Get(property, value);
    if (hr != kS_OK || value.vt == kVT_NULL) return hr;
    std::wstring converted;
    const HRESULT conversion = VariantToText(value, converted);
    if (conversion == kDISP_E_TYPEMISMATCH) return Ports::kWBEM_E_TYPE_MISMATCH;
    if (Failed(conversion)) return conversion;
    text = std::move(converted);
    return hr;
}

}  // namespace Arvek::Shared
