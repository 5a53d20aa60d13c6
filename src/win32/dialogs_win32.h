// The agent's notification dialogs on the Windows dialog manager: the
// templates 102 and 142 of the program's module run modally with their
// procedures, which hand what happens to the core's handler and draw the
// link line; the link line is a static control turned into a hyperlink by
// subclassing it and its dialog.
#pragma once

#include <windows.h>

#include "ports/dialogs.h"

namespace Arvek::Win32 {

class Win32Dialogs final : public Ports::IDialogs {
public:
    // Templates and the big icon are read from `module` (the program's
    // instance).
    explicit Win32Dialogs(HINSTANCE module) : m_module(module) {}

    // Template 102 runs with NotificationDialogProc, 142 with
    // VelashadeDialogProc; any other has no procedure here and gives -1.
    std::intptr_t ShowModal(std::uint32_t templateId, Ports::IDialogHandler& handler) override;
    int ShowMessageBox(const std::wstring& text, const std::wstring& caption) override;

private:
    HINSTANCE m_module;
};

// The procedures, named as the dialog manager knows them. Each runs behind
// the exception barrier. A dialog procedure expects DialogBoxParamW's
// parameter to be the adapter's own dialog state (Win32Dialogs::ShowModal
// makes it); without one, WM_INITDIALOG does nothing and answers TRUE.
INT_PTR CALLBACK NotificationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK VelashadeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Turns a static control into a link: SS_NOTIFY, HyperlinkProc on the
// control and HyperlinkParentProc on its parent (once per parent), the
// control's font and an underlined copy of it kept in the control's
// properties. Always TRUE.
BOOL ConvertStaticToHyperlink(HWND control);
LRESULT CALLBACK HyperlinkProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK HyperlinkParentProc(HWND parent, UINT message, WPARAM wParam, LPARAM lParam);

// The properties a converted control (and, for the previous procedure, its
// parent) carries.
inline constexpr wchar_t kHyperlinkOriginalProc[] = L"_Hyperlink_Original_Proc_";
inline constexpr wchar_t kHyperlinkOriginalFont[] = L"_Hyperlink_Original_Font_";
inline constexpr wchar_t kHyperlinkUnderlineFont[] = L"_Hyperlink_Underline_Font_";
inline constexpr wchar_t kHyperlinkFromStatic[] = L"_Hyperlink_From_Static_";

// The link line's text colour, RGB(0, 0, 192).
inline constexpr COLORREF kHyperlinkColour = RGB(0, 0, 192);

}  // namespace Arvek::Win32
