// One simulated Arvek notebook built from a scenario: every port of the
// simulated operating system and the stand-ins for what lies outside the
// system, wired into a Platform, with the fault table and the timeline that
// drives it.
#pragma once

#include <filesystem>
#include <memory>

#include "ports/platform.h"
#include "sim/machine/faults.h"
#include "sim/machine/scenario.h"
#include "sim/machine/transcript.h"
#include "sim/os/sim_clock.h"
#include "sim/os/sim_com.h"
#include "sim/os/sim_devices.h"
#include "sim/os/sim_dialogs.h"
#include "sim/os/sim_diagnostics.h"
#include "sim/os/sim_event_log.h"
#include "sim/os/sim_files.h"
#include "sim/os/sim_named_objects.h"
#include "sim/os/sim_process.h"
#include "sim/os/sim_registry.h"
#include "sim/os/sim_resources.h"
#include "sim/os/sim_threads.h"
#include "sim/os/sim_toast.h"
#include "sim/os/sim_windowing.h"
#include "sim/os/sim_wmi.h"
#include "sim/os/sim_xml.h"
#include "sim/standins/firmware_wmi.h"
#include "sim/standins/pylo_driver.h"
#include "sim/standins/sim_tolm.h"
#include "sim/standins/usb_hub.h"

namespace Arvek::Sim {

class SimMachine {
public:
    // `hostRoot` is the host folder that holds the notebook's drive C:.
    // Throws RegFileError for a malformed .reg source of the scenario.
    SimMachine(Scenario scenario, const std::filesystem::path& hostRoot);
    ~SimMachine();
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

    Ports::Platform& Platform() { return m_platform; }
    Transcript& Log() { return m_transcript; }
    SimFaults& Faults() { return m_faults; }
    SimRegistry& Registry() { return m_registry; }
    SimEventLog& EventLog() { return m_eventLog; }
    SimWindowing& Windowing() { return m_windowing; }
    SimClock& Clock() { return m_clock; }
    SimTolm& Tolm() { return m_tolm; }
    SimComRuntime& Com() { return m_com; }
    SimWmi& Wmi() { return m_wmi; }
    SimToastService& Toasts() { return m_toasts; }
    SimDevices& Devices() { return m_devices; }
    SimFileSystem& Files() { return m_files; }
    SimThreads& Threads() { return m_threads; }
    SimDialogs& Dialogs() { return m_dialogs; }
    // The platform driver's stand-in; its device interface is there when
    // the scenario says so (InstallPyloDriver).
    PyloDriver& Pylo() { return *m_pylo; }
    // Gives the platform driver its device interface at PyloDriver::kDevicePath.
    void InstallPyloDriver();
    // The firmware's WMI provider's stand-in (installed unless the scenario
    // says `firmware-wmi = absent`).
    FirmwareWmi& FirmwareEvents() { return m_firmwareWmi; }

    // The same machine as the viewer (Portolan) sees it: every port shared
    // with the agent's platform, except the string table, which is Portolan's
    // in the user's language.
    Ports::Platform& ViewerPlatform() { return m_viewerPlatform; }

    // Runs the agent (Tidewatch) through the whole timeline, starting it
    // again at every `restart`; the exit code of its last run. When the
    // timeline is over the session ends: the window is closed. Every thread a
    // run started has ended when the run is over.
    int RunAgent();

    // What every message loop of the program turns when its queue is empty:
    // delivers the next stimulus of the timeline, or ends the session when
    // there is none. False when nothing can happen any more.
    bool Pump();

    // For the stimuli.
    void Note(const std::string& channel, const std::wstring& text);
    // Waits until every worker thread has done what it can (bounded; a
    // worker still busy after 10 s is noted).
    void Settle();
    // The program's process ends: its workers' waits (timers, dialogs) give
    // up and every thread it started is joined; the machine stays for the
    // next run.
    void EndProgramThreads();
    // The program ends as at sign-out and starts again on this machine.
    void Restart();
    // The program started a second time in the session, while it runs.
    void RunSecondInstance();

private:
    SimFaults m_faults;
    Scenario m_scenario;
    Transcript m_transcript;
    SimClock m_clock;
    SimRegistry m_registry;
    SimProcess m_process;
    SimFileSystem m_files;
    SimNamedObjects m_namedObjects;
    SimEventLog m_eventLog;
    SimTextChannel m_debug;
    SimTextChannel m_console;
    SimWindowing m_windowing;
    SimResources m_resources;
    SimResources m_viewerResources;
    SimComRuntime m_com;
    SimTolm m_tolm;
    SimXmlParser m_xml;
    SimWmi m_wmi;
    SimToastService m_toasts;
    SimShell m_shell;
    SimDevices m_devices;
    std::shared_ptr<PyloDriver> m_pylo;
    FirmwareWmi m_firmwareWmi;
    SimThreads m_threads;
    SimDialogs m_dialogs;
    Ports::Platform m_platform;
    Ports::Platform m_viewerPlatform;
    std::size_t m_nextStimulus = 0;
    bool m_sessionEnded = false;
    bool m_restartRequested = false;
};

// The machine a Linux program (tidewatch-sim, portolan-sim) runs on: made
// once, its platform (the viewer's, for the viewer) named as the process's,
// and never destroyed. The process's log keeps using it for as long as the
// process lives, also from threads still writing while the program ends
// (the log's queued writer).
enum class ProcessProgram { Agent, Viewer };
SimMachine& MakeProcessMachine(Scenario scenario, const std::filesystem::path& hostRoot,
                               ProcessProgram program = ProcessProgram::Agent);

}  // namespace Arvek::Sim
