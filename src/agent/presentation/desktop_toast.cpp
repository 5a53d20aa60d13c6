#include "agent/presentation/desktop_toast.h"

#include <exception>

#include "shared/log.h"

namespace Notifications::Tidewatch {

using Arvek::HRESULT;
using Arvek::Failed;
using Arvek::Succeeded;
using Arvek::Shared::GetLog;
using Arvek::Shared::Verbose;

namespace {

constexpr char kInvoke[] = "ToastEventHandler::Invoke";
constexpr char kTryCreateShortcut[] = "Notifications::Tidewatch::DesktopToast::TryCreateShortcut";
constexpr char kInstallShortcut[] = "Notifications::Tidewatch::DesktopToast::InstallShortcut";
constexpr char kDisplayToast[] = "Notifications::Tidewatch::DesktopToast::DisplayToast";
constexpr char kCreateToastXml[] = "Notifications::Tidewatch::DesktopToast::CreateToastXml";
constexpr char kSetImageSrc[] = "Notifications::Tidewatch::DesktopToast::SetImageSrc";
constexpr char kSetTextValues[] = "Notifications::Tidewatch::DesktopToast::SetTextValues";
constexpr char kCreateToast[] = "Notifications::Tidewatch::DesktopToast::CreateToast";

constexpr std::size_t kMaxPath = 260;  // characters, with the terminator
constexpr wchar_t kShortcutInAppData[] = L"\\Microsoft\\Windows\\Start Menu\\Programs\\Toaster Message.lnk";
constexpr wchar_t kPictureInProgramFiles[] = L"\\Arvek\\Arvek Notifications\\toastImageAndText.png";
constexpr HRESULT kInsufficientBuffer = Arvek::HresultFromWin32(122);  // ERROR_INSUFFICIENT_BUFFER

}  // namespace

// --- the toast's events -------------------------------------------------------

HRESULT ToastEventHandler::Activated() {
    Arvek::Shared::CArvekLogTrace trace(kInvoke);
    // Whatever the toast said, the smart-adapter help program is what helps.
    const std::intptr_t started = m_platform.shell.Execute(L"open", kHelpProgram, L"", L"", Arvek::Ports::kSW_SHOW);
    return started <= 32 ? Arvek::kE_FAIL : Arvek::kS_OK;
}

const wchar_t* ToastEventHandler::DismissalText(std::int32_t reason) {
    switch (reason) {
    case Arvek::Ports::kToastUserCanceled:
        return L"The user dismissed this toast";
    case Arvek::Ports::kToastApplicationHidden:
        return L"The application hid the toast using ToastNotifier.hide()";
    case Arvek::Ports::kToastTimedOut:
        return L"The toast has timed out";
    default:
        return L"Toast not activated";
    }
}

HRESULT ToastEventHandler::Dismissed(std::int32_t reason) {
    Arvek::Shared::CArvekLogTrace trace(kInvoke);
    const std::wstring text = DismissalText(reason);
    GetLog().LogText(Verbose, kInvoke, text);
    return SetStatus(text);
}

HRESULT ToastEventHandler::Failed(HRESULT /*error*/) {
    Arvek::Shared::CArvekLogTrace trace(kInvoke);
    return SetStatus(L"The toast encountered an error.");
}

HRESULT ToastEventHandler::SetStatus(const std::wstring& text) {
    return m_platform.windowing.SetText(m_statusWindow, text) ? Arvek::kS_OK : Arvek::kE_FAIL;
}

// --- the shortcut -------------------------------------------------------------

std::optional<std::wstring> DesktopToast::ShortcutPath(const std::optional<std::wstring>& appData) {
    if (!appData) return std::nullopt;
    std::wstring path = *appData + kShortcutInAppData;
    if (path.size() >= kMaxPath) return std::nullopt;
    return path;
}

HRESULT DesktopToast::TryCreateShortcut() {
    Arvek::Shared::CArvekLogTrace trace(kTryCreateShortcut);
    const auto path = ShortcutPath(m_platform.process.EnvironmentVariable(L"APPDATA"));
    if (!path) return Arvek::kE_INVALIDARG;
    if (m_platform.files.GetFileInfo(*path)) return Arvek::kS_FALSE;
    return InstallShortcut(*path);
}

HRESULT DesktopToast::InstallShortcut(const std::wstring& shortcutPath) {
    Arvek::Shared::CArvekLogTrace trace(kInstallShortcut);
    const std::wstring program = m_platform.process.ModuleFileName();
    if (program.empty()) return Arvek::kE_FAIL;
    return m_platform.shell.CreateShortcut(shortcutPath, program, L"", kAppUserModelId);
}

// --- the toast ----------------------------------------------------------------

HRESULT DesktopToast::DisplayToast(std::wstring title, std::wstring text) {
    Arvek::Shared::CArvekLogTrace trace(kDisplayToast);
    // The agent calls this on its main thread, a single-threaded apartment,
    // where asking for the multithreaded one fails; either way goes on.
    m_platform.com.InitializeThread(Arvek::Ports::kCOINIT_MULTITHREADED);
    try {
        std::unique_ptr<Arvek::Ports::IToastManager> manager;
        HRESULT hr = m_platform.toasts.GetManager(manager);
        if (Failed(hr)) return hr;
        std::unique_ptr<Arvek::Ports::IToastDocument> document;
        hr = CreateToastXml(*manager, document, title, text);
        if (Failed(hr)) return hr;
        return CreateToast(*manager, *document);
    } catch (const Arvek::ComError&) {
        return Arvek::kE_FAIL;
    } catch (const std::exception&) {
        return Arvek::kE_FAIL;
    }
}

HRESULT DesktopToast::CreateToastXml(Arvek::Ports::IToastManager& manager,
                                     std::unique_ptr<Arvek::Ports::IToastDocument>& document,
                                     const std::wstring& title, const std::wstring& text) {
    Arvek::Shared::CArvekLogTrace trace(kCreateToastXml);
    HRESULT hr = manager.GetTemplateContent(Arvek::Ports::kToastImageAndText04, document);
    if (Failed(hr)) return hr;
    if (!document) return Arvek::kE_POINTER;
    GetLog().Log(Verbose, kCreateToastXml, L"Title: %s", title);
    GetLog().Log(Verbose, kCreateToastXml, L"Text: %s", text);
    // The picture is installed with the notification component; when the
    // folder cannot be had the path is left without it, and the toast shows
    // without a picture.
    const std::wstring picture = m_platform.shell.ProgramFilesX86Folder().value_or(L"") + kPictureInProgramFiles;
    hr = SetImageSrc(picture, *document);
    if (Failed(hr)) return hr;
    const std::wstring values[2] = {title, text};
    return SetTextValues(values, 2, *document);
}

HRESULT DesktopToast::SetImageSrc(const std::wstring& imagePath, Arvek::Ports::IToastDocument& document) {
    Arvek::Shared::CArvekLogTrace trace(kSetImageSrc);
    const std::wstring url = L"file:///" + imagePath;
    if (url.size() >= kMaxPath) return kInsufficientBuffer;
    return document.AppendText(L"image", 0, L"src", url);
}

HRESULT DesktopToast::SetTextValues(const std::wstring* values, std::uint32_t count,
                                    Arvek::Ports::IToastDocument& document) {
    Arvek::Shared::CArvekLogTrace trace(kSetTextValues);
    if (values == nullptr || count < 2) return Arvek::kE_INVALIDARG;
    std::uint32_t elements = 0;
    HRESULT hr = document.CountElements(L"text", elements);
    if (Failed(hr)) return hr;
    if (elements < 2) return Arvek::kE_INVALIDARG;
    hr = document.AppendText(L"text", 0, L"", values[0]);
    if (Failed(hr)) return hr;
    return document.AppendText(L"text", 1, L"", values[1]);
}

HRESULT DesktopToast::CreateToast(Arvek::Ports::IToastManager& manager, Arvek::Ports::IToastDocument& document) {
    Arvek::Shared::CArvekLogTrace trace(kCreateToast);
    std::unique_ptr<Arvek::Ports::IToastNotifier> notifier;
    HRESULT hr = manager.CreateNotifier(kAppUserModelId, notifier);
    if (Failed(hr)) return hr;
    if (!notifier) return Arvek::kE_POINTER;
    std::unique_ptr<Arvek::Ports::IToastNotification> notification;
    hr = m_platform.toasts.CreateNotification(document, notification);
    if (Failed(hr)) return hr;
    if (!notification) return Arvek::kE_POINTER;

    // The notification keeps the handler for as long as it lives; the
    // subscriptions are never taken back.
    const auto handler = std::make_shared<ToastEventHandler>(m_platform, m_statusWindow);
    const struct {
        Arvek::Ports::ToastEvent event;
        const wchar_t* logged;
    } subscriptions[] = {
        {Arvek::Ports::ToastEvent::Activated, L"Toast Notifier/Event Handler Activated"},
        {Arvek::Ports::ToastEvent::Dismissed, L"Toast Notifier/Event Handler Dismissed"},
        {Arvek::Ports::ToastEvent::Failed, L"Toast Notifier/Event Handler Failed"},
    };
    for (const auto& subscription : subscriptions) {
        hr = notification->Subscribe(subscription.event, handler);
        if (Failed(hr)) return hr;
        GetLog().LogText(Verbose, kCreateToast, subscription.logged);
    }
    hr = notifier->Show(*notification);
    if (Failed(hr)) return hr;
    GetLog().LogText(Verbose, kCreateToast, L"Toast Notifier Shown");
    return hr;
}

}  // namespace Notifications::Tidewatch
