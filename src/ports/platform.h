// The set of ports a program runs on, made once at start-up by the program's
// entry point (win32 or sim) and handed to the core.
#pragma once

#include "ports/clock.h"
#include "ports/diagnostics.h"
#include "ports/event_log.h"
#include "ports/files.h"
#include "ports/named_objects.h"
#include "ports/process.h"
#include "ports/registry.h"
#include "ports/resources.h"
#include "ports/windowing.h"

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
};

}  // namespace Arvek::Ports
