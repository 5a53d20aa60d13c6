// dialog-host.exe: shows one of the agent's notification dialogs as a
// firmware event would, through the agent's own dialog handlers and the
// Windows adapter, so that a test in another process can look at it and
// press it. It carries Tidewatch.exe's resource script: the same templates,
// icon, manifest and strings.
//
//   dialog-host.exe TEMPLATE TYPE TEXT-ID   TEMPLATE 102 (the notification
//                                           dialog) or 142 (the privacy-
//                                           screen dialog), the dialog type
//                                           and the string of its message;
//                                           exit 0 when the dialog ended with
//                                           0, 3 when it could not be shown
//   dialog-host.exe version                 exit 0 when the version checks see
//                                           Windows 10 or later, else 1
// Exit 2 for a wrong command line.
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <optional>

#include "agent/presentation/dialogs.h"
#include "win32/platform_win32.h"

namespace {

namespace Tidewatch = Notifications::Tidewatch;

constexpr std::size_t kTextCapacity = 1024;  // UTF-16 units, as the firmware events load theirs

std::optional<unsigned long> Number(const wchar_t* text) {
    if (text == nullptr || !std::iswdigit(text[0])) return std::nullopt;
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text, &end, 10);
    if (*end != L'\0') return std::nullopt;
    return value;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Arvek::Win32::Win32Platform& platform = Arvek::Win32::MakeProcessPlatform(::GetModuleHandleW(nullptr));
    if (argc == 2 && std::wcscmp(argv[1], L"version") == 0) return platform.process.VersionIsAtLeast(10, 0, 0) ? 0 : 1;
    if (argc != 4) return 2;
    const auto templateId = Number(argv[1]);
    const auto type = Number(argv[2]);
    const auto textId = Number(argv[3]);
    if (!templateId || !type || !textId) return 2;

    Tidewatch::NotificationDialogParam param{
        platform.resources.LoadText(static_cast<std::uint32_t>(*textId), kTextCapacity),
        static_cast<std::int32_t>(*type)};
    std::intptr_t result = -1;
    if (*templateId == Tidewatch::kNotificationDialog) {
        Tidewatch::CNotificationDialog dialog(platform, std::move(param));
        result = platform.dialogs.ShowModal(Tidewatch::kNotificationDialog, dialog);
    } else if (*templateId == Tidewatch::kVelashadeDialog) {
        Tidewatch::CVelashadeDialog dialog(platform, std::move(param));
        result = platform.dialogs.ShowModal(Tidewatch::kVelashadeDialog, dialog);
    } else {
        return 2;
    }
    if (result == -1) return 3;
    return static_cast<int>(result);
}
