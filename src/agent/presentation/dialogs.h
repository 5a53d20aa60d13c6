// The agent's two notification dialogs: the notification dialog (template
// 102), a message with a system icon and, for some types, a link line that
// opens a longer explanation in a message box; and the privacy-screen
// (Velashade) dialog (template 142), a message with a "Do not display this
// message again." box whose state lives in a marker file. What they decide
// is here, pure where it can be; the dialogs port draws them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ports/dialogs.h"
#include "ports/platform.h"

namespace Notifications::Tidewatch {

inline constexpr std::uint32_t kNotificationDialog = 102;
inline constexpr std::uint32_t kVelashadeDialog = 142;
// The dialogs' big icon: the program's icon resource.
inline constexpr std::uint32_t kDialogBigIcon = 136;

// What the firmware event's processing hands the dialog.
struct NotificationDialogParam {
    std::wstring text;
    std::int32_t type = 0;
};

enum class LinkLine { Hyperlink, Emptied, AsInResource };

// What a dialog of a type looks like: its icon, its link line, and the link
// selector it sets (none: the selector stays as it is).
struct DialogLook {
    Arvek::Ports::SystemIcon icon;
    LinkLine link;
    std::optional<int> selector;
};
DialogLook LookOf(std::int32_t type);

// The text id a click on the link shows for a selector: 530, 531 or 508 for
// 0, 1 and 2; none for any other.
std::optional<std::uint32_t> LinkTextOf(int selector);

// The process-wide link selector: -1 until a dialog of type 0, 1 or 2 is
// initialised; the last one decides. Dialogs on several threads write it.
int LinkSelector();
void SetLinkSelector(int selector);

// The marker file: the temporary folder's path followed by
// "IgnoreVelashadeDialog.txt"; empty when the folder cannot be had or the
// path would not fit in 260 characters.
std::wstring VelashadeMarkerPath(Arvek::Ports::IFileSystem& files);

// The notification dialog (template 102).
class CNotificationDialog : public Arvek::Ports::IDialogHandler {
public:
    CNotificationDialog(Arvek::Ports::Platform& platform, NotificationDialogParam param)
        : m_platform(platform), m_param(std::move(param)) {}

    void OnInit(Arvek::Ports::IDialogWindow& dialog) noexcept override;
    // Every command ends the dialog, the link's click among them.
    void OnCommand(Arvek::Ports::IDialogWindow& dialog, int control) noexcept override;
    void OnClose(Arvek::Ports::IDialogWindow& dialog) noexcept override;
    // Shows the selected explanation in a message box.
    void OnLinkPressed(Arvek::Ports::IDialogWindow& dialog) noexcept override;

protected:
    // The type's icon, link line and selector, the big icon, the text.
    void Initialise(Arvek::Ports::IDialogWindow& dialog, const char* function);

    Arvek::Ports::Platform& m_platform;
    NotificationDialogParam m_param;
};

// The privacy-screen dialog (template 142).
class CVelashadeDialog final : public CNotificationDialog {
public:
    using CNotificationDialog::CNotificationDialog;

    void OnInit(Arvek::Ports::IDialogWindow& dialog) noexcept override;
    // Every command updates the marker file; OK also ends the dialog (a
    // click on the box or Escape does not).
    void OnCommand(Arvek::Ports::IDialogWindow& dialog, int control) noexcept override;
    // The close button: the marker file, then the end.
    void OnClose(Arvek::Ports::IDialogWindow& dialog) noexcept override;

private:
    // A ticked box writes the marker file with "true"; an unticked one
    // deletes it when it is there.
    void UpdateMarkerFile(Arvek::Ports::IDialogWindow& dialog);
};

}  // namespace Notifications::Tidewatch
