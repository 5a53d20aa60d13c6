// Tidewatch.exe: the agent's core on the Windows adapter.
#include <windows.h>

#include <cstdint>

#include "agent/core/agent.h"
#include "shared/log.h"
#include "win32/platform_win32.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPWSTR /*lpCmdLine*/, int /*nCmdShow*/) {
    Arvek::Win32::Win32Platform platform(hInstance);
    Arvek::Shared::SetProcessPlatform(platform);
    Notifications::Tidewatch::CTidewatchAgent agent(platform, reinterpret_cast<std::uintptr_t>(hInstance));
    return agent.Run();
}
