// The agent's process-wide state, under the names the rest of the agent
// uses. It needs nothing else of the agent, so the parts that share it (the
// window, the USB Type-C monitor, the firmware events) include only this.
//
// Threads and system callbacks use it, so it must outlive every one of them:
// Tidewatch.exe gives it the lifetime of the process; the simulated notebook
// keeps one per run of the agent and joins the run's threads before it goes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

#include "ports/windowing.h"

namespace Notifications::ArvekWmiEvents {
class CArvekWmiEvents;
}

namespace Notifications::Tidewatch {

class CNotificationsHandler;

using ModuleHandle = std::uintptr_t;  // HINSTANCE

struct AgentGlobals {
    ModuleHandle g_hInstance = 0;
    Arvek::Ports::WindowHandle g_hWnd = 0;
    Arvek::Ports::DeviceNotifyHandle g_hUsbDeviceNotify = 0;
    Arvek::Ports::DeviceNotifyHandle g_hUsbHubNotify = 0;
    // The last USB device arrival's billboard detection (CUsbDevice::Init
    // resets both): the arrived device's instance id, and whether it is a
    // billboard device. Main thread only.
    std::wstring g_sArrivedInstanceId;
    bool g_bBillboardFound = false;
    // The ACPI monitor's thread and stop event: the monitor thread makes and
    // closes the event, the window's destruction on the main thread signals
    // it. Under `monitorLock` the event is never closed while it is being
    // signalled; `monitorStopRequested`, set by the destruction, stops a
    // monitor that makes its event afterwards and one whose requests never
    // wait.
    std::atomic<std::uint32_t> g_dwMonitorThreadId{0};
    std::atomic<Arvek::Ports::EventHandle> g_hMonitorStopEvent{0};
    std::mutex monitorLock;
    std::atomic<bool> monitorStopRequested{false};
    // The firmware-protection audit log's locks, always taken in this order.
    // The firmware-event object stands for their lifetime, but they live as
    // long as these globals, so that a worker still holding one when that
    // object goes finds it intact.
    std::mutex g_csTarnwallLogging;
    std::mutex g_csTarnwallEventLog;
    std::mutex g_csTarnwallHashKeys;
    // The audit entries the event log holds, by key ("TIMESTAMP|id"), each
    // with its upper-cased description; under g_csTarnwallHashKeys.
    std::unordered_map<std::string, std::string> g_tarnwallLogKeys;
    // While the key table's build has been started and has not read the
    // event log yet, a check-and-write run waits for it: one that came first
    // would write again what the event log already holds. Under
    // keyBuildLock, which is never held while another lock is taken.
    std::mutex keyBuildLock;
    std::condition_variable keyBuildDone;
    bool keyBuildPending = false;
    // The key table has been read from the event log in this process (as
    // far as the event log let it be read).
    bool keyTableRead = false;
    // At most one mirroring run, and one copy of the audit log for the
    // firmware-protection codes 30 to 39, wait to fetch the audit log; what
    // comes while one waits joins it, since every run reads the whole log.
    // The warnings open now, by code. Under auditRunLock, which is never
    // held while one of the three locks above is taken.
    std::mutex auditRunLock;
    bool auditRunWaiting = false;
    bool auditCopyWaiting = false;
    std::set<int> openTarnwallWarnings;
    // The agent's two long-lived objects, made by the service start-up and
    // owned by the agent's run, which destroys them after its message loop:
    // the firmware-event object first, then the notifications handler. Used
    // on the main thread only; null before the start-up made them and after.
    ArvekWmiEvents::CArvekWmiEvents* g_pWmiHandler = nullptr;
    CNotificationsHandler* g_pNotificationsHandler = nullptr;
    // The resume work has run since the last suspend notification. Main
    // thread only.
    bool g_bResumeHandled = false;
};

}  // namespace Notifications::Tidewatch
