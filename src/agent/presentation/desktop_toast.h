// The agent's desktop toasts: a title and a text beside the notifications'
// picture, shown through the desktop's toast service under the application
// user model id "Arvek Notifications". Clicking any of the agent's toasts
// starts the smart-adapter help program.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/hresult.h"
#include "ports/platform.h"

namespace Notifications::Tidewatch {

// The id of the Start-menu shortcut and of the toast notifier.
inline constexpr wchar_t kAppUserModelId[] = L"Arvek Notifications";
// The help program that a click on a toast starts.
inline constexpr wchar_t kHelpProgram[] = L"C:\\Program Files (x86)\\Arvek\\Arvek Notifications\\Wattsage.exe";

// Receives one toast's events, on the toast service's threads. It holds
// nothing that changes, so it needs no lock.
class ToastEventHandler : public Arvek::Ports::IToastEvents {
public:
    ToastEventHandler(Arvek::Ports::Platform& platform, Arvek::Ports::WindowHandle statusWindow)
        : m_platform(platform), m_statusWindow(statusWindow) {}

    // Starts the help program: E_FAIL when the shell could not.
    Arvek::HRESULT Activated() override;
    // Says why in the status window: E_FAIL when it did not take the text.
    Arvek::HRESULT Dismissed(std::int32_t reason) override;
    Arvek::HRESULT Failed(Arvek::HRESULT error) override;

    // The status text for a ToastDismissalReason.
    static const wchar_t* DismissalText(std::int32_t reason);

private:
    Arvek::HRESULT SetStatus(const std::wstring& text);

    Arvek::Ports::Platform& m_platform;
    Arvek::Ports::WindowHandle m_statusWindow;
};

class DesktopToast {
public:
    // `statusWindow` receives the status texts of the toast's events; the
    // agent has none.
    explicit DesktopToast(Arvek::Ports::Platform& platform, Arvek::Ports::WindowHandle statusWindow = 0)
        : m_platform(platform), m_statusWindow(statusWindow) {}

    // The Start-menu shortcut that lets the desktop show toasts for the agent:
    // S_FALSE when it exists already (nothing is written), E_INVALIDARG when
    // its path does not fit (APPDATA unset or too long), else the result of
    // writing it.
    Arvek::HRESULT TryCreateShortcut();
    Arvek::HRESULT InstallShortcut(const std::wstring& shortcutPath);

    // Shows one toast; the first failing step's HRESULT, E_FAIL when a step
    // raised.
    Arvek::HRESULT DisplayToast(std::wstring title, std::wstring text);

    // APPDATA + "\Microsoft\Windows\Start Menu\Programs\Toaster Message.lnk",
    // or nothing when APPDATA is unset or the path would not fit in 260
    // characters with its terminator.
    static std::optional<std::wstring> ShortcutPath(const std::optional<std::wstring>& appData);

private:
    Arvek::HRESULT CreateToastXml(Arvek::Ports::IToastManager& manager,
                                  std::unique_ptr<Arvek::Ports::IToastDocument>& document, const std::wstring& title,
                                  const std::wstring& text);
    Arvek::HRESULT SetImageSrc(const std::wstring& imagePath, Arvek::Ports::IToastDocument& document);
    Arvek::HRESULT SetTextValues(const std::wstring* values, std::uint32_t count,
                                 Arvek::Ports::IToastDocument& document);
    Arvek::HRESULT CreateToast(Arvek::Ports::IToastManager& manager, Arvek::Ports::IToastDocument& document);

    Arvek::Ports::Platform& m_platform;
    Arvek::Ports::WindowHandle m_statusWindow;
};

}  // namespace Notifications::Tidewatch
