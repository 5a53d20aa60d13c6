// Tidewatch.exe: the agent's core on the Windows adapter.
#include <windows.h>

#include <cstdint>

#include "agent/core/agent.h"
#include "win32/platform_win32.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPWSTR /*lpCmdLine*/, int /*nCmdShow*/) {
    // The platform and the agent's process-wide state outlive every thread
    // and callback that uses them: they live until the process ends.
    Arvek::Win32::Win32Platform& platform = Arvek::Win32::MakeProcessPlatform(hInstance);
    auto& globals = *new Notifications::Tidewatch::AgentGlobals;
    Notifications::Tidewatch::CTidewatchAgent agent(platform, globals, reinterpret_cast<std::uintptr_t>(hInstance));
    return agent.Run();
}
