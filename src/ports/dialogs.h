// Dialogs: the agent's modal dialogs (templates of its own resources), the
// controls the program sets in them, and message boxes. The dialog's
// behaviour is the core's (IDialogHandler, agent/presentation/dialogs.h);
// the port draws it and hands it what the user does.
//
// Implementations: win32/dialogs_win32 (DialogBoxParamW with the agent's
// dialog procedures, the link line a static control turned hyperlink,
// MessageBoxW), sim/os/sim_dialogs (dialogs and message boxes written to the
// transcript and answered from the timeline).
//
// A modal dialog or message box runs a message loop of its own on the
// calling thread and returns when it ends; while it is open, the thread's
// other windows get their messages and, on the main thread, WMI keeps
// delivering events, so a dialog may open inside another.
//
// Nothing here throws but std::bad_alloc. The handler's methods must not
// throw: the dialog manager calls them.
#pragma once

#include <cstdint>
#include <string>

namespace Arvek::Ports {

// Control ids of the agent's two dialogs.
constexpr int kIDOK = 1;
constexpr int kIDCANCEL = 2;
constexpr int kDialogIconControl = 135;
constexpr int kDialogTextControl = 139;
constexpr int kDialogLinkControl = 140;
constexpr int kDialogCheckBox = 141;

enum class SystemIcon { Information, Warning, Error };

// A dialog on the screen, as its handler changes it.
class IDialogWindow {
public:
    virtual ~IDialogWindow() = default;
    // WM_SETTEXT to a control of the dialog.
    virtual void SetControlText(int control, const std::wstring& text) = 0;
    // STM_SETICON: a shared system icon into an icon control.
    virtual void SetControlIcon(int control, SystemIcon icon) = 0;
    // WM_SETICON ICON_BIG with the program's icon resource `resourceId`.
    virtual void SetBigIcon(std::uint32_t resourceId) = 0;
    // Turns a static control into the link line, showing `text`.
    virtual void MakeHyperlink(int control, const std::wstring& text) = 0;
    // Whether a check box is ticked.
    virtual bool IsChecked(int control) = 0;
    // SetForegroundWindow.
    virtual void BringToForeground() = 0;
    // EndDialog with `result`.
    virtual void End(std::intptr_t result) = 0;
};

// The program's side of one dialog; called on the thread that shows it.
class IDialogHandler {
public:
    virtual ~IDialogHandler() = default;
    // WM_INITDIALOG.
    virtual void OnInit(IDialogWindow& dialog) noexcept = 0;
    // WM_COMMAND, by control id (IDOK, IDCANCEL for Escape, the link line's
    // click, the check box's).
    virtual void OnCommand(IDialogWindow& dialog, int control) noexcept = 0;
    // WM_CLOSE (the window's close button).
    virtual void OnClose(IDialogWindow& dialog) noexcept = 0;
    // The mouse went down on the link line, before its click is reported.
    virtual void OnLinkPressed(IDialogWindow& dialog) noexcept = 0;
};

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // DialogBoxParamW of the program's dialog `templateId`, no owner, its
    // messages handed to `handler`: the result it ended with, or -1 when it
    // could not be shown.
    virtual std::intptr_t ShowModal(std::uint32_t templateId, IDialogHandler& handler) = 0;
    // MessageBoxW without owner, with an OK button: IDOK, or 0 when it could
    // not be shown.
    virtual int ShowMessageBox(const std::wstring& text, const std::wstring& caption) = 0;
};

}  // namespace Arvek::Ports
