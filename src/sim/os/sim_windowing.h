// Windows and the message queue of the simulated notebook. Every message
// loop of the program (the main loop, and the loops of modal dialogs and
// message boxes) takes its messages here; when the queue runs dry it turns
// the machine's pump, which delivers what is due next: a call into the
// program's apartment, the timeline's next stimulus (which moves the clock
// and usually posts a message). So a stimulus due while a dialog is open
// arrives inside that dialog's loop, as on Windows. Other threads may post
// at any time.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ports/windowing.h"
#include "sim/machine/faults.h"
#include "sim/machine/transcript.h"

namespace Arvek::Sim {

class SimClock;

class SimWindowing : public Ports::IWindowing {
public:
    // `pump` delivers what is due next; false when nothing can happen any
    // more. Window creation fails as `faults` says ("windowing.create-window").
    SimWindowing(Transcript& transcript, SimClock& clock, std::function<bool()> pump = {},
                 SimFaults* faults = nullptr);

    void SetPump(std::function<bool()> pump) { m_pump = std::move(pump); }
    // The program ended: its windows, classes and queue go with it.
    void Reset();
    // Where SetEvent signals: the machine's event objects.
    void SetEventSink(std::function<bool(Ports::EventHandle)> sink) { m_eventSink = std::move(sink); }

    bool RegisterWindowClass(const Ports::WindowClass& windowClass) override;
    Ports::WindowHandle CreateMainWindow(std::uint32_t exStyle, const std::wstring& className,
                                         const std::wstring& title, std::uint32_t style) override;
    bool RegisterSessionNotification(Ports::WindowHandle window, std::uint32_t flags) override;
    void ShowWindow(Ports::WindowHandle window, int command) override;
    void UpdateWindow(Ports::WindowHandle window) override {}
    bool DestroyWindow(Ports::WindowHandle window) override;
    int GetNextMessage(Ports::Message& message) override;
    void Translate(const Ports::Message& message) override {}
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

    // For the simulated system's own modal loops (dialogs, message boxes):
    // the next posted message without waiting, 1 with one, 0 for WM_QUIT
    // (taken, as GetNextMessage takes it), -1 when the queue is empty.
    int PeekNextMessage(Ports::Message& message);
    // Turns the machine's pump once; false when nothing can happen any more.
    bool Pump() { return m_pump && m_pump(); }

    // The program's top-level window, 0 when there is none (yet, or any more).
    Ports::WindowHandle MainWindow() const;
    // The messages posted and not yet taken, oldest first.
    std::vector<Ports::Message> Queued() const;
    // The window registered for the session's notifications, 0 when none is.
    Ports::WindowHandle SessionListener() const;
    // The window registered for device-interface notifications of the
    // class, 0 when none is: where the system sends a device's arrival.
    Ports::WindowHandle DeviceInterfaceListener(const Ports::Guid& interfaceClass) const;
    // Calls the window's procedure directly, as SendMessage does on one thread.
    std::intptr_t Send(Ports::WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    struct Window {
        std::wstring className;
        std::wstring title;
        bool visible = true;
        bool sessionNotifications = false;
    };
    void Note(const std::wstring& text);
    Ports::WindowProcedure ProcedureOf(Ports::WindowHandle window);

    Transcript& m_transcript;
    SimClock& m_clock;
    std::function<bool()> m_pump;
    SimFaults* m_faults;
    std::function<bool(Ports::EventHandle)> m_eventSink;

    mutable std::mutex m_lock;
    std::condition_variable m_posted;
    std::map<std::wstring, Ports::WindowClass> m_classes;  // by upper-cased name
    std::map<Ports::WindowHandle, Window> m_windows;
    std::deque<Ports::Message> m_queue;
    struct DeviceNotification {
        Ports::WindowHandle window;
        Ports::Guid interfaceClass;
    };
    std::map<Ports::DeviceNotifyHandle, DeviceNotification> m_deviceNotifications;
    Ports::DeviceNotifyHandle m_nextNotifyHandle = 0x00D0001;
    bool m_quit = false;
    int m_quitCode = 0;
    Ports::WindowHandle m_nextHandle = 0x000A0100;
};

}  // namespace Arvek::Sim
