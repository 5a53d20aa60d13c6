#include "win32/toast_win32.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "win32/callback_barrier.h"
#include "win32/com_object.h"
#include "win32/handles.h"
#include "win32/result.h"
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
        ARVEK_RETURN_HR_IF_NULL(REGDB_E_CLASSNOTREG, m_getActivationFactory);
        return m_getActivationFactory(className, iid, factory);
    }
    ::HRESULT CreateString(const std::wstring& text, HSTRING* string) const {
        *string = nullptr;
        ARVEK_RETURN_HR_IF_NULL(REGDB_E_CLASSNOTREG, m_createString);
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

// The activation factory of a runtime class, as the interface `iid`; a call
// that succeeds without handing one out counts as failing with E_POINTER.
template <class Factory>
::HRESULT GetFactory(const wchar_t* className, REFIID iid, ComPtr<Factory>& factory) {
    UniqueHString name;
    ARVEK_RETURN_IF_FAILED(MakeHString(className, name));
    const ::HRESULT hr = Runtime::Get().GetActivationFactory(name.Get(), iid, factory.PutVoid());
    ARVEK_RETURN_IF_FAILED(hr);
    ARVEK_RETURN_HR_IF_NULL(E_POINTER, factory);
    return hr;
}

// Nothing thrown by the program's side reaches the toast service's thread:
// each Invoke runs behind the barrier, under this name.
constexpr char kInvoke[] = "Arvek::Win32::ToastEventHandler::Invoke";

class ToastEventHandler final : public ComObject<WinRt::IToastActivatedHandler, WinRt::IToastDismissedHandler,
                                                 WinRt::IToastFailedHandler> {
public:
    explicit ToastEventHandler(std::shared_ptr<Ports::IToastEvents> events) : m_events(std::move(events)) {}

    ::HRESULT STDMETHODCALLTYPE Invoke(WinRt::IToastNotification*, IInspectable*) override {
        return CallComMethod(kInvoke, [this] { return m_events->Activated(); });
    }

    ::HRESULT STDMETHODCALLTYPE Invoke(WinRt::IToastNotification*, WinRt::IToastDismissedEventArgs* args) override {
        return CallComMethod(kInvoke, [this, args]() -> ::HRESULT {
            ARVEK_RETURN_HR_IF_NULL(E_POINTER, args);
            INT32 reason = 0;
            ARVEK_RETURN_IF_FAILED(args->get_Reason(&reason));
            return m_events->Dismissed(reason);
        });
    }

    ::HRESULT STDMETHODCALLTYPE Invoke(WinRt::IToastNotification*, WinRt::IToastFailedEventArgs* args) override {
        return CallComMethod(kInvoke, [this, args]() -> ::HRESULT {
            ARVEK_RETURN_HR_IF_NULL(E_POINTER, args);
            ::HRESULT error = S_OK;
            ARVEK_RETURN_IF_FAILED(args->get_ErrorCode(&error));
            return m_events->Failed(error);
        });
    }

private:
    ~ToastEventHandler() override = default;

    const std::shared_ptr<Ports::IToastEvents> m_events;
};

class ToastDocument final : public Ports::IToastDocument {
public:
    explicit ToastDocument(ComPtr<WinRt::IXmlDocument> document) : m_document(std::move(document)) {}

    WinRt::IXmlDocument* Abi() const noexcept { return m_document.Get(); }

    HRESULT CountElements(const std::wstring& tag, std::uint32_t& count) override {
        ComPtr<WinRt::IXmlNodeList> elements;
        ARVEK_RETURN_IF_FAILED(ElementsNamed(tag, elements));
        UINT32 length = 0;
        const ::HRESULT hr = elements->get_Length(&length);
        ARVEK_RETURN_IF_FAILED(hr);
        count = length;
        return hr;
    }

    HRESULT AppendText(const std::wstring& tag, std::uint32_t index, const std::wstring& attribute,
                       const std::wstring& value) override {
        ComPtr<WinRt::IXmlNodeList> elements;
        ARVEK_RETURN_IF_FAILED(ElementsNamed(tag, elements));
        // A node the call does not hand out (past the end, no such
        // attribute) is a bad argument; any other missing interface, E_POINTER.
        ComPtr<WinRt::IXmlNode> parent;
        ARVEK_RETURN_IF_FAILED(elements->Item(index, parent.Put()));
        ARVEK_RETURN_HR_IF_NULL(E_INVALIDARG, parent);
        if (!attribute.empty()) ARVEK_RETURN_IF_FAILED(AttributeOf(parent, attribute));
        UniqueHString text;
        ARVEK_RETURN_IF_FAILED(MakeHString(value, text));
        ComPtr<WinRt::IXmlText> textNode;
        ARVEK_RETURN_IF_FAILED(m_document->CreateTextNode(text.Get(), textNode.Put()));
        ARVEK_RETURN_HR_IF_NULL(E_POINTER, textNode);
        ComPtr<WinRt::IXmlNode> child;
        ARVEK_RETURN_IF_FAILED(textNode->QueryInterface(WinRt::IID_IXmlNode, child.PutVoid()));
        ARVEK_RETURN_HR_IF_NULL(E_POINTER, child);
        ComPtr<WinRt::IXmlNode> appended;
        return parent->AppendChild(child.Get(), appended.Put());
    }

private:
    ::HRESULT ElementsNamed(const std::wstring& tag, ComPtr<WinRt::IXmlNodeList>& elements) {
        UniqueHString name;
        ARVEK_RETURN_IF_FAILED(MakeHString(tag, name));
        const ::HRESULT hr = m_document->GetElementsByTagName(name.Get(), elements.Put());
        ARVEK_RETURN_IF_FAILED(hr);
        ARVEK_RETURN_HR_IF_NULL(E_POINTER, elements);
        return hr;
    }

    // Replaces `node` with its attribute node named `name`.
    static ::HRESULT AttributeOf(ComPtr<WinRt::IXmlNode>& node, const std::wstring& name) {
        ComPtr<WinRt::IXmlNamedNodeMap> attributes;
        ARVEK_RETURN_IF_FAILED(node->get_Attributes(attributes.Put()));
        ARVEK_RETURN_HR_IF_NULL(E_INVALIDARG, attributes);
        UniqueHString attributeName;
        ARVEK_RETURN_IF_FAILED(MakeHString(name, attributeName));
        ComPtr<WinRt::IXmlNode> attributeNode;
        const ::HRESULT hr = attributes->GetNamedItem(attributeName.Get(), attributeNode.Put());
        ARVEK_RETURN_IF_FAILED(hr);
        ARVEK_RETURN_HR_IF_NULL(E_INVALIDARG, attributeNode);
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
        ARVEK_RETURN_IF_FAILED(CreateToastEventHandler(std::move(events), iid, handler.PutVoid()));
        ARVEK_RETURN_HR_IF_NULL(E_POINTER, handler);
        EventRegistrationToken token{};
        const ::HRESULT hr = add(handler.Get(), &token);
        ARVEK_RETURN_IF_FAILED(hr);
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
        ARVEK_RETURN_HR_IF_NULL(E_INVALIDARG, own);
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
        const ::HRESULT hr = m_statics->GetTemplateContent(templateType, content.Put());
        ARVEK_RETURN_IF_FAILED(hr);
        ARVEK_RETURN_HR_IF_NULL(E_POINTER, content);
        document = std::make_unique<ToastDocument>(std::move(content));
        return hr;
    }

    HRESULT CreateNotifier(const std::wstring& appUserModelId,
                           std::unique_ptr<Ports::IToastNotifier>& notifier) override {
        UniqueHString id;
        ARVEK_RETURN_IF_FAILED(MakeHString(appUserModelId, id));
        ComPtr<WinRt::IToastNotifier> created;
        const ::HRESULT hr = m_statics->CreateToastNotifierWithId(id.Get(), created.Put());
        ARVEK_RETURN_IF_FAILED(hr);
        ARVEK_RETURN_HR_IF_NULL(E_POINTER, created);
        notifier = std::make_unique<ToastNotifier>(std::move(created));
        return hr;
    }

private:
    ComPtr<WinRt::IToastNotificationManagerStatics> m_statics;
};

}  // namespace

::HRESULT CreateToastEventHandler(std::shared_ptr<Ports::IToastEvents> events, REFIID iid, void** handler) {
    ARVEK_RETURN_HR_IF_NULL(E_POINTER, handler);
    *handler = nullptr;
    ARVEK_RETURN_HR_IF_NULL(E_INVALIDARG, events);
    return MakeComObject<ToastEventHandler>(iid, handler, std::move(events));
}

HRESULT Win32ToastService::GetManager(std::unique_ptr<Ports::IToastManager>& manager) {
    ComPtr<WinRt::IToastNotificationManagerStatics> statics;
    const ::HRESULT hr = GetFactory(kManagerClass, WinRt::IID_IToastNotificationManagerStatics, statics);
    ARVEK_RETURN_IF_FAILED(hr);
    manager = std::make_unique<ToastManager>(std::move(statics));
    return hr;
}

HRESULT Win32ToastService::CreateNotification(Ports::IToastDocument& document,
                                              std::unique_ptr<Ports::IToastNotification>& notification) {
    auto* own = dynamic_cast<ToastDocument*>(&document);
    ARVEK_RETURN_HR_IF_NULL(E_INVALIDARG, own);
    ComPtr<WinRt::IToastNotificationFactory> factory;
    ARVEK_RETURN_IF_FAILED(GetFactory(kNotificationClass, WinRt::IID_IToastNotificationFactory, factory));
    ComPtr<WinRt::IToastNotification> created;
    const ::HRESULT hr = factory->CreateToastNotification(own->Abi(), created.Put());
    ARVEK_RETURN_IF_FAILED(hr);
    ARVEK_RETURN_HR_IF_NULL(E_POINTER, created);
    notification = std::make_unique<ToastNotification>(std::move(created));
    return hr;
}

}  // namespace Arvek::Win32
