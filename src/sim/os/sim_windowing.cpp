#include "sim/os/sim_windowing.h"

#include <optional>

#include "common/format.h"
#include "shared/exception_barrier.h"
#include "common/hresult.h"
#include "common/strings.h"
#include "sim/os/sim_clock.h"

namespace Arvek::Sim {

SimWindowing::SimWindowing(Transcript& transcript, SimClock& clock, std::function<bool()> pump, SimFaults* faults)
    : m_transcript(transcript), m_clock(clock), m_pump(std::move(pump)), m_faults(faults) {}

void SimWindowing::Reset() {
    std::lock_guard guard(m_lock);
    m_classes.clear();
    m_windows.clear();
    m_queue.clear();
    m_deviceNotifications.clear();
    m_quit = false;
    m_quitCode = 0;
}

void SimWindowing::Note(const std::wstring& text) { m_transcript.Add(m_clock.ElapsedMs(), "window", text); }

bool SimWindowing::RegisterWindowClass(const Ports::WindowClass& windowClass) {
    std::lock_guard guard(m_lock);
    return m_classes.try_emplace(ToUpperInvariant(windowClass.className), windowClass).second;
}

Ports::WindowHandle SimWindowing::CreateMainWindow(std::uint32_t, const std::wstring& className,
                                                   const std::wstring& title, std::uint32_t) {
    Ports::WindowHandle handle;
    if (TakeFault(m_faults, "windowing.create-window")) return 0;
    {
        std::lock_guard guard(m_lock);
        if (!m_classes.count(ToUpperInvariant(className))) return 0;
        handle = m_nextHandle;
        m_nextHandle += 0x10;
        m_windows[handle] = Window{className, title};
    }
    Note(Format(L"created window %#x class \"%s\" title \"%s\"", handle, className, title));
    Send(handle, Ports::kWM_CREATE, 0, 0);
    return handle;
}

bool SimWindowing::RegisterSessionNotification(Ports::WindowHandle window, std::uint32_t) {
    std::lock_guard guard(m_lock);
    auto it = m_windows.find(window);
    if (it == m_windows.end()) return false;
    it->second.sessionNotifications = true;
    return true;
}

void SimWindowing::ShowWindow(Ports::WindowHandle window, int command) {
    std::lock_guard guard(m_lock);
    auto it = m_windows.find(window);
    if (it != m_windows.end()) it->second.visible = command != Ports::kSW_HIDE;
}

bool SimWindowing::SetText(Ports::WindowHandle window, const std::wstring& text) {
    {
        std::lock_guard guard(m_lock);
        const auto found = m_windows.find(window);
        if (found == m_windows.end()) return false;
        found->second.title = text;
    }
    Note(Format(L"window %#x text \"%s\"", window, text));
    return true;
}

bool SimWindowing::DestroyWindow(Ports::WindowHandle window) {
    {
        std::lock_guard guard(m_lock);
        if (!m_windows.count(window)) return false;
    }
    Note(Format(L"destroying window %#x", window));
    Send(window, Ports::kWM_DESTROY, 0, 0);
    std::lock_guard guard(m_lock);
    m_windows.erase(window);
    return true;
}

int SimWindowing::GetNextMessage(Ports::Message& message) {
    for (;;) {
        if (const int got = PeekNextMessage(message); got >= 0) return got;
        if (m_pump && m_pump()) continue;
        // Nothing left to happen: the program would wait for ever. Say so and
        // end the wait as an error, so that a run always ends.
        Note(L"message queue empty and nothing left in the timeline");
        return -1;
    }
}

int SimWindowing::PeekNextMessage(Ports::Message& message) {
    std::lock_guard guard(m_lock);
    if (!m_queue.empty()) {
        message = m_queue.front();
        m_queue.pop_front();
        return 1;
    }
    if (m_quit) {
        message = Ports::Message{0, Ports::kWM_QUIT, static_cast<std::uintptr_t>(m_quitCode), 0};
        m_quit = false;
        return 0;
    }
    return -1;
}

Ports::WindowProcedure SimWindowing::ProcedureOf(Ports::WindowHandle window) {
    std::lock_guard guard(m_lock);
    auto it = m_windows.find(window);
    if (it == m_windows.end()) return {};
    auto cls = m_classes.find(ToUpperInvariant(it->second.className));
    return cls == m_classes.end() ? Ports::WindowProcedure{} : cls->second.procedure;
}

std::intptr_t SimWindowing::Send(Ports::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
    auto procedure = ProcedureOf(window);
    if (!procedure) return 0;
    // What a procedure throws stops here, as it stops at the window
    // procedure's thunk on Windows, and the default procedure answers.
    std::optional<std::intptr_t> answer = Shared::CallWithoutThrowing(
        "Arvek::Sim::WindowProcedure", std::optional<std::intptr_t>(),
        [&]() -> std::optional<std::intptr_t> { return procedure(window, message, wParam, lParam); });
    return answer ? *answer : DefaultProcedure(window, message, wParam, lParam);
}

std::intptr_t SimWindowing::Dispatch(const Ports::Message& message) {
    if (!message.hwnd) return 0;  // thread messages have no procedure
    return Send(message.hwnd, message.message, message.wParam, message.lParam);
}

bool SimWindowing::Post(Ports::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    std::lock_guard guard(m_lock);
    if (window && !m_windows.count(window)) return false;  // ERROR_INVALID_WINDOW_HANDLE
    m_queue.push_back({window, message, wParam, lParam});
    m_posted.notify_all();
    return true;
}

void SimWindowing::PostQuit(int exitCode) {
    std::lock_guard guard(m_lock);
    m_quit = true;
    m_quitCode = exitCode;
}

std::intptr_t SimWindowing::DefaultProcedure(Ports::WindowHandle window, std::uint32_t message, std::uintptr_t,
                                             std::intptr_t) {
    if (message == Ports::kWM_CLOSE) DestroyWindow(window);
    return 0;
}

Ports::DeviceNotifyHandle SimWindowing::RegisterDeviceInterfaceNotification(Ports::WindowHandle window,
                                                                           const Ports::Guid& interfaceClass) {
    Ports::DeviceNotifyHandle handle = 0;
    {
        std::lock_guard guard(m_lock);
        if (m_windows.find(window) == m_windows.end()) return 0;  // ERROR_INVALID_HANDLE
        handle = m_nextNotifyHandle++;
        m_deviceNotifications[handle] = {window, interfaceClass};
    }
    Note(Format(L"window %#x registered for device-interface arrivals of %s", window, Ports::GuidText(interfaceClass)));
    return handle;
}

bool SimWindowing::UnregisterDeviceNotification(Ports::DeviceNotifyHandle handle) {
    // A null or unknown handle fails, as it does on Windows.
    std::lock_guard guard(m_lock);
    return m_deviceNotifications.erase(handle) != 0;
}

bool SimWindowing::SetForegroundWindow(Ports::WindowHandle window) {
    std::lock_guard guard(m_lock);
    return m_windows.find(window) != m_windows.end();
}

Ports::WindowHandle SimWindowing::SessionListener() const {
    std::lock_guard guard(m_lock);
    for (const auto& [handle, window] : m_windows)
        if (window.sessionNotifications) return handle;
    return 0;
}

Ports::WindowHandle SimWindowing::DeviceInterfaceListener(const Ports::Guid& interfaceClass) const {
    std::lock_guard guard(m_lock);
    for (const auto& [handle, registration] : m_deviceNotifications)
        if (registration.interfaceClass == interfaceClass && m_windows.count(registration.window))
            return registration.window;
    return 0;
}

bool SimWindowing::SetEvent(Ports::EventHandle event) { return m_eventSink && m_eventSink(event); }

std::vector<Ports::Message> SimWindowing::Queued() const {
    std::lock_guard guard(m_lock);
    return {m_queue.begin(), m_queue.end()};
}

Ports::WindowHandle SimWindowing::MainWindow() const {
    std::lock_guard guard(m_lock);
    return m_windows.empty() ? 0 : m_windows.begin()->first;
}

}  // namespace Arvek::Sim
