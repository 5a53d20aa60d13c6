// Windows and messages: one window class with a procedure, a hidden
// top-level window, the thread's message loop, and the few user32 calls the
// agent makes on its window.
//
// Implementations: win32/windowing_win32 (user32), sim/os/sim_windowing (a
// message queue fed by the scenario's timeline).
//
// Member names avoid the user32 names that windows.h turns into macros
// (CreateWindow, GetMessage, PostMessage, ...).
//
// Nothing here throws but std::bad_alloc when memory runs out. A window
// procedure must not throw: on Windows the thunk stops what it throws at the
// boundary (shared/exception_barrier.h), and Dispatch passes on nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ports/guid.h"

namespace Arvek::Ports {

using WindowHandle = std::uintptr_t;         // HWND; 0 is none
using DeviceNotifyHandle = std::uintptr_t;   // HDEVNOTIFY; 0 is none
using EventHandle = std::uintptr_t;          // an event object's HANDLE; 0 is none

// Message numbers the core handles.
constexpr std::uint32_t kWM_CREATE = 0x0001;
constexpr std::uint32_t kWM_DESTROY = 0x0002;
constexpr std::uint32_t kWM_CLOSE = 0x0010;
constexpr std::uint32_t kWM_QUIT = 0x0012;
constexpr std::uint32_t kWM_COMMAND = 0x0111;
constexpr std::uint32_t kWM_POWERBROADCAST = 0x0218;
constexpr std::uint32_t kWM_DEVICECHANGE = 0x0219;
constexpr std::uint32_t kWM_WTSSESSION_CHANGE = 0x02B1;
constexpr std::uint32_t kWM_DWMNCRENDERINGCHANGED = 0x031F;
constexpr std::uint32_t kWM_USER = 0x0400;
constexpr std::uint32_t kWM_APP = 0x8000;

// WM_POWERBROADCAST's events and WM_WTSSESSION_CHANGE's codes.
constexpr std::uintptr_t kPBT_APMSUSPEND = 4;
constexpr std::uintptr_t kPBT_APMRESUMESUSPEND = 7;
constexpr std::uintptr_t kPBT_APMRESUMEAUTOMATIC = 18;
constexpr std::uintptr_t kWTS_SESSION_LOGON = 5;
constexpr std::uintptr_t kWTS_SESSION_LOGOFF = 6;
constexpr std::uintptr_t kWTS_SESSION_LOCK = 7;
constexpr std::uintptr_t kWTS_SESSION_UNLOCK = 8;

// Window and class styles, show commands.
constexpr std::uint32_t kCS_VREDRAW = 0x0001;
constexpr std::uint32_t kCS_HREDRAW = 0x0002;
constexpr std::uint32_t kWS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr std::int32_t kCW_USEDEFAULT = static_cast<std::int32_t>(0x80000000u);
constexpr int kSW_HIDE = 0;
constexpr int kCOLOR_WINDOW = 5;
constexpr std::uint32_t kNOTIFY_FOR_THIS_SESSION = 0;

struct Message {
    WindowHandle hwnd = 0;
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

using WindowProcedure =
    std::function<std::intptr_t(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t)>;

struct WindowClass {
    std::wstring className;
    std::uint32_t style = 0;
    WindowProcedure procedure;
    bool arrowCursor = true;
    int backgroundSysColorPlusOne = 0;  // COLOR_WINDOW + 1, as the class brush
};

class IWindowing {
public:
    virtual ~IWindowing() = default;

    virtual bool RegisterWindowClass(const WindowClass& windowClass) = 0;
    // CreateWindowExW; the procedure receives WM_CREATE before this returns.
    virtual WindowHandle CreateMainWindow(std::uint32_t exStyle, const std::wstring& className,
                                      const std::wstring& title, std::uint32_t style) = 0;
    virtual bool RegisterSessionNotification(WindowHandle window, std::uint32_t flags) = 0;
    virtual void ShowWindow(WindowHandle window, int command) = 0;
    virtual void UpdateWindow(WindowHandle window) = 0;
    virtual bool DestroyWindow(WindowHandle window) = 0;

    // GetMessageW for every window of the thread: 1 with a message, 0 on
    // WM_QUIT, -1 on error.
    virtual int GetNextMessage(Message& message) = 0;
    virtual void Translate(const Message& message) = 0;
    virtual std::intptr_t Dispatch(const Message& message) = 0;
    virtual bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;
    virtual void PostQuit(int exitCode) = 0;
    virtual std::intptr_t DefaultProcedure(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam) = 0;
    // SendMessageW(WM_SETTEXT): whether the window took the text (false for
    // no window).
    virtual bool SetText(WindowHandle window, const std::wstring& text) = 0;

    // RegisterDeviceNotificationW(window, a device-interface filter of 32
    // bytes for the class, DEVICE_NOTIFY_WINDOW_HANDLE): the handle, or 0.
    virtual DeviceNotifyHandle RegisterDeviceInterfaceNotification(WindowHandle window, const Guid& interfaceClass) = 0;
    virtual bool UnregisterDeviceNotification(DeviceNotifyHandle handle) = 0;
    virtual bool SetForegroundWindow(WindowHandle window) = 0;
    virtual bool SetEvent(EventHandle event) = 0;
};

}  // namespace Arvek::Ports
