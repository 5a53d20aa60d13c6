// window-tool.exe: looks for a top-level window by class from outside its
// program, as another program of the session would.
//
//   window-tool.exe find CLASS    exit 0 when such a window exists, else 1
//   window-tool.exe close CLASS   posts WM_CLOSE to it: exit 0 when posted,
//                                 1 without such a window, 3 when posting fails
// Exit 2 for a wrong command line.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const bool close = std::wcscmp(argv[1], L"close") == 0;
    if (!close && std::wcscmp(argv[1], L"find") != 0) return 2;
    const HWND window = ::FindWindowW(argv[2], nullptr);
    if (!window) return 1;
    if (!close) return 0;
    return ::PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 3;
}
