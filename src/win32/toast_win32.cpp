#include "win32/toast_win32.h"

#include <windows.h>

#include <atomic>
#include <new>
#include <utility>
#include <vector>

#include "win32/handles.h"
#include "win32/toast_abi.h"

namespace Arvek::Win32 {

namespace {

constexpr wchar_t kManagerClass[] = L"Windows.UI.Notifications.ToastNotificationManager";
constexpr wchar_t kNotificationClass[] = L"Windows.UI.Notifications.ToastNotification";

// The Windows Runtime's functions, looked up in combase.dll the first time a
// toast needs them instead of imported: Windows 7 has no Windows Runtime, and
// an import would keep the whole agent from starting there. Without them the
// toast service counts as absent (REGDB_E_CLASSNOTREG), as where its classes
// are not registered.
class Runtime {
public:
    static const Runtime& Get() {
        static const Runtime runtime;
        return runtime;
    }

    ::HRESULT GetActivationFactory(HSTRING className, REFIID iid, void** factory) const {
        *factory = nullptr;
        if (!m_getActivationFactory) return REGDB_E_CLASSNOTREG;
        return m_getActivationFactory(className, iid, factory);
    }
    ::HRESULT CreateString(const std::wstring& text, HSTRING* string) const {
        *string = nullptr;
        if (!m_createString) return REGDB_E_CLASSNOTREG;
        return m_createString(text.c_str(), static_cast<UINT32>(text.size()), string);
    }
    // Only strings CreateString made exist, so the function is there.
    void DeleteString(HSTRING string) const noexcept {
        if (m_deleteString) m_deleteString(string);
    }

private:
    using GetActivationFactoryFunction = ::HRESULT(WINAPI*)(HSTRING, REFIID, void**);
    using CreateStringFunction = ::HRESULT(WINAPI*)(LPCWSTR, UINT32, HSTRING*);
    using DeleteStringFunction = ::HRESULT(WINAPI*)(HSTRING);

    Runtime() : m_module(::LoadLibraryExW(L"combase.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        if (!m_module) return;
        auto getActivationFactory = Find<GetActivationFactoryFunction>("RoGetActivationFactory");
        auto createString = Find<CreateStringFunction>("WindowsCreateString");
        auto deleteString = Find<DeleteStringFunction>("WindowsDeleteString");
        if (!getActivationFactory || !createString || !deleteString) return;  // all or none
        m_getActivationFactory = getActivationFactory;
        m_createString = createString;
        m_deleteString = deleteString;
    }

    template <class Function>
    Function Find(const char* name) const {
        // Through a plain function pointer type: GetProcAddress's own type
        // converts to no other without a warning.
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(m_module.Get(), name)));
    }

    UniqueModule m_module;
    GetActivationFactoryFunction m_getActivationFactory = nullptr;
    CreateStringFunction m_createString = nullptr;
    DeleteStringFunction m_deleteString = nullptr;
};

// A string of the Windows Runtime, deleted (WindowsDeleteString) when it
// goes. Null is a valid, empty string and the "none".
struct HStringTraits {
    using Type = HSTRING;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type text) noexcept { Runtime::Get().DeleteString(text); }
};
using UniqueHString = UniqueHandle<HStringTraits>;

::HRESULT MakeHString(const std::wstring& text, UniqueHString& out) {
    return Runtime::Get().CreateString(text, out.Put());
}

// A call's result together with the interface it handed out: a call that
// succeeds without handing one out counts as failing with `ifNone`.
template <class Interface>
::HRESULT Outcome(::HRESULT hr, const ComPtr<Interface>& out, ::HRESULT ifNone = E_POINTER) {
    if (FAILED(hr)) return hr;
    return out ? hr : ifNone;
}

// The activation factory of a runtime class, as the interface `iid`.
template <class Factory>
::HRESULT GetFactory(const wchar_t* className, REFIID iid, ComPtr<Factory>& factory) {
    UniqueHString name;
    const ::HRESULT hr = MakeHString(className, name);
    if (FAILED(hr)) return hr;
    return Outcome(Runtime::Get().GetActivationFactory(name.Get(), iid, factory.PutVoid()), factory);
}

class ToastEventHandler final : public WinRt::IToastActivatedHandler,
                                public WinRt::IToastDismissedHandler,
                                public WinRt::IToastFailedHandler {
public:
    explicit ToastEventHandler(std::shared_ptr<Ports::IToastEvents> events) : m_events(std::move(events)) {}
    ToastEventHandler(const ToastEventHandler&) = delete;
    ToastEventHandler& operator=(const ToastEventHandler&) = delete;

    ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, WinRt::IID_ToastActivatedHandler)) {
            *object = static_cast<WinRt::IToastActivatedHandler*>(this);
        } else if (IsEqualIID(iid, WinRt::IID_ToastDismissedHandler)) {
            *object = static_cast<WinRt::IToastDismissedHandler*>(this);
        } else if (IsEqualIID(iid, WinRt::IID_ToastFailedHandler)) {
            *object = static_cast<WinRt::IToastFailedHandler*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }

    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

    ::HRESULT STDMETHODCALLTYPE Invoke(WinRt::IToastNotification*, IInspectable*) override {
        return Pass([this] { return m_events->Activated(); });
    }

    ::HRESULT STDMETHODCALLTYPE Invoke(WinRt::IToastNotification*, WinRt::IToastDismissedEventArgs* args) override {
        if (!args) return E_POINTER;
        INT32 reason = 0;
        const ::HRESULT hr = args->get_Reason(&reason);
        if (FAILED(hr)) return hr;
        return Pass([this, reason] { return m_events->Dismissed(reason); });
    }

    ::HRESULT STDMETHODCALLTYPE Invoke(WinRt::IToastNotification*, WinRt::IToastFailedEventArgs* args) override {
        if (!args) return E_POINTER;
        ::HRESULT error = S_OK;
        const ::HRESULT hr = args->get_ErrorCode(&error);
        if (FAILED(hr)) return hr;
        return Pass([this, error] { return m_events->Failed(error); });
    }

private:
    ~ToastEventHandler() = default;

    // Nothing thrown by the program's side may reach the toast service's
    // thread.
    template <class Call>
    static ::HRESULT Pass(Call call) noexcept {
        try {
            return call();
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

    std::atomic<ULONG> m_references{1};
    const std::shared_ptr<Ports::IToastEvents> m_events;
};

class ToastDocument final : public Ports::IToastDocument {
public:
    explicit ToastDocument(ComPtr<WinRt::IXmlDocument> document) : m_document(std::move(document)) {}

    WinRt::IXmlDocument* Abi() const noexcept { return m_document.Get(); }

    HRESULT CountElements(const std::wstring& tag, std::uint32_t& count) override {
        ComPtr<WinRt::IXmlNodeList> elements;
        ::HRESULT hr = ElementsNamed(tag, elements);
        if (FAILED(hr)) return hr;
        UINT32 length = 0;
        hr = elements->get_Length(&length);
        if (FAILED(hr)) return hr;
        count = length;
        return hr;
    }

    HRESULT AppendText(const std::wstring& tag, std::uint32_t index, const std::wstring& attribute,
                       const std::wstring& value) override {
        ComPtr<WinRt::IXmlNodeList> elements;
        ::HRESULT hr = ElementsNamed(tag, elements);
        if (FAILED(hr)) return hr;
        ComPtr<WinRt::IXmlNode> parent;
        hr = Outcome(elements->Item(index, parent.Put()), parent, E_INVALIDARG);
        if (FAILED(hr)) return hr;
        if (!attribute.empty()) {
            hr = AttributeOf(parent, attribute);
            if (FAILED(hr)) return hr;
        }
        UniqueHString text;
        hr = MakeHString(value, text);
        if (FAILED(hr)) return hr;
        ComPtr<WinRt::IXmlText> textNode;
        hr = Outcome(m_document->CreateTextNode(text.Get(), textNode.Put()), textNode);
        if (FAILED(hr)) return hr;
        ComPtr<WinRt::IXmlNode> child;
        hr = Outcome(textNode->QueryInterface(WinRt::IID_IXmlNode, child.PutVoid()), child);
        if (FAILED(hr)) return hr;
        ComPtr<WinRt::IXmlNode> appended;
        return parent->AppendChild(child.Get(), appended.Put());
    }

private:
    ::HRESULT ElementsNamed(const std::wstring& tag, ComPtr<WinRt::IXmlNodeList>& elements) {
        UniqueHString name;
        const ::HRESULT hr = MakeHString(tag, name);
        if (FAILED(hr)) return hr;
        return Outcome(m_document->GetElementsByTagName(name.Get(), elements.Put()), elements);
    }

    // Replaces `node` with its attribute node named `name`.
    static ::HRESULT AttributeOf(ComPtr<WinRt::IXmlNode>& node, const std::wstring& name) {
        ComPtr<WinRt::IXmlNamedNodeMap> attributes;
        ::HRESULT hr = Outcome(node->get_Attributes(attributes.Put()), attributes, E_INVALIDARG);
        if (FAILED(hr)) return hr;
        UniqueHString attributeName;
        hr = MakeHString(name, attributeName);
        if (FAILED(hr)) return hr;
        ComPtr<WinRt::IXmlNode> attributeNode;
        hr = Outcome(attributes->GetNamedItem(attributeName.Get(), attributeNode.Put()), attributeNode, E_INVALIDARG);
        if (FAILED(hr)) return hr;
        node = std::move(attributeNode);
        return hr;
    }

    ComPtr<WinRt::IXmlDocument> m_document;
};

class ToastNotification final : public Ports::IToastNotification {
public:
    explicit ToastNotification(ComPtr<WinRt::IToastNotification> toast) : m_toast(std::move(toast)) {}

    WinRt::IToastNotification* Abi() const noexcept { return m_toast.Get(); }

    HRESULT Subscribe(Ports::ToastEvent event, std::shared_ptr<Ports::IToastEvents> events) override {
        switch (event) {
            case Ports::ToastEvent::Activated:
                return Add<WinRt::IToastActivatedHandler>(
                    WinRt::IID_ToastActivatedHandler, std::move(events),
                    [this](auto* handler, auto* token) { return m_toast->add_Activated(handler, token); });
            case Ports::ToastEvent::Dismissed:
                return Add<WinRt::IToastDismissedHandler>(
                    WinRt::IID_ToastDismissedHandler, std::move(events),
                    [this](auto* handler, auto* token) { return m_toast->add_Dismissed(handler, token); });
            case Ports::ToastEvent::Failed:
                return Add<WinRt::IToastFailedHandler>(
                    WinRt::IID_ToastFailedHandler, std::move(events),
                    [this](auto* handler, auto* token) { return m_toast->add_Failed(handler, token); });
        }
        return E_INVALIDARG;
    }

private:
    // The handler is the toast's from then on: this side lets go of its own
    // reference when it leaves.
    template <class Handler, class AddHandler>
    ::HRESULT Add(REFIID iid, std::shared_ptr<Ports::IToastEvents> events, AddHandler add) {
        ComPtr<Handler> handler;
        ::HRESULT hr = Outcome(CreateToastEventHandler(std::move(events), iid, handler.PutVoid()), handler);
        if (FAILED(hr)) return hr;
        EventRegistrationToken token{};
        hr = add(handler.Get(), &token);
        if (FAILED(hr)) return hr;
        m_tokens.push_back(token);
        return hr;
    }

    ComPtr<WinRt::IToastNotification> m_toast;
    // Kept, never used: the subscriptions last as long as the toast.
    std::vector<EventRegistrationToken> m_tokens;
};

class ToastNotifier final : public Ports::IToastNotifier {
public:
    explicit ToastNotifier(ComPtr<WinRt::IToastNotifier> notifier) : m_notifier(std::move(notifier)) {}

    HRESULT Show(Ports::IToastNotification& notification) override {
        auto* own = dynamic_cast<ToastNotification*>(&notification);
        if (!own) return E_INVALIDARG;
        return m_notifier->Show(own->Abi());
    }

private:
    ComPtr<WinRt::IToastNotifier> m_notifier;
};

class ToastManager final : public Ports::IToastManager {
public:
    explicit ToastManager(ComPtr<WinRt::IToastNotificationManagerStatics> statics) : m_statics(std::move(statics)) {}

    HRESULT GetTemplateContent(std::int32_t templateType, std::unique_ptr<Ports::IToastDocument>& document) override {
        ComPtr<WinRt::IXmlDocument> content;
        const ::HRESULT hr = Outcome(m_statics->GetTemplateContent(templateType, content.Put()), content);
        if (FAILED(hr)) return hr;
        document = std::make_unique<ToastDocument>(std::move(content));
        return hr;
    }

    HRESULT CreateNotifier(const std::wstring& appUserModelId,
                           std::unique_ptr<Ports::IToastNotifier>& notifier) override {
        UniqueHString id;
        ::HRESULT hr = MakeHString(appUserModelId, id);
        if (FAILED(hr)) return hr;
        ComPtr<WinRt::IToastNotifier> created;
        hr = Outcome(m_statics->CreateToastNotifierWithId(id.Get(), created.Put()), created);
        if (FAILED(hr)) return hr;
        notifier = std::make_unique<ToastNotifier>(std::move(created));
        return hr;
    }

private:
    ComPtr<WinRt::IToastNotificationManagerStatics> m_statics;
};

}  // namespace

::HRESULT CreateToastEventHandler(std::shared_ptr<Ports::IToastEvents> events, REFIID iid, void** handler) {
    if (!handler) return E_POINTER;
    *handler = nullptr;
    if (!events) return E_INVALIDARG;
    auto* created = new (std::nothrow) ToastEventHandler(std::move(events));
    if (!created) return E_OUTOFMEMORY;
    const ::HRESULT hr = created->QueryInterface(iid, handler);
    created->Release();
    return hr;
}

HRESULT Win32ToastService::GetManager(std::unique_ptr<Ports::IToastManager>& manager) {
    ComPtr<WinRt::IToastNotificationManagerStatics> statics;
    const ::HRESULT hr = GetFactory(kManagerClass, WinRt::IID_IToastNotificationManagerStatics, statics);
    if (FAILED(hr)) return hr;
    manager = std::make_unique<ToastManager>(std::move(statics));
    return hr;
}

HRESULT Win32ToastService::CreateNotification(Ports::IToastDocument& document,
                                              std::unique_ptr<Ports::IToastNotification>& notification) {
    auto* own = dynamic_cast<ToastDocument*>(&document);
    if (!own) return E_INVALIDARG;
    ComPtr<WinRt::IToastNotificationFactory> factory;
    ::HRESULT hr = GetFactory(kNotificationClass, WinRt::IID_IToastNotificationFactory, factory);
    if (FAILED(hr)) return hr;
    ComPtr<WinRt::IToastNotification> created;
    hr = Outcome(factory->CreateToastNotification(own->Abi(), created.Put()), created);
    if (FAILED(hr)) return hr;
    notification = std::make_unique<ToastNotification>(std::move(created));
    return hr;
}

}  // namespace Arvek::Win32
