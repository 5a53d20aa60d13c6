// The agent's process frame: start-up, the single-instance rule, the hidden
// window, the message loop and the end of the process.
#pragma once

#include <cstdint>
#include <functional>
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
    // `globals` must outlive every thread the run starts (globals.h);
    // `serviceStartup` runs on the main thread between the window's creation
    // and the message loop; empty for none.
    CTidewatchAgent(Arvek::Ports::Platform& platform, AgentGlobals& globals, ModuleHandle instance,
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
    AgentGlobals& m_globals;
    std::wstring m_title;
    std::wstring m_windowClass;
};

}  // namespace Notifications::Tidewatch
