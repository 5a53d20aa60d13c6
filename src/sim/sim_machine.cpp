#include "sim/sim_machine.h"

#include "agent/core/agent.h"
#include "common/format.h"
#include "sim/reg_file.h"

namespace Arvek::Sim {

SimMachine::SimMachine(Scenario scenario, const std::filesystem::path& hostRoot)
    : m_scenario(std::move(scenario)),
      m_clock(m_scenario.start),
      m_process(m_scenario.programPath, m_scenario.productName, m_scenario.environment, m_scenario.osVersion),
      m_files(hostRoot),
      m_eventLog(m_transcript, m_clock),
      m_debug(m_transcript, m_clock, "debug"),
      m_console(m_transcript, m_clock, "console"),
      m_windowing(m_transcript, m_clock),
      m_resources(m_scenario.language),
      m_viewerResources(m_scenario.language, Strings::Program::Portolan),
      m_tolm(m_scenario.tolm.value_or(Standin::TolmAnswers::Absent())),
      m_toasts(m_transcript, m_clock, m_scenario.toastService),
      m_shell(m_transcript, m_clock, m_files, m_scenario.programFilesX86),
      m_devices(m_transcript, m_clock),
      m_platform{m_registry, m_process,  m_clock,   m_files,     m_namedObjects,
                 m_eventLog, m_debug,    m_console, m_windowing, m_resources,
                 m_com,      m_tolm,     m_xml,     m_wmi,       m_toasts,
                 m_shell,    m_devices} {
    for (const auto& source : m_scenario.registry)
        m_registry.Import(ParseRegText(source.text, source.fileName, source.firstLine));
    for (const auto& name : m_scenario.heldMutexes) m_namedObjects.HoldElsewhere(name);
    m_windowing.FailWindowCreation(m_scenario.failWindowCreation);
    m_wmi.AddMachineClasses(m_scenario.biosVersion, m_scenario.osVersion, m_scenario.language);
    m_wmi.SetStopped(m_scenario.wmiStopped);
    m_windowing.SetIdle([this] { return NextStimulus(); });
    m_windowing.SetEventSink([this](Ports::EventHandle event) { return m_devices.SetEvent(event); });
}

bool SimMachine::NextStimulus() {
    if (m_nextEvent == m_scenario.timeline.size()) {
        if (m_sessionEnded) return false;
        // The user signs out: the session closes the program's window.
        m_sessionEnded = true;
        const auto window = m_windowing.MainWindow();
        if (!window) return false;
        m_transcript.Add(m_clock.ElapsedMs(), "timeline", L"end of timeline: the session closes the window");
        return m_windowing.Post(window, Ports::kWM_CLOSE, 0, 0);
    }
    const TimelineEvent& event = m_scenario.timeline[m_nextEvent++];
    m_clock.AdvanceTo(event.atMs);
    const auto window = m_windowing.MainWindow();
    if (event.verb == "post") {
        m_transcript.Add(m_clock.ElapsedMs(), "timeline",
                         Format(L"post message %#x wParam %u lParam %d", event.message,
                                static_cast<std::uint64_t>(event.wParam), static_cast<std::int64_t>(event.lParam)));
        if (!window || !m_windowing.Post(window, event.message, event.wParam, event.lParam))
            m_transcript.Add(m_clock.ElapsedMs(), "timeline", L"no window to post to");
    } else if (event.verb == "close-window") {
        m_transcript.Add(m_clock.ElapsedMs(), "timeline", L"close the program's window");
        if (window) m_windowing.Post(window, Ports::kWM_CLOSE, 0, 0);
    } else if (event.verb == "second-instance") {
        // The same program started again in the session: same machine, a
        // message queue of its own with nothing to happen on it.
        m_transcript.Add(m_clock.ElapsedMs(), "timeline", L"start the program a second time");
        SimWindowing windowing(m_transcript, m_clock);
        Ports::Platform second = Ports::WithWindowing(m_platform, windowing);
        bool closed = false;
        windowing.SetIdle([&] {
            if (closed || !windowing.MainWindow()) return false;
            closed = true;
            return windowing.Post(windowing.MainWindow(), Ports::kWM_CLOSE, 0, 0);
        });
        Notifications::Tidewatch::CTidewatchAgent agent(second, 0x00400000);
        const int code = agent.Run();
        m_transcript.Add(m_clock.ElapsedMs(), "agent", Format(L"second instance exited with code %d", code));
    }
    return true;
}

Ports::Platform SimMachine::ViewerPlatform() {
    const Ports::Platform& p = m_platform;
    return {p.registry,  p.process,         p.clock, p.files, p.namedObjects, p.eventLog, p.debugOutput,
            p.console,   p.windowing,       m_viewerResources,
            p.com,       p.tolm,            p.xml,   p.wmi,   p.toasts,       p.shell,    p.devices};
}

int SimMachine::RunAgent() {
    m_transcript.Add(m_clock.ElapsedMs(), "agent", Format(L"start %s", m_scenario.programPath));
    Notifications::Tidewatch::CTidewatchAgent agent(m_platform, 0x00400000);
    const int code = agent.Run();
    m_transcript.Add(m_clock.ElapsedMs(), "agent", Format(L"exited with code %d", code));
    return code;
}

}  // namespace Arvek::Sim
