// A program that ends while another of its threads is still logging, made as
// the programs make their platform: tidewatch-sim's machine on Linux
// (MakeProcessMachine), Tidewatch.exe's platform on Windows
// (MakeProcessPlatform). A thread logs without pause from before the agent
// runs until after main has returned. Run under ASan and TSan (Linux) and
// under Wine, it must end with exit code 0 and nothing reported: whatever the
// log and its listeners use lives until the process ends.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "shared/log.h"

#ifdef _WIN32
#include <windows.h>

#include "win32/platform_win32.h"
#else
#include "sim/machine/sim_machine.h"
#endif

namespace {

std::atomic<bool> g_logging{false};

// Logs at Error, which the default log of a machine without policy takes.
void LogForEver() {
    for (unsigned n = 0;; ++n) {
        Arvek::Shared::GetLog().Log(Arvek::Shared::Error, "EndsWhileLogging", L"still logging, line %u", n);
        g_logging = true;
    }
}

}  // namespace

int main() {
#ifdef _WIN32
    Arvek::Win32::MakeProcessPlatform(::GetModuleHandleW(nullptr));
#else
    // A notebook whose log takes every level on the console, and a drive C:
    // in a folder of its own.
    std::string root = (std::filesystem::temp_directory_path() / "ends-while-logging-XXXXXX").string();
    if (!mkdtemp(root.data())) return 2;
    Arvek::Sim::SimMachine& machine = Arvek::Sim::MakeProcessMachine(
        Arvek::Sim::ParseScenario("[registry]\nWindows Registry Editor Version 5.00\n\n"
                                  "[HKEY_LOCAL_MACHINE\\Software\\Policies\\Arvek\\Tidewatch Application]\n"
                                  "\"LoggingType\"=\"CONSOLE\"\n\"MinLogLevel\"=\"TraceIn\"\n\"MaxLogLevel\"=\"Error\"\n"
                                  "[timeline]\n1s post WM_COMMAND\n",
                                  "ends-while-logging", "."),
        root);
#endif
    std::thread(LogForEver).detach();
    while (!g_logging) std::this_thread::yield();
#ifndef _WIN32
    const int code = machine.RunAgent();
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    if (code != 0) return 3;
#endif
    std::puts("ended while logging");
    return 0;
}
