// The Windows programs' set of ports: one adapter of each kind, made once
// in wWinMain and handed to the core as an Arvek::Ports::Platform.
#pragma once

#include <windows.h>

#include "ports/platform.h"
#include "shared/log.h"
#include "win32/clock_win32.h"
#include "win32/com_win32.h"
#include "win32/devices_win32.h"
#include "win32/diagnostics_win32.h"
#include "win32/dialogs_win32.h"
#include "win32/event_log_win32.h"
#include "win32/files_win32.h"
#include "win32/named_objects_win32.h"
#include "win32/process_win32.h"
#include "win32/registry_win32.h"
#include "win32/resources_win32.h"
#include "win32/shell_win32.h"
#include "win32/threads_win32.h"
#include "win32/toast_win32.h"
#include "win32/tolm_win32.h"
#include "win32/windowing_win32.h"
#include "win32/wmi_events_win32.h"
#include "win32/wmi_win32.h"
#include "win32/xml_win32.h"

namespace Arvek::Win32 {

// The adapters themselves, in a base class so that they exist before the
// Platform's references to them are bound. Their names differ from the
// Platform's, so that `platform.registry` names the port without ambiguity.
struct Win32Adapters {
    explicit Win32Adapters(HINSTANCE module)
        : windowsWindowing(module), windowsResources(module), windowsDialogs(module) {}

    Win32Registry windowsRegistry;
    Win32Process windowsProcess;
    Win32Clock windowsClock;
    Win32FileSystem windowsFiles;
    Win32NamedObjects windowsNamedObjects;
    Win32EventLog windowsEventLog;
    Win32DebugOutput windowsDebugOutput;
    Win32Console windowsConsole;
    Win32Windowing windowsWindowing;
    Win32Resources windowsResources;
    Win32ComRuntime windowsCom;
    Win32Tolm windowsTolm;
    Win32XmlParser windowsXml;
    Win32Wmi windowsWmi;
    Win32ToastService windowsToasts;
    Win32Shell windowsShell;
    Win32Devices windowsDevices;
    Win32Threads windowsThreads;
    Win32WmiEvents windowsWmiEvents;
    Win32Dialogs windowsDialogs;
};

class Win32Platform : private Win32Adapters, public Ports::Platform {
public:
    // `module` is the program's instance: string resources and dialog
    // templates are read from it and window classes registered on it.
    explicit Win32Platform(HINSTANCE module = ::GetModuleHandleW(nullptr))
        : Win32Adapters(module),
          Ports::Platform{windowsRegistry,     windowsProcess,  windowsClock,       windowsFiles,
                          windowsNamedObjects, windowsEventLog, windowsDebugOutput, windowsConsole,
                          windowsWindowing,    windowsResources, windowsCom,         windowsTolm,
                          windowsXml,          windowsWmi,      windowsToasts,      windowsShell,
                          windowsDevices,      windowsThreads,   windowsWmiEvents,   windowsDialogs} {}

    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;
};

// The program's platform: made once, named as the process's platform (the
// log's), and never destroyed. Threads and system callbacks may still use it
// while the process ends: the log's queued writer, the toast service's
// callbacks, worker threads that have not ended; the end of the process
// stops them, never the platform's destruction.
inline Win32Platform& MakeProcessPlatform(HINSTANCE module) {
    auto* platform = new Win32Platform(module);
    Shared::SetProcessPlatform(*platform);
    return *platform;
}

}  // namespace Arvek::Win32
