#include "win32/wmi_win32.h"

#include <windows.h>
#include <wbemidl.h>

#include "win32/com_win32.h"
#include "win32/handles.h"
#include "win32/result.h"

namespace Arvek::Win32 {
namespace {

class Win32WmiObject final : public Ports::IWmiObject {
public:
    explicit Win32WmiObject(ComPtr<IWbemClassObject> object) : m_object(std::move(object)) {}

    HRESULT Get(const std::wstring& property, Variant& value) override {
        UniqueVariant read;
        const HRESULT hr = m_object->Get(property.c_str(), 0, read.Put(), nullptr, nullptr);
        ARVEK_RETURN_IF_FAILED(hr);
        value = FromComVariant(read.Get());
        return hr;
    }

private:
    ComPtr<IWbemClassObject> m_object;
};

class Win32WmiEnumerator final : public Ports::IWmiEnumerator {
public:
    explicit Win32WmiEnumerator(ComPtr<IEnumWbemClassObject> results) : m_results(std::move(results)) {}

    HRESULT Next(std::int32_t timeoutMs, std::unique_ptr<Ports::IWmiObject>& object) override {
        object.reset();
        ComPtr<IWbemClassObject> next;
        ULONG returned = 0;
        const HRESULT hr = m_results->Next(timeoutMs, 1, next.Put(), &returned);
        // WBEM_S_FALSE and WBEM_S_TIMEDOUT come with no object; so may a
        // failure. Only an object actually handed over is kept.
        if (returned == 1 && next) object = std::make_unique<Win32WmiObject>(std::move(next));
        return hr;
    }

private:
    ComPtr<IEnumWbemClassObject> m_results;
};

class Win32WmiServices final : public Ports::IWmiServices {
public:
    explicit Win32WmiServices(ComPtr<IWbemServices> services) : m_services(std::move(services)) {}

    HRESULT ExecQuery(const std::wstring& query, std::int32_t flags,
                      std::unique_ptr<Ports::IWmiEnumerator>& results) override {
        results.reset();
        const UniqueBstr language = MakeBstr(L"WQL");
        const UniqueBstr text = MakeBstr(query);
        ComPtr<IEnumWbemClassObject> enumerator;
        const HRESULT hr = m_services->ExecQuery(language.Get(), text.Get(), flags, nullptr, enumerator.Put());
        ARVEK_RETURN_IF_FAILED(hr);
        ARVEK_RETURN_HR_IF_NULL(kE_POINTER, enumerator);
        results = std::make_unique<Win32WmiEnumerator>(std::move(enumerator));
        return hr;
    }

private:
    ComPtr<IWbemServices> m_services;
};

}  // namespace

std::unique_ptr<Ports::IWmiObject> MakeWmiObject(ComPtr<IWbemClassObject> object) {
    return std::make_unique<Win32WmiObject>(std::move(object));
}

HRESULT Win32Wmi::Connect(const std::wstring& ns, std::int32_t securityFlags, std::uint32_t authnLevel,
                          std::unique_ptr<Ports::IWmiServices>& services) {
    services.reset();
    ComPtr<IWbemLocator> locator;
    ARVEK_RETURN_IF_FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                              locator.PutVoid()));
    ARVEK_RETURN_HR_IF_NULL(kE_POINTER, locator);
    const UniqueBstr resource = MakeBstr(ns);
    ComPtr<IWbemServices> connected;
    ARVEK_RETURN_IF_FAILED(locator->ConnectServer(resource.Get(), nullptr, nullptr, nullptr, securityFlags, nullptr,
                                                  nullptr, connected.Put()));
    ARVEK_RETURN_HR_IF_NULL(kE_POINTER, connected);
    ARVEK_RETURN_IF_FAILED(::CoSetProxyBlanket(connected.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                               authnLevel, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE));
    services = std::make_unique<Win32WmiServices>(std::move(connected));
    return kS_OK;
}

}  // namespace Arvek::Win32
