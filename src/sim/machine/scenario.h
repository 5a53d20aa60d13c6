// A scenario: one simulated Arvek notebook (its facts, its registry) and a
// timeline of what happens to it. Text, line by line:
//
//   # comment
//   [machine]
//   model = Arvek Lumen 14
//   start = 2026-12-09 01:58:47.123      local time when the program starts
//   language = 1033                      the user's interface language id
//   program = C:\Program Files\Arvek\Tidewatch\Tidewatch.exe
//   product = Tidewatch Application      ProductName of its version resource
//   held-mutex = TIDEWATCH               a session mutex another program holds
//   window-creation = fails              the hidden window cannot be created
//   registry-file = policy.reg           a .reg file, relative to the scenario
//   bios-version = 1.14.2                Win32_BIOS.SMBIOSBIOSVersion
//   os-version = 10.0.22631              Win32_OperatingSystem.Version
//   wmi = stopped                        the WMI service does not run
//   acpi-driver = present                the platform driver (or absent, or
//                                        answers-at-once: a faulty driver)
//   firmware-wmi = absent                no WMI provider of the firmware's events
//
//   [registry]
//   Windows Registry Editor Version 5.00       .reg text, as regedit exports it
//   [HKEY_LOCAL_MACHINE\Software\...]
//   "Name"="value"
//
//   [event-log]                          what the event log held before
//   Application "Arvek Tarnwall" warning 12 "Tarnwall log entry: ..."
//
//   [devices]                            the USB hubs and devices (standins/usb_hub.h)
//   hub USB\ROOT_HUB30\4&1B7D5D1&0&0 \\?\USB#ROOT_HUB30#4&1B7D5D1&0&0#{f18a0e88-...}
//   port 3 DeviceConnected class=0x11 driver={...}\0003 id=USB\VID_2109&PID_5030\1
//
//   [tolm]                               what the Tolm component answers
//   Platform.USBC.Supported = bool true  (the format: standin/tolm_answers.h)
//
//   [timeline]
//   500ms  post WM_COMMAND 0 0           a stimulus (machine/stimuli.h)
//   3s     close-window
//
// Times are since the program's start (ms or s, decimals allowed), in order.
// Every error names the file and line. docs/scenarios.md is the reference.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ports/clock.h"
#include "sim/machine/stimuli.h"
#include "sim/standins/usb_hub.h"
#include "standin/tolm_answers.h"

namespace Arvek::Sim {

class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TimelineEntry {
    std::uint64_t atMs = 0;
    int line = 0;
    std::string verb;
    std::shared_ptr<const Stimulus> stimulus;
};

// How the platform driver is there.
enum class AcpiDriver { Absent, Present, AnswersAtOnce };

// A record the event log held before the program first ran.
struct EarlierEvent {
    std::wstring log;
    std::wstring source;
    std::uint16_t type = 0;
    std::uint32_t eventId = 0;
    std::vector<std::wstring> strings;
};

struct RegistrySource {
    std::string text;       // the .reg file's bytes
    std::string fileName;   // for error messages
    int firstLine = 1;      // line of the text's first line in that file
};

struct Scenario {
    std::string fileName;
    std::string model;
    Ports::SystemTime start{2026, 12, 3, 9, 8, 0, 0, 0};
    std::uint16_t language = 1033;
    std::wstring programPath = L"C:\\Program Files\\Arvek\\Tidewatch\\Tidewatch.exe";
    std::wstring productName = L"Tidewatch Application";
    std::vector<std::wstring> heldMutexes;
    bool failWindowCreation = false;
    std::wstring biosVersion = L"1.14.2";
    std::wstring osVersion = L"10.0.22631";
    bool wmiStopped = false;
    AcpiDriver acpiDriver = AcpiDriver::Absent;
    // Whether the firmware's WMI provider (its event classes) is installed.
    bool firmwareWmi = true;
    // The program's environment variables; APPDATA is the user's roaming
    // folder unless the scenario sets or unsets it.
    std::map<std::wstring, std::wstring> environment{{L"APPDATA", L"C:\\Users\\user\\AppData\\Roaming"}};
    // Whether the desktop offers the toast service (Wine, for one, does not).
    bool toastService = true;
    std::wstring programFilesX86 = L"C:\\Program Files (x86)";
    std::vector<RegistrySource> registry;
    // What Tolm answers; without a [tolm] section the component is absent.
    std::optional<Standin::TolmAnswers> tolm;
    std::vector<EarlierEvent> eventLog;
    // The USB hubs and the device tree.
    UsbDeviceTree devices;
    std::vector<TimelineEntry> timeline;
};

// Throws ScenarioError ("file:line: what") for anything malformed; .reg
// sources are read but parsed only when the machine is built.
Scenario ParseScenario(const std::string& text, const std::string& fileName,
                       const std::filesystem::path& baseFolder);
Scenario LoadScenario(const std::filesystem::path& path);

// The words of a line, a quoted string ("...", with \" inside) one word
// with its quotes; false when a quote is not closed.
bool ScenarioWords(const std::string& text, std::vector<std::string>& words);

// A number of the scenario language: decimal, or hexadecimal after "0x".
bool ParseScenarioNumber(const std::string& text, std::uint64_t& value);

// The bytes of a file a scenario names, of at most 16 MiB (a scenario is a
// user's file: a device or a huge file must not take the program down).
// Throws ScenarioError "who:line: cannot read PATH" or "... is too large".
std::string ReadScenarioFile(const std::filesystem::path& path, const std::string& who, int line);

}  // namespace Arvek::Sim
