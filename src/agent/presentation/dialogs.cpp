#include "agent/presentation/dialogs.h"

#include <atomic>

#include "shared/exception_barrier.h"
#include "shared/log.h"

namespace Notifications::Tidewatch {

using Arvek::Ports::SystemIcon;
namespace Ports = Arvek::Ports;

namespace {

constexpr char kNotificationDialogProc[] = "Notifications::Tidewatch::NotificationDialogProc";
constexpr char kVelashadeDialogProc[] = "Notifications::Tidewatch::VelashadeDialogProc";
constexpr char kHyperlinkProc[] = "Notifications::Tidewatch::HyperlinkProc";

constexpr std::uint32_t kIdLinkText = 553;      // the link line's text, a support address
constexpr std::uint32_t kIdDoNotShowAgain = 556;
constexpr std::size_t kLongTextCapacity = 2048;  // UTF-16 units
constexpr std::size_t kMaxPath = 260;
constexpr wchar_t kMarkerFile[] = L"IgnoreVelashadeDialog.txt";

std::atomic<int> g_linkSelector{-1};

}  // namespace

DialogLook LookOf(std::int32_t type) {
    switch (type) {
    case 0: return {SystemIcon::Information, LinkLine::Hyperlink, 0};
    case 1: return {SystemIcon::Warning, LinkLine::Hyperlink, 1};
    case 2: return {SystemIcon::Warning, LinkLine::Hyperlink, 2};
    case 3: return {SystemIcon::Error, LinkLine::Emptied, std::nullopt};
    case 4: return {SystemIcon::Information, LinkLine::Emptied, std::nullopt};
    case 5: return {SystemIcon::Warning, LinkLine::Hyperlink, std::nullopt};
    default: return {SystemIcon::Information, LinkLine::AsInResource, std::nullopt};
    }
}

std::optional<std::uint32_t> LinkTextOf(int selector) {
    switch (selector) {
    case 0: return 530;
    case 1: return 531;
    case 2: return 508;
    default: return std::nullopt;
    }
}

int LinkSelector() { return g_linkSelector.load(); }
void SetLinkSelector(int selector) { g_linkSelector.store(selector); }

std::wstring VelashadeMarkerPath(Ports::IFileSystem& files) {
    const std::wstring folder = files.TempPath();
    if (folder.empty() || folder.size() >= kMaxPath) return {};
    std::wstring path = folder + kMarkerFile;
    if (path.size() >= kMaxPath) return {};
    return path;
}

// --- the notification dialog ---------------------------------------------------

void CNotificationDialog::Initialise(Ports::IDialogWindow& dialog, const char* function) {
    Arvek::Shared::CArvekLogTrace trace(function, L"type = %d", m_param.type);
    const DialogLook look = LookOf(m_param.type);
    switch (look.link) {
    case LinkLine::Hyperlink:
        dialog.MakeHyperlink(Ports::kDialogLinkControl, m_platform.resources.LoadText(kIdLinkText, kLongTextCapacity));
        break;
    case LinkLine::Emptied:
        dialog.SetControlText(Ports::kDialogLinkControl, L"");
        break;
    case LinkLine::AsInResource:
        break;
    }
    if (look.selector) SetLinkSelector(*look.selector);
    dialog.SetBigIcon(kDialogBigIcon);
    dialog.SetControlIcon(Ports::kDialogIconControl, look.icon);
    dialog.SetControlText(Ports::kDialogTextControl, m_param.text);
    dialog.BringToForeground();
}

void CNotificationDialog::OnInit(Ports::IDialogWindow& dialog) noexcept {
    Arvek::Shared::CallWithoutThrowing(kNotificationDialogProc, [&] { Initialise(dialog, kNotificationDialogProc); });
}

void CNotificationDialog::OnCommand(Ports::IDialogWindow& dialog, int control) noexcept {
    // The message's own notifications (it took the focus, it scrolled) are
    // not an answer: a click into a long message to scroll it, or a Tab to
    // it, would otherwise close the dialog before it was read.
    if (control == Ports::kDialogTextControl) return;
    dialog.End(0);
}

void CNotificationDialog::OnClose(Ports::IDialogWindow& dialog) noexcept { dialog.End(0); }

void CNotificationDialog::OnLinkPressed(Ports::IDialogWindow&) noexcept {
    Arvek::Shared::CallWithoutThrowing(kHyperlinkProc, [&] {
        // The selector of the last dialog of type 0, 1 or 2; a type 5
        // dialog shows what that one chose, or nothing before any.
        const auto text = LinkTextOf(LinkSelector());
        if (!text) return;
        m_platform.dialogs.ShowMessageBox(m_platform.resources.LoadText(*text, kLongTextCapacity), L"");
    });
}

// --- the privacy-screen dialog -------------------------------------------------

void CVelashadeDialog::OnInit(Ports::IDialogWindow& dialog) noexcept {
    Arvek::Shared::CallWithoutThrowing(kVelashadeDialogProc, [&] {
        Initialise(dialog, kVelashadeDialogProc);
        dialog.SetControlText(Ports::kDialogCheckBox,
                              m_platform.resources.LoadText(kIdDoNotShowAgain, kLongTextCapacity));
    });
}

void CVelashadeDialog::OnCommand(Ports::IDialogWindow& dialog, int control) noexcept {
    Arvek::Shared::CallWithoutThrowing(kVelashadeDialogProc, [&] { UpdateMarkerFile(dialog); });
    if (control == Ports::kIDOK) dialog.End(0);
}

void CVelashadeDialog::OnClose(Ports::IDialogWindow& dialog) noexcept {
    Arvek::Shared::CallWithoutThrowing(kVelashadeDialogProc, [&] { UpdateMarkerFile(dialog); });
    dialog.End(0);
}

void CVelashadeDialog::UpdateMarkerFile(Ports::IDialogWindow& dialog) {
    const std::wstring path = VelashadeMarkerPath(m_platform.files);
    if (path.empty()) return;  // no temporary folder: nothing to remember it in
    if (dialog.IsChecked(Ports::kDialogCheckBox)) {
        // A file that cannot be written leaves the dialog to be shown again.
        if (!m_platform.files.WriteBinaryFile(path, {'t', 'r', 'u', 'e'}))
            Arvek::Shared::GetLog().Log(Arvek::Shared::Information, kVelashadeDialogProc,
                                        L"The marker file cannot be written: %s", path);
    } else if (m_platform.files.GetFileInfo(path)) {
        m_platform.files.RemoveFile(path);
    }
}

}  // namespace Notifications::Tidewatch
