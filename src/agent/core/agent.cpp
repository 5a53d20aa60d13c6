#include "agent/core/agent.h"

#include <mutex>

#include "common/hresult.h"
#include "shared/log.h"
#include "shared/registry_image.h"

namespace Notifications::Tidewatch {

using namespace Arvek::Ports;
using Arvek::Shared::GetLog;
using Arvek::Shared::LogLevel;

namespace {
// Window title and class/mutex name buffers hold 100 UTF-16 units.
constexpr std::size_t kNameBuffer = 100;
constexpr std::uint32_t kIdsAppTitle = 500;
constexpr std::uint32_t kIdsWindowClass = 505;
}  // namespace

CTidewatchAgent::CTidewatchAgent(Arvek::Ports::Platform& platform, AgentGlobals& globals, ModuleHandle instance,
                                 std::function<void(CTidewatchAgent&)> serviceStartup)
    : m_platform(platform), m_instance(instance), m_serviceStartup(std::move(serviceStartup)), m_globals(globals) {}

int CTidewatchAgent::Run() {
    if (Arvek::Shared::IsImageStillBuilding(m_platform.registry)) {
        GetLog().Log(LogLevel::Verbose, "wWinMain", L"Image still building.  Exit app.");
        return kExitImageStillBuilding;
    }

    m_title = m_platform.resources.LoadText(kIdsAppTitle, kNameBuffer);
    m_windowClass = m_platform.resources.LoadText(kIdsWindowClass, kNameBuffer);

    // Session-local (no "Global\" prefix): one agent per log-on session. A
    // mutex that cannot be made for another reason leaves the agent running
    // without that protection. It is never released; closing it at the end
    // is enough.
    CreateMutexResult instanceMutex = m_platform.namedObjects.CreateNamedMutex(m_windowClass, true);
    if (instanceMutex.error == Arvek::kERROR_ALREADY_EXISTS) return kExitAlreadyRunning;

    WindowClass windowClass;
    windowClass.className = m_windowClass;
    windowClass.style = kCS_HREDRAW | kCS_VREDRAW;
    windowClass.procedure = [this](WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam) { return WndProc(window, message, wParam, lParam); };
    windowClass.arrowCursor = true;
    windowClass.backgroundSysColorPlusOne = kCOLOR_WINDOW + 1;
    m_platform.windowing.RegisterWindowClass(windowClass);

    if (!InitInstance(m_instance)) return 0;

    if (m_serviceStartup) m_serviceStartup(*this);

    Message message;
    int exitCode = 0;
    for (;;) {
        const int got = m_platform.windowing.GetNextMessage(message);
        if (got == 0) {
            exitCode = static_cast<int>(message.wParam);
            break;
        }
        if (got < 0) break;  // an invalid window or message pointer; nothing more will come
        m_platform.windowing.Translate(message);
        m_platform.windowing.Dispatch(message);
    }
    instanceMutex.mutex.reset();
    return exitCode;
}

bool CTidewatchAgent::InitInstance(ModuleHandle instance) {
    Arvek::Shared::CArvekLogScope scope(GetLog(), "InitInstance");
    m_globals.g_hInstance = instance;
    const WindowHandle window =
        m_platform.windowing.CreateMainWindow(0, m_windowClass, m_title, kWS_OVERLAPPEDWINDOW);
    if (!window) return false;
    m_platform.windowing.RegisterSessionNotification(window, kNOTIFY_FOR_THIS_SESSION);
    m_globals.g_hWnd = window;
    m_platform.windowing.ShowWindow(window, kSW_HIDE);
    m_platform.windowing.UpdateWindow(window);
    GetLog().Log(LogLevel::TraceOut, "InitInstance", L"");
    return true;
}

std::intptr_t CTidewatchAgent::WndProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
    IWindowing& windowing = m_platform.windowing;
    switch (message) {
        case kWM_CREATE:
            GetLog().Log(LogLevel::Verbose, "WndProc", L"WM_CREATE");
            return 0;
        case kWM_DESTROY:
            // Both registrations as stored, null ones included: the system
            // answers a null handle with an error and nothing else happens.
            windowing.UnregisterDeviceNotification(m_globals.g_hUsbDeviceNotify);
            windowing.UnregisterDeviceNotification(m_globals.g_hUsbHubNotify);
            {
                std::lock_guard<std::mutex> guard(m_globals.monitorLock);
                m_globals.monitorStopRequested = true;
                if (const auto stop = m_globals.g_hMonitorStopEvent.load()) windowing.SetEvent(stop);
            }
            windowing.PostQuit(0);
            return 0;
        case kWM_COMMAND:
        case kWM_DWMNCRENDERINGCHANGED:
        case kWM_APP + 2:
            return 0;
        default:
            return windowing.DefaultProcedure(window, message, wParam, lParam);
    }
}

}  // namespace Notifications::Tidewatch
