// Portolan.exe: the port configuration viewer. One copy at a time; a second
// start brings the first copy's window to the front and ends.
//
// The dialog runs on the plain Windows dialog manager, so the application
// framework's restart-manager support, shell manager and settings key have
// nothing to attach to and are left out.
#include <windows.h>

#include <commctrl.h>

#include "win32/handles.h"
#include "win32/platform_win32.h"
#include "win32/portolan_dialog.h"

namespace {

constexpr wchar_t kSingleInstanceName[] = L"USB_TYPE_C_SINGLE_INSTANCE_314";

void ActivateFirstCopy() {
    HWND first = ::FindWindowW(kSingleInstanceName, nullptr);
    if (first != nullptr) {
        ::SetForegroundWindow(::GetLastActivePopup(first));
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPWSTR /*lpCmdLine*/, int /*nCmdShow*/) {
    // Held until the dialog closes; a mutex that cannot be made counts as
    // no other copy running.
    const Arvek::Win32::UniqueKernelHandle mutex(::CreateMutexW(nullptr, TRUE, kSingleInstanceName));
    if (mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ActivateFirstCopy();
        return 0;
    }

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefDlgProcW;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = hInstance;
    windowClass.lpszClassName = kSingleInstanceName;
    ::RegisterClassW(&windowClass);

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = 0xFF;
    ::InitCommonControlsEx(&controls);

    // The process log keeps the platform until the process ends.
    Arvek::Win32::Win32Platform& platform = Arvek::Win32::MakeProcessPlatform(hInstance);
    Portolan::CPortolanDlg dialog(platform, hInstance);
    dialog.DoModal();
    return 0;
}
