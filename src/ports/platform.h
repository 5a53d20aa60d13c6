// The set of ports a program runs on, made once at start-up by the program's
// entry point (win32 or sim) and handed to the core.
#pragma once

#include "ports/clock.h"
#include "ports/com.h"
#include "ports/devices.h"
#include "ports/diagnostics.h"
#include "ports/dialogs.h"
#include "ports/event_log.h"
#include "ports/files.h"
#include "ports/named_objects.h"
#include "ports/process.h"
#include "ports/registry.h"
#include "ports/resources.h"
#include "ports/shell.h"
#include "ports/threads.h"
#include "ports/toast.h"
#include "ports/tolm.h"
#include "ports/windowing.h"
#include "ports/wmi.h"
#include "ports/wmi_events.h"
#include "ports/xml.h"

namespace Arvek::Ports {

struct Platform {
    IRegistry& registry;
    IProcess& process;
    IClock& clock;
    IFileSystem& files;
    INamedObjects& namedObjects;
    IEventLog& eventLog;
    IDebugOutput& debugOutput;
    IConsole& console;
    IWindowing& windowing;
    IResources& resources;
    IComRuntime& com;
    ITolm& tolm;
    IXmlParser& xml;
    IWmi& wmi;
    IToastService& toasts;
    IShell& shell;
    IDevices& devices;
    IThreads& threads;
    IWmiEvents& wmiEvents;
    IDialogs& dialogs;
};

// The same machine's ports with another window system: a second program
// started in the session, or a test's mock.
inline Platform WithWindowing(const Platform& p, IWindowing& windowing) {
    return {p.registry, p.process, p.clock,     p.files, p.namedObjects, p.eventLog, p.debugOutput,
            p.console,  windowing, p.resources, p.com,   p.tolm,         p.xml,      p.wmi,
            p.toasts,   p.shell,     p.devices, p.threads, p.wmiEvents, p.dialogs};
}

}  // namespace Arvek::Ports
