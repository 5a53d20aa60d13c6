// The agent's process frame: start-up, the single-instance rule, the hidden
// window, the message loop and the end of the process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "agent/core/globals.h"
#include "ports/platform.h"

namespace Notifications::Tidewatch {

// Exit code when the machine's image is still being built.
constexpr int kExitImageStillBuilding = 0;
// Exit code of a second instance in the same session.
constexpr int kExitAlreadyRunning = 1;

class CTidewatchAgent {
public:
    // `globals` must outlive every thread the run starts (globals.h).
    CTidewatchAgent(Arvek::Ports::Platform& platform, AgentGlobals& globals, ModuleHandle instance);
    ~CTidewatchAgent();
    CTidewatchAgent(const CTidewatchAgent&) = delete;
    CTidewatchAgent& operator=(const CTidewatchAgent&) = delete;

    // wWinMain's body: the process exit code.
    int Run();

    bool InitInstance(ModuleHandle instance);
    // Between the window's creation and the message loop, on the main
    // thread: the firmware-event object, the notifications handler, the
    // USB Type-C event route, what was pending before the agent ran, the
    // arrivals of USB devices on older systems, the firmware events and the
    // audit log's first mirroring, in that order.
    void StartServices();
    // After the message loop: the firmware-event object (which ends every
    // subscription), then the notifications handler.
    void EndServices();
    std::intptr_t WndProc(Arvek::Ports::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam);

    AgentGlobals& Globals() { return m_globals; }
    Arvek::Ports::Platform& Platform() { return m_platform; }

private:
    // The window messages that make the agent look again.
    void OnPowerBroadcast(Arvek::Ports::WindowHandle window, std::uintptr_t event);
    void OnSessionChange(std::uintptr_t code);
    void OnDeviceChange(std::uintptr_t event, std::intptr_t record);

    Arvek::Ports::Platform& m_platform;
    ModuleHandle m_instance;
    AgentGlobals& m_globals;
    std::unique_ptr<ArvekWmiEvents::CArvekWmiEvents> m_wmiHandler;
    std::unique_ptr<CNotificationsHandler> m_notificationsHandler;
    std::wstring m_title;
    std::wstring m_windowClass;
};

}  // namespace Notifications::Tidewatch
