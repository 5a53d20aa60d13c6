// One simulated Arvek notebook built from a scenario: every port of the
// sim adapter, wired into a Platform, and the timeline that drives it.
#pragma once

#include <filesystem>
#include <memory>

#include "ports/platform.h"
#include "sim/scenario.h"
#include "sim/sim_com.h"
#include "sim/sim_devices.h"
#include "sim/sim_files.h"
#include "sim/sim_named_objects.h"
#include "sim/sim_ports.h"
#include "sim/sim_registry.h"
#include "sim/sim_toast.h"
#include "sim/sim_tolm.h"
#include "sim/sim_windowing.h"
#include "sim/sim_wmi.h"
#include "sim/sim_xml.h"
#include "sim/transcript.h"

namespace Arvek::Sim {

class SimMachine {
public:
    // `hostRoot` is the host folder that holds the notebook's drive C:.
    // Throws RegFileError for a malformed .reg source of the scenario.
    SimMachine(Scenario scenario, const std::filesystem::path& hostRoot);

    Ports::Platform& Platform() { return m_platform; }
    Transcript& Log() { return m_transcript; }
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

    // The same machine as the viewer (Portolan) sees it: every port shared
    // with the agent's platform, except the string table, which is Portolan's
    // in the user's language.
    Ports::Platform ViewerPlatform();

    // Runs the agent (Tidewatch) through the whole timeline; its exit code.
    // When the timeline is over the session ends: the window is closed.
    int RunAgent();

private:
    bool NextStimulus();

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
    Ports::Platform m_platform;
    std::size_t m_nextEvent = 0;
    bool m_sessionEnded = false;
};

}  // namespace Arvek::Sim
