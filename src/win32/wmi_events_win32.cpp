#include "win32/wmi_events_win32.h"

#include <windows.h>
#include <wbemidl.h>

#include <vector>

#include "win32/callback_barrier.h"
#include "win32/com_object.h"
#include "win32/com_win32.h"
#include "win32/handles.h"
#include "win32/result.h"
#include "win32/wmi_win32.h"

namespace Arvek::Win32 {
namespace {

// The program's sink as WMI sees it: the COM object the stub (or a test)
// holds. Its calls come on the thread of the apartment it was made in.
class WbemSink final : public ComObject<IWbemObjectSink> {
public:
    explicit WbemSink(std::shared_ptr<Ports::IWmiEventSink> sink) : m_sink(std::move(sink)) {}

    ::HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject** objects) override {
        return CallComMethod("Arvek::Win32::WbemSink::Indicate", [&]() -> ::HRESULT {
            std::vector<std::unique_ptr<Ports::IWmiObject>> held;
            std::vector<Ports::IWmiObject*> batch;
            for (LONG i = 0; objects && i < count; ++i) {
                if (!objects[i]) continue;
                objects[i]->AddRef();  // the wrapper's own reference
                ComPtr<IWbemClassObject> object;
                *object.Put() = objects[i];
                held.push_back(MakeWmiObject(std::move(object)));
                batch.push_back(held.back().get());
            }
            return m_sink->Indicate(batch);
        });
    }

    ::HRESULT STDMETHODCALLTYPE SetStatus(LONG flags, ::HRESULT result, BSTR text, IWbemClassObject* object) override {
        return CallComMethod("Arvek::Win32::WbemSink::SetStatus", [&]() -> ::HRESULT {
            std::optional<std::wstring> message;
            if (text) message = BstrText(text);
            std::unique_ptr<Ports::IWmiObject> wrapped;
            if (object) {
                object->AddRef();
                ComPtr<IWbemClassObject> held;
                *held.Put() = object;
                wrapped = MakeWmiObject(std::move(held));
            }
            return m_sink->SetStatus(flags, result, message, wrapped.get());
        });
    }

private:
    const std::shared_ptr<Ports::IWmiEventSink> m_sink;
};

class StubSink final : public Ports::IWmiStubSink {
public:
    explicit StubSink(ComPtr<IWbemObjectSink> sink) : m_sink(std::move(sink)) {}
    IWbemObjectSink* Abi() const noexcept { return m_sink.Get(); }

private:
    ComPtr<IWbemObjectSink> m_sink;
};

IWbemObjectSink* AbiOf(Ports::IWmiStubSink& sink) {
    auto* own = dynamic_cast<StubSink*>(&sink);
    return own ? own->Abi() : nullptr;
}

class Stub final : public Ports::IWmiStub {
public:
    explicit Stub(ComPtr<IUnknown> stub) : m_stub(std::move(stub)) {}
    HRESULT QueryObjectSink(std::unique_ptr<Ports::IWmiStubSink>& sink) override {
        sink.reset();
        ComPtr<IWbemObjectSink> queried;
        ARVEK_RETURN_IF_FAILED(m_stub->QueryInterface(IID_IWbemObjectSink, queried.PutVoid()));
        ARVEK_RETURN_HR_IF_NULL(kE_POINTER, queried);
        sink = std::make_unique<StubSink>(std::move(queried));
        return kS_OK;
    }

private:
    ComPtr<IUnknown> m_stub;
};

class Apartment final : public Ports::IWmiUnsecuredApartment {
public:
    explicit Apartment(ComPtr<IUnsecuredApartment> apartment) : m_apartment(std::move(apartment)) {}
    HRESULT CreateObjectStub(std::shared_ptr<Ports::IWmiEventSink> sink, std::unique_ptr<Ports::IWmiStub>& stub) override {
        stub.reset();
        ARVEK_RETURN_HR_IF_NULL(kE_POINTER, sink);
        // This side's reference to the COM sink goes when it leaves: from
        // then on the stub holds it.
        ComPtr<IWbemObjectSink> wrapped;
        ARVEK_RETURN_IF_FAILED(MakeComObject<WbemSink>(IID_IWbemObjectSink, wrapped.PutVoid(), std::move(sink)));
        ComPtr<IUnknown> created;
        ARVEK_RETURN_IF_FAILED(m_apartment->CreateObjectStub(wrapped.Get(), created.Put()));
        ARVEK_RETURN_HR_IF_NULL(kE_POINTER, created);
        stub = std::make_unique<Stub>(std::move(created));
        return kS_OK;
    }

private:
    ComPtr<IUnsecuredApartment> m_apartment;
};

class EventServices final : public Ports::IWmiEventServices {
public:
    explicit EventServices(ComPtr<IWbemServices> services) : m_services(std::move(services)) {}

    HRESULT SetProxyBlanket(std::uint32_t authnService, std::uint32_t authzService, std::uint32_t authnLevel,
                            std::uint32_t impersonationLevel, std::uint32_t capabilities) override {
        return ::CoSetProxyBlanket(m_services.Get(), authnService, authzService, nullptr, authnLevel,
                                   impersonationLevel, nullptr, capabilities);
    }
    HRESULT ExecNotificationQueryAsync(const std::wstring& query, std::int32_t flags, Ports::IWmiStubSink& sink) override {
        IWbemObjectSink* handler = AbiOf(sink);
        ARVEK_RETURN_HR_IF_NULL(kE_INVALIDARG, handler);
        const UniqueBstr language = MakeBstr(L"WQL");
        const UniqueBstr text = MakeBstr(query);
        return m_services->ExecNotificationQueryAsync(language.Get(), text.Get(), flags, nullptr, handler);
    }
    HRESULT CancelAsyncCall(Ports::IWmiStubSink& sink) override {
        IWbemObjectSink* handler = AbiOf(sink);
        ARVEK_RETURN_HR_IF_NULL(kE_INVALIDARG, handler);
        return m_services->CancelAsyncCall(handler);
    }

private:
    ComPtr<IWbemServices> m_services;
};

class Locator final : public Ports::IWmiLocator {
public:
    explicit Locator(ComPtr<IWbemLocator> locator) : m_locator(std::move(locator)) {}
    HRESULT ConnectServer(const std::wstring& ns, std::unique_ptr<Ports::IWmiEventServices>& services) override {
        services.reset();
        const UniqueBstr resource = MakeBstr(ns);
        ComPtr<IWbemServices> connected;
        ARVEK_RETURN_IF_FAILED(
            m_locator->ConnectServer(resource.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, connected.Put()));
        ARVEK_RETURN_HR_IF_NULL(kE_POINTER, connected);
        services = std::make_unique<EventServices>(std::move(connected));
        return kS_OK;
    }

private:
    ComPtr<IWbemLocator> m_locator;
};

}  // namespace

HRESULT Win32WmiEvents::CreateLocator(std::unique_ptr<Ports::IWmiLocator>& locator) {
    locator.reset();
    ComPtr<IWbemLocator> created;
    ARVEK_RETURN_IF_FAILED(
        ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, created.PutVoid()));
    ARVEK_RETURN_HR_IF_NULL(kE_POINTER, created);
    locator = std::make_unique<Locator>(std::move(created));
    return kS_OK;
}

HRESULT Win32WmiEvents::CreateUnsecuredApartment(std::unique_ptr<Ports::IWmiUnsecuredApartment>& apartment) {
    apartment.reset();
    ComPtr<IUnsecuredApartment> created;
    ARVEK_RETURN_IF_FAILED(::CoCreateInstance(CLSID_UnsecuredApartment, nullptr, CLSCTX_LOCAL_SERVER,
                                              IID_IUnsecuredApartment, created.PutVoid()));
    ARVEK_RETURN_HR_IF_NULL(kE_POINTER, created);
    apartment = std::make_unique<Apartment>(std::move(created));
    return kS_OK;
}

HRESULT MakeInProcessSink(std::shared_ptr<Ports::IWmiEventSink> sink, std::unique_ptr<Ports::IWmiStubSink>& wrapped) {
    wrapped.reset();
    ARVEK_RETURN_HR_IF_NULL(kE_POINTER, sink);
    ComPtr<IWbemObjectSink> made;
    ARVEK_RETURN_IF_FAILED(MakeComObject<WbemSink>(IID_IWbemObjectSink, made.PutVoid(), std::move(sink)));
    wrapped = std::make_unique<StubSink>(std::move(made));
    return kS_OK;
}

}  // namespace Arvek::Win32
