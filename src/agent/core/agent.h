// The agent's process frame: start-up, the single-instance rule, the hidden
// window, the message loop and the end of the process.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "ports/platform.h"

namespace Notifications::Tidewatch {

using ModuleHandle = std::uintptr_t;  // HINSTANCE

// State the agent's design keeps process-wide; the names are the ones the
// rest of the agent uses. One instance lives for the agent's run.
struct AgentGlobals {
    ModuleHandle g_hInstance = 0;
    Arvek::Ports::WindowHandle g_hWnd = 0;
    Arvek::Ports::DeviceNotifyHandle g_hUsbDeviceNotify = 0;
    Arvek::Ports::DeviceNotifyHandle g_hUsbHubNotify = 0;
    // The ACPI monitor's thread and stop event: the monitor thread makes and
    // closes the event, the window's destruction on the main thread signals
    // it. Under `monitorLock` the event is never closed while it is being
    // signalled, and a monitor that makes its event after the window went
    // (`monitorStopRequested`) stops at once.
    std::atomic<std::uint32_t> g_dwMonitorThreadId{0};
    std::atomic<Arvek::Ports::EventHandle> g_hMonitorStopEvent{0};
    std::mutex monitorLock;
    bool monitorStopRequested = false;
};

// Exit code when the machine's image is still being built.
constexpr int kExitImageStillBuilding = 0;
// Exit code of a second instance in the same session.
constexpr int kExitAlreadyRunning = 1;

class CTidewatchAgent {
public:
    // `serviceStartup` runs on the main thread between the window's creation
    // and the message loop; empty for none.
    CTidewatchAgent(Arvek::Ports::Platform& platform, ModuleHandle instance,
                    std::function<void(CTidewatchAgent&)> serviceStartup = {});

    // wWinMain's body: the process exit code.
    int Run();

    bool InitInstance(ModuleHandle instance);
    std::intptr_t WndProc(Arvek::Ports::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam);

    AgentGlobals& Globals() { return m_globals; }
    Arvek::Ports::Platform& Platform() { return m_platform; }

private:
    Arvek::Ports::Platform& m_platform;
    ModuleHandle m_instance;
    std::function<void(CTidewatchAgent&)> m_serviceStartup;
    AgentGlobals m_globals;
    std::wstring m_title;
    std::wstring m_windowClass;
};

}  // namespace Notifications::Tidewatch
