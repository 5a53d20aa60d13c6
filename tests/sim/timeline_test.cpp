// The timeline of a scenario: its stimuli as the scenario language spells
// them, what each does to the notebook, the fault table, the program's
// restart, and the pump that delivers stimuli inside whichever message loop
// waits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <iterator>
#include <stdexcept>

#include "agent/core/globals.h"
#include "agent/usbc/acpi_monitor.h"
#include "process_log.h"
#include "sim_fixture.h"

namespace {

using Arvek::HRESULT;
using Arvek::Testing::ExpectScenarioRefused;
using Arvek::Testing::SimNotebook;
using testing::Contains;
using testing::ElementsAre;

HRESULT CreateCommand(Arvek::Ports::ITolm& tolm) {
    std::unique_ptr<Arvek::Ports::ITolmCommand> command;
    return tolm.CreateCommand(command);
}

std::int32_t Answer(Arvek::Ports::ITolm& tolm, const std::wstring& name) {
    std::unique_ptr<Arvek::Ports::ITolmCommand> command;
    if (Arvek::Failed(tolm.CreateCommand(command))) return -999;
    Arvek::Variant value;
    return Arvek::Failed(command->ExecuteCommand(name, value)) ? -1 : value.LowInt32();
}

// A window of the test's own on the notebook; its procedure records what it
// gets and may run a loop of its own, as a modal dialog does.
struct Window {
    explicit Window(SimNotebook& notebook) : windowing(notebook.machine.Windowing()) {
        windowing.RegisterWindowClass({L"TestWindow", 0,
                                       [this](Arvek::Ports::WindowHandle, std::uint32_t message, std::uintptr_t,
                                              std::intptr_t) { return Procedure(message); },
                                       true, 0});
        handle = windowing.CreateMainWindow(0, L"TestWindow", L"", 0);
    }
    std::intptr_t Procedure(std::uint32_t message) {
        got.push_back({message, depth});
        if (message == kOpenDialog) {
            // A nested loop until the dialog is answered.
            ++depth;
            Arvek::Ports::Message next;
            while (!answered && windowing.GetNextMessage(next) > 0) windowing.Dispatch(next);
            --depth;
        }
        if (message == kAnswerDialog) answered = true;
        return 0;
    }
    // The main loop, to the end of the timeline and past the session's
    // WM_CLOSE, which this window ignores: until nothing can happen any more.
    void Run() {
        Arvek::Ports::Message next;
        while (windowing.GetNextMessage(next) > 0) windowing.Dispatch(next);
    }

    static constexpr std::uint32_t kOpenDialog = Arvek::Ports::kWM_APP + 1;
    static constexpr std::uint32_t kAnswerDialog = Arvek::Ports::kWM_APP + 2;
    Arvek::Sim::SimWindowing& windowing;
    Arvek::Ports::WindowHandle handle = 0;
    std::vector<std::pair<std::uint32_t, int>> got;  // message, loop depth
    int depth = 0;
    bool answered = false;
};

// docs/scenarios.md is the language's reference: every verb and every step
// that can fail is in it.
TEST(Timeline, TheReferenceNamesEveryVerbAndEveryStep) {
    std::ifstream in(std::string(ARVEK_SOURCE_DIR) + "/docs/scenarios.md");
    const std::string reference((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(reference.empty());
    for (const auto& kind : Arvek::Sim::StimulusKinds()) {
        // In a Markdown table a bar inside the usage is written "\|".
        std::string usage;
        for (const char c : std::string(kind.usage)) usage += c == '|' ? std::string("\\|") : std::string(1, c);
        EXPECT_NE(reference.find("| `" + usage + "`"), std::string::npos) << kind.verb;
    }
    for (const auto& step : Arvek::Sim::SimFaults::Steps())
        EXPECT_NE(reference.find("`" + std::string(step.name) + "`"), std::string::npos) << step.name;
}

TEST(Timeline, EachStimulusIsReadAsTheLanguageSpellsIt) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"[timeline]\n1s acpi-event\n", "s.scenario:2: expected: acpi-event BYTE"},
        {"[timeline]\n1s acpi-event 0x100\n", "s.scenario:2: expected: acpi-event BYTE"},
        {"[timeline]\n1s tolm Platform.MachineID\n", "s.scenario:2: expected: tolm NAME = ANSWER"},
        {"[timeline]\n1s tolm Platform.MachineID = number 3\n", "s.scenario:2: unknown answer"},
        {"[timeline]\n1s tolm Platform.USBC.Messages = text <<END\n<a/>\n", "s.scenario:2: the text is not closed"},
        {"[timeline]\n1s fail tolm.create-command\n", "s.scenario:2: expected: fail PORT.STEP HRESULT [once]"},
        {"[timeline]\n1s fail tolm.create-command 0x80070005 twice\n", "s.scenario:2: expected: fail PORT.STEP"},
        {"[timeline]\n1s fail tolm.explode 0x80004005\n", "s.scenario:2: no step \"tolm.explode\" can fail"},
        {"[timeline]\n1s heal\n", "s.scenario:2: expected: heal PORT.STEP"},
        {"[timeline]\n1s heal windowing.paint\n", "s.scenario:2: no step \"windowing.paint\" can fail"},
        {"[timeline]\n1s restart now\n", "s.scenario:2: restart takes no arguments"},
        {"[timeline]\n1s resume now\n", "s.scenario:2: resume takes no arguments"},
        {"[timeline]\n1s session away\n", "s.scenario:2: expected: session logon|logoff|lock|unlock: session away"},
        {"[timeline]\n1s session\n", "s.scenario:2: expected: session logon|logoff|lock|unlock"},
        {"[timeline]\n1s wmi-event\n", "s.scenario:2: expected: wmi-event CLASS"},
        {"[timeline]\n1s wmi-event arqBEvnt EventID\n", "s.scenario:2: expected: wmi-event CLASS"},
        {"[timeline]\n1s wmi-event arqBEvnt EventID=i4\n", "s.scenario:2: expected: wmi-event CLASS"},
        {"[timeline]\n1s wmi-event arqBEvnt EventID=i4 x\n", "s.scenario:2: i4 needs a 32-bit integer"},
        {"[timeline]\n1s wmi-event arqBEvnt EventID=word 3\n", "s.scenario:2: unknown value \"word\""},
        {"[timeline]\n1s wmi-event A Description=string \"open\n", "s.scenario:2: the quoted string is not closed"},
        {"[timeline]\n1s wmi-event arqBEvnt EventID=i4 3 |\n", "s.scenario:2: expected: wmi-event CLASS"},
        {"[machine]\nfirmware-wmi = maybe\n", "s.scenario:2: firmware-wmi is \"present\" or \"absent\""},
        {"[machine]\nacpi-driver = maybe\n", "s.scenario:2: acpi-driver is \"absent\", \"present\" or \"answers-at-once\""},
    };
    for (const auto& c : cases) ExpectScenarioRefused(c.text, c.error);
}

// The platform component's answers change during a run; a text block ends at
// its marker and the timeline goes on after it.
TEST(Timeline, TheComponentAnswersAnewFromTheMomentTheTimelineSays) {
    SimNotebook notebook(
        "[tolm]\nSmartAdapter.Status = i4 2\n"
        "[timeline]\n"
        "1s tolm SmartAdapter.Status = i4 5\n"
        "2s tolm EmbeddedController.AuditLog = text <<LOG\n<Log>\n  <Entry/>\n</Log>\nLOG\n"
        "3s tolm component = absent\n");
    auto& tolm = notebook.machine.Platform().tolm;
    EXPECT_EQ(Answer(tolm, L"SmartAdapter.Status"), 2);
    ASSERT_TRUE(notebook.machine.Pump());
    EXPECT_EQ(Answer(tolm, L"SmartAdapter.Status"), 5);
    ASSERT_TRUE(notebook.machine.Pump());
    std::unique_ptr<Arvek::Ports::ITolmCommand> command;
    ASSERT_EQ(tolm.CreateCommand(command), Arvek::kS_OK);
    Arvek::Variant log;
    ASSERT_EQ(command->ExecuteCommand(L"EmbeddedController.AuditLog", log), Arvek::kS_OK);
    EXPECT_EQ(log.StringOrEmpty(), L"<Log>\n  <Entry/>\n</Log>");
    ASSERT_TRUE(notebook.machine.Pump());
    EXPECT_EQ(CreateCommand(tolm), Arvek::kREGDB_E_CLASSNOTREG);
    EXPECT_THAT(notebook.machine.Log().Texts("timeline"),
                Contains(L"the platform component now answers SmartAdapter.Status = i4 5"));
}

// Firmware events raised by the timeline, several in one go, with the types
// the language gives.
TEST(Timeline, WmiEventsAreRaisedAsTheLineSays) {
    const auto scenario = Arvek::Sim::ParseScenario(
        "[timeline]\n1s wmi-event arqBEvnt EventID=i4 131073 EventData=raw 0x0008 0 | "
        "ARVEKBIOS_BIOSEvent Description=string \"Fan \\\"2\\\" failed\" __Class=bool true\n",
        "s.scenario", "/nonexistent");
    ASSERT_EQ(scenario.timeline.size(), 1u);
    EXPECT_EQ(scenario.timeline[0].stimulus->Describe(),
              L"the firmware raises arqBEvnt EventID=i4 131073 EventData=raw 0x0008 0 | ARVEKBIOS_BIOSEvent "
              L"Description=string \"Fan \\\"2\\\" failed\" __Class=bool true");
}

// A step fails for good or once, and heals.
TEST(Timeline, FaultsComeAndGoAsTheTimelineSays) {
    SimNotebook notebook(
        "[tolm]\n[timeline]\n"
        "1s fail tolm.create-command 0x80070005 once\n"
        "2s fail tolm.create-command 0x8000FFFF\n"
        "3s heal tolm.create-command\n");
    auto& tolm = notebook.machine.Platform().tolm;
    auto& machine = notebook.machine;
    ASSERT_TRUE(machine.Pump());
    EXPECT_EQ(CreateCommand(tolm), Arvek::kE_ACCESSDENIED);
    EXPECT_EQ(CreateCommand(tolm), Arvek::kS_OK);
    ASSERT_TRUE(machine.Pump());
    EXPECT_EQ(CreateCommand(tolm), Arvek::kE_UNEXPECTED);
    EXPECT_EQ(CreateCommand(tolm), Arvek::kE_UNEXPECTED);
    ASSERT_TRUE(machine.Pump());
    EXPECT_EQ(CreateCommand(tolm), Arvek::kS_OK);
    EXPECT_EQ(machine.Log().Texts("timeline"),
              (std::vector<std::wstring>{L"tolm.create-command fails with 0x80070005, once",
                                         L"tolm.create-command fails with 0x8000FFFF",
                                         L"tolm.create-command works again"}));
}

// A step that reports a Win32 error takes the HRESULT's code; 0 is a
// failure without one.
TEST(Timeline, AWin32StepTakesTheCodeOfItsHresult) {
    SimNotebook notebook("[machine]\nacpi-driver = present\n");
    auto& devices = notebook.machine.Platform().devices;
    std::unique_ptr<Arvek::Ports::IDevice> device;
    notebook.machine.Faults().Fail("devices.open", Arvek::MakeHr(0x80070005u), true);
    EXPECT_EQ(devices.OpenOverlapped(Arvek::Sim::PyloDriver::kDevicePath, device), 5u);
    notebook.machine.Faults().Fail("devices.open", 0, true);
    EXPECT_EQ(devices.OpenOverlapped(Arvek::Sim::PyloDriver::kDevicePath, device), 0u);
    EXPECT_FALSE(device);
    EXPECT_EQ(devices.OpenOverlapped(Arvek::Sim::PyloDriver::kDevicePath, device), 0u);
    EXPECT_TRUE(device);
}

// A stimulus due while a loop of the program's own is running (a modal
// dialog's) is delivered inside that loop.
TEST(Timeline, AStimulusArrivesInsideTheLoopThatWaits) {
    SimNotebook notebook("[timeline]\n1s post WM_APP+1\n2s post WM_APP+3\n3s post WM_APP+2\n4s post WM_APP+4\n");
    Window window(notebook);
    window.Run();
    EXPECT_THAT(window.got, ElementsAre(std::pair{Arvek::Ports::kWM_CREATE, 0}, std::pair{Window::kOpenDialog, 0},
                                        std::pair{Arvek::Ports::kWM_APP + 3, 1}, std::pair{Window::kAnswerDialog, 1},
                                        std::pair{Arvek::Ports::kWM_APP + 4, 0}, std::pair{Arvek::Ports::kWM_CLOSE, 0}));
}

// What a window procedure throws stops at the boundary, as on Windows: it is
// logged, the default procedure answers and the loop goes on.
TEST(Timeline, AWindowProcedureThatThrowsIsStoppedAtTheBoundary) {
    SimNotebook notebook("[timeline]\n1s post WM_APP+7\n2s post WM_APP+8\n");
    auto& windowing = notebook.machine.Windowing();
    std::vector<std::uint32_t> got;
    windowing.RegisterWindowClass({L"Thrower", 0,
                                   [&](Arvek::Ports::WindowHandle, std::uint32_t message, std::uintptr_t,
                                       std::intptr_t) -> std::intptr_t {
                                       got.push_back(message);
                                       if (message == Arvek::Ports::kWM_APP + 7) throw std::runtime_error("boom");
                                       return 0;
                                   },
                                   true, 0});
    windowing.CreateMainWindow(0, L"Thrower", L"", 0);
    Arvek::Testing::ClearProcessLog();
    Arvek::Ports::Message next;
    while (windowing.GetNextMessage(next) > 0) windowing.Dispatch(next);
    EXPECT_THAT(got, Contains(Arvek::Ports::kWM_APP + 8));
    EXPECT_TRUE(Arvek::Testing::ProcessLogged(L"Error Arvek::Sim::WindowProcedure : boom: the call ended in an exception"));
}

// The ACPI event reaches the monitor, and what follows in the timeline comes
// after the monitor dealt with it.
TEST(Timeline, AnAcpiEventIsDealtWithBeforeTheTimelineGoesOn) {
    SimNotebook notebook("[machine]\nacpi-driver = present\n[timeline]\n1s acpi-event 0xA0\n2s acpi-event 0x01\n");
    Window window(notebook);
    Notifications::Tidewatch::AgentGlobals globals;
    globals.g_hWnd = window.handle;
    auto monitor = std::async(std::launch::async, [&] {
        return Notifications::Tidewatch::ACPIUSBCMonitor(notebook.machine.Platform(), globals);
    });
    auto& driver = notebook.machine.Pylo();
    while (!driver.RequestUnderWay()) std::this_thread::yield();
    ASSERT_TRUE(notebook.machine.Pump());
    EXPECT_EQ(notebook.machine.Windowing().Queued().size(), 1u) << "WM_NOTIFY_ACPI_USB_C is posted";
    ASSERT_TRUE(notebook.machine.Pump());
    EXPECT_EQ(driver.RequestsTaken(), 3);
    EXPECT_EQ(notebook.machine.Windowing().Queued().size(), 1u);
    globals.monitorStopRequested = true;
    notebook.machine.Windowing().SetEvent(globals.g_hMonitorStopEvent);
    EXPECT_EQ(monitor.get(), 1u);
}

// At a restart the program ends as at sign-out and starts again on the same
// notebook: what it wrote to drive C: is still there, its windows and
// apartments are not.
TEST(Timeline, ARestartEndsTheProgramAndStartsItAgainOnTheSameNotebook) {
    SimNotebook notebook("[timeline]\n1s restart\n2s post WM_COMMAND\n");
    notebook.machine.Files().CreateFolder(L"C:\\Arvek");
    notebook.WriteFile(L"C:\\Arvek\\kept.txt", "kept");
    EXPECT_EQ(notebook.machine.RunAgent(), 0);
    EXPECT_EQ(notebook.machine.Log().Texts("agent"),
              (std::vector<std::wstring>{L"start C:\\Program Files\\Arvek\\Tidewatch\\Tidewatch.exe",
                                         L"exited with code 0",
                                         L"start C:\\Program Files\\Arvek\\Tidewatch\\Tidewatch.exe",
                                         L"exited with code 0"}));
    EXPECT_THAT(notebook.machine.Log().Texts("window"),
                Contains(L"created window 0xa0110 class \"TIDEWATCH\" title \"Arvek Notifications\""));
    EXPECT_THAT(notebook.machine.Log().Texts("timeline"), Contains(L"post message 0x111 wParam 0 lParam 0"));
    EXPECT_EQ(notebook.ReadFile(L"C:\\Arvek\\kept.txt"), "kept");
    EXPECT_EQ(notebook.machine.Com().Balance(), 0);
}

// A program that ends before its timeline does says so; the rest is not
// delivered.
TEST(Timeline, StimuliLeftWhenTheProgramEndsAreNamed) {
    SimNotebook notebook("[machine]\nheld-mutex = TIDEWATCH\n[timeline]\n1s post WM_COMMAND\n2s close-window\n");
    EXPECT_EQ(notebook.machine.RunAgent(), 1);
    EXPECT_EQ(notebook.machine.Log().Texts("timeline"),
              (std::vector<std::wstring>{L"the program ended before the timeline did: 2 stimuli not delivered"}));
}

}  // namespace
