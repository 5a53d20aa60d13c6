#include "sim/machine/sim_machine.h"

#include <chrono>

#include "agent/core/agent.h"
#include "agent/usbc/acpi_monitor.h"
#include "common/format.h"
#include "shared/log.h"
#include "sim/os/reg_file.h"

namespace Arvek::Sim {

namespace {
// The module handle the simulated program is loaded at.
constexpr Notifications::Tidewatch::ModuleHandle kModule = 0x00400000;
// HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE): what a WMI service that does
// not run answers a connection.
constexpr HRESULT kWmiServiceStopped = MakeHr(0x800706BAu);
}  // namespace

SimMachine::SimMachine(Scenario scenario, const std::filesystem::path& hostRoot)
    : m_scenario(std::move(scenario)),
      m_clock(m_scenario.start),
      m_registry(&m_faults),
      m_process(m_scenario.programPath, m_scenario.productName, m_scenario.environment, m_scenario.osVersion),
      m_files(hostRoot, &m_faults),
      m_namedObjects(&m_faults),
      m_eventLog(m_transcript, m_clock, &m_faults),
      m_debug(m_transcript, m_clock, "debug"),
      m_console(m_transcript, m_clock, "console"),
      m_windowing(m_transcript, m_clock, {}, &m_faults),
      m_resources(m_scenario.language),
      m_viewerResources(m_scenario.language, Strings::Program::Portolan),
      m_com(&m_faults),
      m_tolm(m_scenario.tolm.value_or(Standin::TolmAnswers::Absent()), &m_faults),
      m_xml(&m_faults),
      m_wmi(&m_faults),
      m_toasts(m_transcript, m_clock, m_scenario.toastService, &m_faults),
      m_shell(m_transcript, m_clock, m_files, m_scenario.programFilesX86, &m_faults),
      m_devices(&m_faults),
      m_pylo(std::make_shared<PyloDriver>(m_transcript, m_clock, m_devices.Events(), &m_faults)),
      m_firmwareWmi(m_wmi),
      m_threads(m_process, &m_faults),
      m_dialogs(m_transcript, m_clock, m_windowing, m_threads),
      m_platform{m_registry, m_process,  m_clock,   m_files,     m_namedObjects,
                 m_eventLog, m_debug,    m_console, m_windowing, m_resources,
                 m_com,      m_tolm,     m_xml,     m_wmi,       m_toasts,
                 m_shell,    m_devices,  m_threads,   m_wmi,       m_dialogs},
      m_viewerPlatform{m_registry, m_process,  m_clock,   m_files,     m_namedObjects,
                       m_eventLog, m_debug,    m_console, m_windowing, m_viewerResources,
                       m_com,      m_tolm,     m_xml,     m_wmi,       m_toasts,
                       m_shell,    m_devices,  m_threads,   m_wmi,       m_dialogs} {
    for (const auto& source : m_scenario.registry)
        m_registry.Import(ParseRegText(source.text, source.fileName, source.firstLine));
    for (const auto& name : m_scenario.heldMutexes) m_namedObjects.HoldElsewhere(name);
    for (const auto& event : m_scenario.eventLog)
        m_eventLog.Add(event.log, {event.source, event.type, 0, event.eventId, event.strings});
    if (m_scenario.failWindowCreation) m_faults.Fail("windowing.create-window", kE_FAIL);
    m_wmi.AddMachineClasses(m_scenario.biosVersion, m_scenario.osVersion, m_scenario.language);
    if (m_scenario.wmiStopped) m_faults.Fail("wmi.connect", kWmiServiceStopped);
    m_wmi.SetTranscript(&m_transcript, &m_clock);
    if (m_scenario.firmwareWmi) m_firmwareWmi.Install();
    if (m_scenario.acpiDriver != AcpiDriver::Absent) InstallPyloDriver();
    if (m_scenario.acpiDriver == AcpiDriver::AnswersAtOnce) m_pylo->AnswerAtOnce(true);
    for (const auto& device : m_scenario.devices.devices) m_devices.AddDevice(device);
    for (const auto& hub : m_scenario.devices.hubs) m_devices.AddControlDriver(hub.path, std::make_shared<UsbHub>(hub));
    m_clock.SetThreads(&m_threads);
    m_devices.Events()->SetThreads(&m_threads);
    m_windowing.SetPump([this] { return Pump(); });
    m_windowing.SetEventSink([this](Ports::EventHandle event) { return m_devices.SetEvent(event); });
}

// Threads still running use the ports: they end before the ports go.
SimMachine::~SimMachine() { EndProgramThreads(); }

void SimMachine::EndProgramThreads() {
    m_threads.BeginEnding();
    m_clock.EndTimers();
    m_dialogs.EndAll();
    m_threads.JoinAll();
}

void SimMachine::InstallPyloDriver() {
    m_devices.AddInterface({Notifications::Tidewatch::kPyloInterfaceClass, PyloDriver::kDevicePath});
    m_devices.AddDriver(PyloDriver::kDevicePath, m_pylo);
}

void SimMachine::Note(const std::string& channel, const std::wstring& text) {
    m_transcript.Add(m_clock.ElapsedMs(), channel, text);
}

void SimMachine::Settle() {
    if (!m_threads.WaitUntilQuiet(std::chrono::seconds(10)))
        Note("timeline", L"a worker thread is still busy after 10 s; the timeline goes on");
}

bool SimMachine::Pump() {
    if (m_restartRequested) return false;  // the program is ending; the timeline waits for the next run
    // What the workers do happens before what comes next: they finish, or
    // wait for the machine.
    Settle();
    // A worker's timer that ends by the next stimulus's time comes first;
    // once the timeline is over, the session ends and timers end with it.
    if (const auto timer = m_clock.NextTimer();
        timer && m_nextStimulus < m_scenario.timeline.size() && *timer <= m_scenario.timeline[m_nextStimulus].atMs) {
        m_clock.RunTimersTo(*timer);
        Settle();
        return true;
    }
    if (m_nextStimulus == m_scenario.timeline.size()) {
        if (m_sessionEnded) return false;
        // The user signs out: the session closes the program's window.
        m_sessionEnded = true;
        const auto window = m_windowing.MainWindow();
        if (!window) return false;
        Note("timeline", L"end of timeline: the session closes the window");
        return m_windowing.Post(window, Ports::kWM_CLOSE, 0, 0);
    }
    const TimelineEntry& entry = m_scenario.timeline[m_nextStimulus++];
    m_clock.AdvanceTo(entry.atMs);
    Note("timeline", entry.stimulus->Describe());
    entry.stimulus->Apply(*this);
    return true;
}

void SimMachine::Restart() {
    m_restartRequested = true;
    if (const auto window = m_windowing.MainWindow()) m_windowing.Post(window, Ports::kWM_CLOSE, 0, 0);
}

void SimMachine::RunSecondInstance() {
    // The same program started again in the session: same machine, a
    // message queue of its own with nothing to happen on it.
    SimWindowing windowing(m_transcript, m_clock);
    Ports::Platform second = Ports::WithWindowing(m_platform, windowing);
    bool closed = false;
    windowing.SetPump([&] {
        if (closed || !windowing.MainWindow()) return false;
        closed = true;
        return windowing.Post(windowing.MainWindow(), Ports::kWM_CLOSE, 0, 0);
    });
    Notifications::Tidewatch::AgentGlobals globals;
    Notifications::Tidewatch::CTidewatchAgent agent(second, globals, kModule);
    const int code = agent.Run();
    Note("agent", Format(L"second instance exited with code %d", code));
}

int SimMachine::RunAgent() {
    int code = 0;
    for (;;) {
        Note("agent", Format(L"start %s", m_scenario.programPath));
        {
            // The run's process-wide state, as the program keeps it. The
            // threads it started end before it goes: on Windows the end of
            // the process would stop them.
            Notifications::Tidewatch::AgentGlobals globals;
            Notifications::Tidewatch::CTidewatchAgent agent(m_platform, globals, kModule);
            code = agent.Run();
            // The process ends: its workers' waits give up, and they end.
            EndProgramThreads();
        }
        Note("agent", Format(L"exited with code %d", code));
        if (!m_restartRequested) break;
        // A new process: nothing of the old one's windows or apartments is
        // left; the machine (drive C:, the registry, the event log) stays.
        m_restartRequested = false;
        m_windowing.Reset();
        m_com.Reset();
    }
    if (const std::size_t left = m_scenario.timeline.size() - m_nextStimulus; left != 0)
        Note("timeline", Format(L"the program ended before the timeline did: %u stimuli not delivered",
                                static_cast<unsigned>(left)));
    return code;
}

SimMachine& MakeProcessMachine(Scenario scenario, const std::filesystem::path& hostRoot, ProcessProgram program) {
    auto* machine = new SimMachine(std::move(scenario), hostRoot);
    Shared::SetProcessPlatform(program == ProcessProgram::Viewer ? machine->ViewerPlatform() : machine->Platform());
    return *machine;
}

}  // namespace Arvek::Sim
