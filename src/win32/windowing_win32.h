// Windows and messages with user32: the core's window procedure is a
// std::function, reached from one static window procedure of the adapter
// through a table from class atom to procedure.
#pragma once

#include <windows.h>

#include <vector>

#include "ports/windowing.h"

namespace Arvek::Win32 {

class Win32Windowing final : public Ports::IWindowing {
public:
    // Classes and windows are made on `module` (the program's instance).
    explicit Win32Windowing(HINSTANCE module) : m_module(module) {}
    // Unregisters the classes registered here. A window of such a class that
    // still exists falls back to DefWindowProcW from then on.
    ~Win32Windowing() override;
    Win32Windowing(const Win32Windowing&) = delete;
    Win32Windowing& operator=(const Win32Windowing&) = delete;

    bool RegisterWindowClass(const Ports::WindowClass& windowClass) override;
    Ports::WindowHandle CreateMainWindow(std::uint32_t exStyle, const std::wstring& className,
                                         const std::wstring& title, std::uint32_t style) override;
    bool RegisterSessionNotification(Ports::WindowHandle window, std::uint32_t flags) override;
    void ShowWindow(Ports::WindowHandle window, int command) override;
    void UpdateWindow(Ports::WindowHandle window) override;
    bool DestroyWindow(Ports::WindowHandle window) override;

    int GetNextMessage(Ports::Message& message) override;
    void Translate(const Ports::Message& message) override;
    std::intptr_t Dispatch(const Ports::Message& message) override;
    bool Post(Ports::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
              std::intptr_t lParam) override;
    void PostQuit(int exitCode) override;
    std::intptr_t DefaultProcedure(Ports::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam) override;
    bool SetText(Ports::WindowHandle window, const std::wstring& text) override;

    Ports::DeviceNotifyHandle RegisterDeviceInterfaceNotification(Ports::WindowHandle window,
                                                                  const Ports::Guid& interfaceClass) override;
    bool UnregisterDeviceNotification(Ports::DeviceNotifyHandle handle) override;
    bool SetForegroundWindow(Ports::WindowHandle window) override;
    bool SetEvent(Ports::EventHandle event) override;

private:
    HINSTANCE m_module;
    std::vector<ATOM> m_classes;
};

}  // namespace Arvek::Win32
