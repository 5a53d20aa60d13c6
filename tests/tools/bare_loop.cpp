// bare-loop.exe: the least a windowed background program does, for the idle
// measurement (scripts/measure-idle.sh) to set the agent beside: one hidden
// top-level window of the class "ARVEK_BARE_LOOP" and a GetMessageW loop,
// nothing else. Built like Tidewatch.exe (64-bit GUI program, wWinMain,
// -municode, statically linked), without resources or a manifest. WM_CLOSE
// ends it with 0.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*show*/) {
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"ARVEK_BARE_LOOP";
    if (!::RegisterClassW(&windowClass)) return 1;
    const HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"bare loop", WS_OVERLAPPEDWINDOW,
                                          CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ::ShowWindow(window, SW_HIDE);
    ::UpdateWindow(window);
    MSG message;
    BOOL got;
    while ((got = ::GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got < 0) return 1;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
