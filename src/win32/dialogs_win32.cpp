#include "win32/dialogs_win32.h"

#include <windowsx.h>

#include "agent/presentation/dialogs.h"
#include "shared/log.h"
#include "win32/callback_barrier.h"

namespace Arvek::Win32 {
namespace {

constexpr char kShowModal[] = "Arvek::Win32::Win32Dialogs::ShowModal";
constexpr char kNotificationDialogProc[] = "Arvek::Win32::NotificationDialogProc";
constexpr char kVelashadeDialogProc[] = "Arvek::Win32::VelashadeDialogProc";
constexpr char kHyperlinkProc[] = "Arvek::Win32::HyperlinkProc";
constexpr char kHyperlinkParentProc[] = "Arvek::Win32::HyperlinkParentProc";

LPCWSTR SystemIconId(Ports::SystemIcon icon) {
    switch (icon) {
    case Ports::SystemIcon::Warning: return IDI_WARNING;
    case Ports::SystemIcon::Error: return IDI_ERROR;
    case Ports::SystemIcon::Information: break;
    }
    return IDI_INFORMATION;
}

// The open dialog as its handler changes it.
class Win32DialogWindow final : public Ports::IDialogWindow {
public:
    explicit Win32DialogWindow(HINSTANCE module) : m_module(module) {}
    void Attach(HWND dialog) { m_dialog = dialog; }

    void SetControlText(int control, const std::wstring& text) override {
        ::SetDlgItemTextW(m_dialog, control, text.c_str());
    }
    void SetControlIcon(int control, Ports::SystemIcon icon) override {
        // A shared system icon: nothing to destroy later. One that cannot be
        // loaded leaves the control empty.
        HICON handle = ::LoadIconW(nullptr, SystemIconId(icon));
        ::SendDlgItemMessageW(m_dialog, control, STM_SETICON, reinterpret_cast<WPARAM>(handle), 0);
    }
    void SetBigIcon(std::uint32_t resourceId) override {
        HICON handle = ::LoadIconW(m_module, MAKEINTRESOURCEW(resourceId));
        ::SendMessageW(m_dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(handle));
    }
    void MakeHyperlink(int control, const std::wstring& text) override {
        HWND handle = ::GetDlgItem(m_dialog, control);
        if (handle == nullptr) return;
        ConvertStaticToHyperlink(handle);
        ::SetWindowTextW(handle, text.c_str());
    }
    bool IsChecked(int control) override { return ::IsDlgButtonChecked(m_dialog, control) == BST_CHECKED; }
    void BringToForeground() override { ::SetForegroundWindow(m_dialog); }
    void End(std::intptr_t result) override { ::EndDialog(m_dialog, result); }

private:
    HINSTANCE m_module;
    HWND m_dialog = nullptr;
};

// One modal dialog's state while it is open: its handler and the window the
// handler sees. It lives on ShowModal's stack, which outlasts the dialog:
// DialogBoxParamW destroys the dialog before it returns.
struct DialogState {
    Ports::IDialogHandler& handler;
    Win32DialogWindow window;
};

// The state of a dialog that runs one of this adapter's procedures, or null
// for any other window.
DialogState* StateOf(HWND dialog) {
    const auto procedure = reinterpret_cast<DLGPROC>(::GetWindowLongPtrW(dialog, DWLP_DLGPROC));
    if (procedure != &NotificationDialogProc && procedure != &VelashadeDialogProc) return nullptr;
    return reinterpret_cast<DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
}

// Both dialogs' procedure: the two differ in their handlers, not here.
INT_PTR DialogProcedure(const char* name, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallDialogProcedure(name, [&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            auto* state = reinterpret_cast<DialogState*>(lParam);
            if (state == nullptr) return TRUE;
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            state->window.Attach(dialog);
            state->handler.OnInit(state->window);
            return TRUE;
        }
        DialogState* state = StateOf(dialog);
        switch (message) {
        case WM_CTLCOLORSTATIC: {
            if (::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) != Ports::kDialogLinkControl) return FALSE;
            const auto dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, kHyperlinkColour);
            ::SetBkMode(dc, TRANSPARENT);
            // A system colour brush: the system owns it.
            return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_COMMAND:
            // Without a handler (a dialog shown without the adapter's state)
            // a command or the close button still ends it.
            if (state == nullptr) {
                ::EndDialog(dialog, 0);
                return TRUE;
            }
            state->handler.OnCommand(state->window, LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            if (state == nullptr) {
                ::EndDialog(dialog, 0);
                return TRUE;
            }
            state->handler.OnClose(state->window);
            return TRUE;
        default:
            return FALSE;
        }
    });
}

// --- the link line ---------------------------------------------------------------

WNDPROC PreviousProcedure(HWND window) {
    return reinterpret_cast<WNDPROC>(::GetPropW(window, kHyperlinkOriginalProc));
}

LRESULT CallPrevious(WNDPROC previous, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (previous == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return ::CallWindowProcW(previous, window, message, wParam, lParam);
}

// Shows the link in the font kept under `property` and repaints it.
void ShowFont(HWND control, const wchar_t* property) {
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(::GetPropW(control, property)), FALSE);
    ::InvalidateRect(control, nullptr, TRUE);
    ::UpdateWindow(control);
}

// Underlined while the pointer is over the link: the capture tells when it
// leaves.
void OnMouseMove(HWND control, LPARAM lParam) {
    if (::GetCapture() != control) {
        ShowFont(control, kHyperlinkUnderlineFont);
        ::SetCapture(control);
        return;
    }
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(control, &point);
    RECT bounds{};
    ::GetWindowRect(control, &bounds);
    if (::PtInRect(&bounds, point)) return;
    ShowFont(control, kHyperlinkOriginalFont);
    ::ReleaseCapture();
}

void OnLinkPressed(HWND control) {
    // The capture goes first: the message box the handler may show belongs
    // to this thread, and while the link held the capture every click on
    // that box would reach the link instead.
    if (::GetCapture() == control) ::ReleaseCapture();
    DialogState* state = StateOf(::GetParent(control));
    if (state != nullptr) state->handler.OnLinkPressed(state->window);
}

// A procedure the conversion installs: `body(previous, passOn)` answers the
// message, passOn() hands it to the procedure the window had before; that
// one answers, too, when the body throws.
template <class Body>
LRESULT SubclassedProcedure(const char* name, HWND window, UINT message, WPARAM wParam, LPARAM lParam, Body&& body) {
    // Read before the body runs: WM_DESTROY removes it.
    const WNDPROC previous = PreviousProcedure(window);
    const auto passOn = [&] { return CallPrevious(previous, window, message, wParam, lParam); };
    return CallWithFallback(name, [&]() -> LRESULT { return body(previous, passOn); }, passOn);
}

// Puts the control back as it was before the conversion.
void RestoreStatic(HWND control) {
    const WNDPROC previous = PreviousProcedure(control);
    const auto original = static_cast<HFONT>(::GetPropW(control, kHyperlinkOriginalFont));
    const auto underlined = static_cast<HFONT>(::GetPropW(control, kHyperlinkUnderlineFont));
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(original), FALSE);
    if (underlined != nullptr) ::DeleteObject(underlined);
    ::RemovePropW(control, kHyperlinkOriginalProc);
    ::RemovePropW(control, kHyperlinkOriginalFont);
    ::RemovePropW(control, kHyperlinkUnderlineFont);
    ::RemovePropW(control, kHyperlinkFromStatic);
    if (previous != nullptr) ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
}

}  // namespace

std::intptr_t Win32Dialogs::ShowModal(std::uint32_t templateId, Ports::IDialogHandler& handler) {
    DLGPROC procedure = nullptr;
    if (templateId == Notifications::Tidewatch::kNotificationDialog) procedure = &NotificationDialogProc;
    if (templateId == Notifications::Tidewatch::kVelashadeDialog) procedure = &VelashadeDialogProc;
    if (procedure == nullptr) {
        Shared::GetLog().Log(Shared::Information, kShowModal, L"No dialog procedure for template %u", templateId);
        return -1;
    }
    DialogState state{handler, Win32DialogWindow(m_module)};
    return ::DialogBoxParamW(m_module, MAKEINTRESOURCEW(templateId), nullptr, procedure,
                             reinterpret_cast<LPARAM>(&state));
}

int Win32Dialogs::ShowMessageBox(const std::wstring& text, const std::wstring& caption) {
    return ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

INT_PTR CALLBACK NotificationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DialogProcedure(kNotificationDialogProc, dialog, message, wParam, lParam);
}

INT_PTR CALLBACK VelashadeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DialogProcedure(kVelashadeDialogProc, dialog, message, wParam, lParam);
}

BOOL ConvertStaticToHyperlink(HWND control) {
    if (HWND parent = ::GetParent(control)) {
        const auto current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(parent, GWLP_WNDPROC));
        if (current != &HyperlinkParentProc) {
            // Kept before the new procedure can see a message.
            ::SetPropW(parent, kHyperlinkOriginalProc, reinterpret_cast<HANDLE>(current));
            ::SetWindowLongPtrW(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HyperlinkParentProc));
        }
    }
    ::SetWindowLongPtrW(control, GWL_STYLE, ::GetWindowLongPtrW(control, GWL_STYLE) | SS_NOTIFY);
    ::SetPropW(control, kHyperlinkOriginalProc, reinterpret_cast<HANDLE>(::GetWindowLongPtrW(control, GWLP_WNDPROC)));
    ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HyperlinkProc));

    // A control without a font of its own draws with the system font.
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    ::SetPropW(control, kHyperlinkOriginalFont, font);
    LOGFONTW description{};
    HGDIOBJ source = font != nullptr ? static_cast<HGDIOBJ>(font) : ::GetStockObject(SYSTEM_FONT);
    if (::GetObjectW(source, sizeof description, &description) == sizeof description) {
        description.lfUnderline = TRUE;
        // Owned by the control: deleted when it is destroyed. None made
        // leaves the link in its own font when hovered.
        ::SetPropW(control, kHyperlinkUnderlineFont, ::CreateFontIndirectW(&description));
    }
    ::SetPropW(control, kHyperlinkFromStatic, reinterpret_cast<HANDLE>(1));
    return TRUE;
}

LRESULT CALLBACK HyperlinkProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    return SubclassedProcedure(kHyperlinkProc, control, message, wParam, lParam, [&](WNDPROC, auto& passOn) -> LRESULT {
        switch (message) {
        case WM_SETCURSOR: {
            HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
            ::SetCursor(hand != nullptr ? hand : ::LoadCursorW(nullptr, IDC_ARROW));
            return TRUE;
        }
        case WM_MOUSEMOVE:
            OnMouseMove(control, lParam);
            break;
        case WM_CAPTURECHANGED:
            // The capture taken away (another window took it, or the link
            // gave it up): the pointer is no longer known to be over the link.
            if (reinterpret_cast<HWND>(lParam) != control) ShowFont(control, kHyperlinkOriginalFont);
            break;
        case WM_LBUTTONDOWN:
            OnLinkPressed(control);
            break;
        case WM_DESTROY:
            RestoreStatic(control);
            break;
        default:
            break;
        }
        return passOn();
    });
}

LRESULT CALLBACK HyperlinkParentProc(HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
    return SubclassedProcedure(
        kHyperlinkParentProc, parent, message, wParam, lParam, [&](WNDPROC previous, auto& passOn) -> LRESULT {
            switch (message) {
            case WM_CTLCOLORSTATIC:
                if (::GetPropW(reinterpret_cast<HWND>(lParam), kHyperlinkFromStatic) != nullptr) {
                    const LRESULT answer = passOn();
                    ::SetTextColor(reinterpret_cast<HDC>(wParam), kHyperlinkColour);
                    return answer;
                }
                break;
            case WM_DESTROY:
                if (previous != nullptr)
                    ::SetWindowLongPtrW(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
                ::RemovePropW(parent, kHyperlinkOriginalProc);
                break;
            default:
                break;
            }
            return passOn();
        });
}

}  // namespace Arvek::Win32
