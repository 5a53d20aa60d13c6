// The agent's whole run on a simulated notebook: the services it starts in
// their order, the route USB Type-C events take, and the window messages
// that make it look again (resume, the session's log-on and unlock, the
// monitor's notification), through to the end of the process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "agent/core/agent.h"
#include "common/strings.h"
#include "ports/device_broadcast.h"
#include "process_log.h"
#include "sim_fixture.h"

namespace {

using Arvek::Testing::SimNotebook;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

// The machine routes: the ACPI driver's event, or the firmware's WMI event.
constexpr char kAcpiRoute[] = "Platform.MachineID = string 8042\nPlatform.USBC.Supported = bool true\n";
constexpr char kWmiRoute[] = "Platform.MachineID = string 1234\nPlatform.USBC.Supported = bool true\n";
constexpr char kAdapter[] = "SmartAdapter.Supported = bool true\nSmartAdapter.Status = i4 3\n";

std::string Messages(const std::string& ids) {
    std::string messages;
    int i = 0;
    for (const char id : ids) {
        messages += "<Message" + std::to_string(i) + "><MessageId>" + std::string(1, id) +
                    "</MessageId><Valid>true</Valid></Message" + std::to_string(i) + ">";
        ++i;
    }
    return "text <<XML\n<GetUsbCMessagesOutput><Output><Data><NumberOfPorts>1</NumberOfPorts><Port0>"
           "<NumberOfMessages>" + std::to_string(ids.size()) + "</NumberOfMessages>" + messages +
           "</Port0></Data></Output></GetUsbCMessagesOutput>\nXML\n";
}

struct AgentRun {
    AgentRun(const std::string& machine, const std::string& tolm, const std::string& timeline,
             const std::function<void(SimNotebook&)>& before = nullptr)
        : notebook("[machine]\n" + machine + "[registry]\nWindows Registry Editor Version 5.00\n\n" +
                   Arvek::Testing::kImageCompleteReg +
                   (tolm.empty() ? std::string() : "[tolm]\n" + tolm) + "[timeline]\n" + timeline) {
        Arvek::Testing::ClearProcessLog();
        if (before) before(notebook);
        exitCode = notebook.machine.RunAgent();
        lines = Arvek::Testing::ProcessLogLines();
    }
    // The lines a function logged at Verbose, in order.
    std::vector<std::wstring> Verbose(const std::wstring& function) const {
        std::vector<std::wstring> found;
        const std::wstring prefix = L"Verbose " + function + L" : ";
        for (const auto& line : lines)
            if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
        return found;
    }
    std::vector<std::wstring> Channel(const char* channel) { return notebook.machine.Log().Texts(channel); }
    std::vector<std::wstring> Subscribed() {
        std::vector<std::wstring> queries;
        for (const auto& text : Channel("wmi"))
            if (text.rfind(L"subscribed: ", 0) == 0) queries.push_back(text.substr(12));
        return queries;
    }
    std::vector<std::wstring> ToastTexts() {
        std::vector<std::wstring> texts;
        for (const auto& toast : notebook.machine.Toasts().ShownToasts()) texts.push_back(toast.texts.at(1));
        return texts;
    }
    std::size_t Count(const std::wstring& line) const { return std::count(lines.begin(), lines.end(), line); }
    std::wstring Text(std::uint32_t id) { return notebook.machine.Platform().resources.LoadText(id, 260); }

    SimNotebook notebook;
    int exitCode = -1;
    std::vector<std::wstring> lines;
};

std::wstring Query(int id) { return L"SELECT * FROM arqBEvnt WHERE EventID = " + std::to_wstring(id); }
const std::wstring kPublic = L"SELECT * FROM ARVEKBIOS_BIOSEvent";

// --- the start-up --------------------------------------------------------------------

// The WMI route on Windows 8.1: the adapter is subscribed and checked
// first, then USB Type-C's own event, the pending messages of every port,
// the arrivals of USB devices and hubs, the firmware protection with its
// key table and delayed mirroring, and the other four kinds.
TEST(ServiceStartup, TheWmiRouteInItsOrder) {
    AgentRun run("os-version = 6.3.9600\n",
                 std::string(kWmiRoute) + kAdapter + "Platform.USBC.Messages(255) = " + Messages("2"), "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_THAT(run.Subscribed(),
                ElementsAre(Query(3), Query(131073), Query(131074), Query(21), Query(20), Query(33), kPublic));
    EXPECT_THAT(run.Verbose(L"wWinMain"),
                ElementsAre(L"Get message that might be on system before the app is running",
                            L"RegisterTarnwallEvent passed.  Get current log data from BIOS and log to Windows event "
                            L"viewer."));
    // The adapter's toast before the port's message: its check comes first.
    EXPECT_THAT(run.ToastTexts(), ElementsAre(run.Text(502), run.Text(517)));
    std::vector<std::wstring> registered;
    for (const auto& text : run.Channel("window"))
        if (text.find(L"registered for device-interface arrivals") != std::wstring::npos) registered.push_back(text);
    EXPECT_THAT(registered, ElementsAre(HasSubstr(L"{A5DCBF10-6530-11D2-901F-00C04FB951ED}"),
                                        HasSubstr(L"{F18A0E88-C30C-11D0-8815-00A0C906BED8}")));
    // The agent's icon is written for the registrations; the firmware
    // protection's is only asked for, and there is none.
    auto& files = run.notebook.machine.Files();
    EXPECT_TRUE(files.GetFileInfo(files.TempPath() + L"Arvek.ico"));
    EXPECT_FALSE(files.GetFileInfo(files.TempPath() + L"ARTW.ico"));
}

// Where each machine's USB Type-C events come from, whether arrivals are
// listened for, and whether the adapter is checked at start-up.
TEST(ServiceStartup, TheRouteTheArrivalsAndTheAdapterCheckByMachine) {
    const struct {
        const char* what;
        std::string machine;
        std::string tolm;
        bool acpi;          // the monitor runs
        bool usbcWmi;       // USB Type-C's WMI event is subscribed
        bool arrivals;      // USB device and hub arrivals are listened for
        bool adapterCheck;  // the adapter's status is asked for at start-up
    } cases[] = {
        {"ACPI route, Windows 11", "", std::string(kAcpiRoute) + kAdapter, true, false, false, true},
        {"ACPI route without USB Type-C, Windows 8.1", "os-version = 6.3.9600\n",
         "Platform.MachineID = string 8042\nPlatform.USBC.Supported = bool false\n" + std::string(kAdapter), true,
         false, false, true},
        {"ACPI route, Windows 8.1", "os-version = 6.3.9600\n", std::string(kAcpiRoute) + kAdapter, true, false, true,
         true},
        {"WMI route, Windows 11", "", std::string(kWmiRoute) + kAdapter, false, true, false, true},
        {"WMI route, Windows 7", "os-version = 6.1.7601\n", std::string(kWmiRoute) + kAdapter, false, true, true,
         false},
        {"no USB Type-C", "", "Platform.MachineID = string 1234\n" + std::string(kAdapter), false, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AgentRun run(c.machine + "acpi-driver = present\n", c.tolm, "");
        EXPECT_EQ(run.Count(L"Verbose wWinMain : IsUsingACPIUsbCEvent returns true"), c.acpi ? 1u : 0u);
        const auto subscribed = run.Subscribed();
        EXPECT_EQ(std::count(subscribed.begin(), subscribed.end(), Query(131073)), c.usbcWmi ? 1 : 0);
        const auto window = run.Channel("window");
        EXPECT_EQ(std::count_if(window.begin(), window.end(),
                                [](const std::wstring& text) {
                                    return text.find(L"registered for device-interface") != std::wstring::npos;
                                }),
                  c.arrivals ? 2 : 0);
        bool asked = false;
        for (const auto& call : run.notebook.machine.Tolm().Calls()) asked |= call.command == L"SmartAdapter.Status";
        EXPECT_EQ(asked, c.adapterCheck);
        EXPECT_EQ(run.exitCode, 0);
    }
}

// Without the platform component the agent still subscribes what it can
// (the public class), shows nothing and runs its loop to the end.
TEST(ServiceStartup, WithoutThePlatformComponentTheAgentStillRuns) {
    AgentRun run("", "", "5s close-window\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_THAT(run.Subscribed(), ElementsAre(kPublic));
    EXPECT_THAT(run.ToastTexts(), IsEmpty());
    EXPECT_EQ(run.notebook.machine.Clock().ElapsedMs(), 5000u);
}

// A firmware-protection subscription that fails builds no key table and
// starts no mirroring; the four registrations after it still run.
TEST(ServiceStartup, AFailedFirmwareProtectionSubscriptionMirrorsNothing) {
    AgentRun run("", "Platform.MachineID = string 1234\n", "130s close-window\n", [](SimNotebook& notebook) {
        // The first subscription of this machine is the firmware protection's.
        notebook.machine.Faults().Fail("wmi.exec-notification", Arvek::kE_FAIL, /*once=*/true);
    });
    EXPECT_THAT(run.Subscribed(), ElementsAre(Query(21), Query(20), Query(33), kPublic));
    EXPECT_THAT(run.Verbose(L"wWinMain"), IsEmpty());
    for (const auto& call : run.notebook.machine.Tolm().Calls())
        EXPECT_NE(call.command, L"EmbeddedController.AuditLog") << "no mirroring run";
    EXPECT_TRUE(run.notebook.machine.EventLog().Records(L"Application").empty());

    // Subscribed, the start-up run mirrors the audit log after its delay.
    AgentRun mirrored("",
                      "Platform.MachineID = string 1234\nEmbeddedController.AuditLog = text <<LOG\n<AuditLog><Entry>"
                      "<timestamp>t1</timestamp><source>EC</source><event_id>12</event_id><description>Boot block "
                      "restored</description><logtype>WARN</logtype></Entry></AuditLog>\nLOG\n",
                      "130s close-window\n");
    EXPECT_EQ(mirrored.notebook.machine.EventLog().Records(L"Application").size(), 1u);
}

// --- the window messages -------------------------------------------------------------

// One pass of the resume work per wake, after a second's wait: the port
// messages, the adapter and the audit log are looked at again; a second
// wake without a suspend between is logged and ignored; a suspend re-arms
// it; a power status change (10) says nothing.
TEST(WindowMessages, ResumeLooksAgainOncePerWake) {
    AgentRun run("", std::string(kWmiRoute) + kAdapter,
                 "10s resume\n20s resume\n30s suspend\n40s resume\n50s post WM_POWERBROADCAST 10\n");
    const std::wstring pass = L"Get and Show message for any USBC event that might occur while system is sleeping";
    EXPECT_THAT(run.Verbose(L"WndProc"),
                ElementsAre(L"WM_CREATE", L"WM_POWERBROADCAST wParam: 18", pass, L"check smart adapter status",
                            L"log any new Tarnwall log occurred while system is sleeping",
                            L"WM_POWERBROADCAST wParam: 7", L"WM_POWERBROADCAST wParam: 18",
                            L"WM_POWERBROADCAST wParam: 7",
                            L"WM_POWERBROADCAST wParam: 4", L"WM_POWERBROADCAST wParam: 18", pass,
                            L"check smart adapter status",
                            L"log any new Tarnwall log occurred while system is sleeping",
                            L"WM_POWERBROADCAST wParam: 7"));
    // The adapter's toast at start-up and after each pass, each pass a
    // second after its wake.
    std::vector<std::string> at;
    for (const auto& line : run.notebook.machine.Log().Lines())
        if (line.find("] toast ") != std::string::npos) at.push_back(line.substr(0, line.find(']') + 1));
    EXPECT_THAT(at, ElementsAre("[    0.000]", "[   11.000]", "[   41.000]"));
}

// Log-on and unlock look at the port messages and the adapter; a lock and a
// log-off are only logged. Before Windows 8 the adapter is not looked at.
TEST(WindowMessages, LogOnAndUnlockLookAgain) {
    AgentRun run("", std::string(kWmiRoute) + kAdapter, "1s session lock\n2s session unlock\n3s session logoff\n4s session logon\n");
    const std::wstring look = L"Show message for any USBC event that might occur while user is logged out";
    const std::wstring adapter = L"show smart adapter event that might occur when user is logged out.";
    EXPECT_THAT(run.Verbose(L"WndProc"),
                ElementsAre(L"WM_CREATE", L"WM_WTSSESSION_CHANGE wParam: 7", L"WM_WTSSESSION_CHANGE wParam: 8",
                            L" In WTS_SESSION_LOGON/WTS_SESSION_UNLOCK", look, adapter,
                            L"WM_WTSSESSION_CHANGE wParam: 6", L"WM_WTSSESSION_CHANGE wParam: 5",
                            L" In WTS_SESSION_LOGON/WTS_SESSION_UNLOCK", look, adapter));
    EXPECT_EQ(run.ToastTexts().size(), 3u) << "start-up, unlock, log-on";

    AgentRun old("os-version = 6.1.7601\n", std::string(kWmiRoute) + kAdapter, "1s session unlock\n");
    EXPECT_THAT(old.Verbose(L"WndProc"), ElementsAre(L"WM_CREATE", L"WM_WTSSESSION_CHANGE wParam: 8",
                                                     L" In WTS_SESSION_LOGON/WTS_SESSION_UNLOCK", look));
}

// Each notification of the ACPI monitor is one full query of the port
// messages and their toasts, in order.
TEST(WindowMessages, EachAcpiNotificationQueriesThePortsAgain) {
    AgentRun run("acpi-driver = present\n",
                 std::string(kAcpiRoute) + "Platform.USBC.Messages(0) = " + Messages("2"),
                 "1s acpi-event 0xA0\n1.1s acpi-event 0xA0\n1.2s acpi-event 0xA0\n");
    EXPECT_EQ(run.Count(L"Verbose WndProc : Got WM_NOTIFY_ACPI_USB_C"), 3u);
    EXPECT_EQ(run.ToastTexts(), std::vector<std::wstring>(4, run.Text(517))) << "start-up and three events";
    EXPECT_EQ(run.exitCode, 0);
}

// A hub with a billboard device on port 3, as an older Windows sees it.
constexpr char kBillboardHub[] =
    "[devices]\n"
    "hub USB\\ROOT_HUB30\\4&1B7D5D1&0&0 \\\\?\\usb#root_hub30#4&1b7d5d1&0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}\n"
    "port 1 DeviceConnected bcdUSB=0x0200 class=0 idProduct=0xC31C bcdDevice=0x6400 "
    "driver={36fc9e60-c465-11cf-8056-444553540000}\\0001 id=USB\\VID_046D&PID_C31C\\5&2A0&0&1\n"
    "interface \\\\?\\usb#vid_046d&pid_c31c#5&2a0&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}\n"
    "port 2 NoDeviceConnected\n"
    "port 3 DeviceConnected bcdUSB=0x0201 class=0x11 idProduct=0x5030 bcdDevice=0x0100 "
    "driver={36fc9e60-c465-11cf-8056-444553540000}\\0003 id=USB\\VID_2109&PID_5030\\BB01\n"
    "interface \\\\?\\usb#vid_2109&pid_5030#bb01#{a5dcbf10-6530-11d2-901f-00c04fb951ed}\n";
constexpr char kKeyboard[] = "\\\\?\\usb#vid_046d&pid_c31c#5&2a0&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
constexpr char kBillboard[] = "\\\\?\\usb#vid_2109&pid_5030#bb01#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// A device's arrival is looked at whatever the policy says; the billboard's
// message is shown unless a policy value silences it.
TEST(WindowMessages, ABillboardArrivalIsToldUnlessThePolicySilencesIt) {
    const std::string policies = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Arvek\\Arvek Notifications]\n";
    const struct {
        const char* what;
        std::string policy;
        const char* device;
        bool told;
    } cases[] = {
        {"a billboard device", "", kBillboard, true},
        {"an ordinary device", "", kKeyboard, false},
        {"USB Type-C notifications silenced", policies + "\"SuppressUsbCNotifications\"=\"true\"\n", kBillboard, false},
        {"all notifications silenced", policies + "\"SuppressAllNotifications\"=\"true\"\n", kBillboard, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AgentRun run("os-version = 6.3.9600\n" + std::string("[registry]\nWindows Registry Editor Version 5.00\n\n") +
                         c.policy,
                     std::string(kWmiRoute) + kBillboardHub, "1s usb-arrive " + std::string(c.device) + "\n");
        EXPECT_EQ(run.Count(L"Information CUsbDevice::Init : USB device inserted:  " + Arvek::WidenUtf8(c.device)), 1u)
            << "the detection always runs";
        EXPECT_EQ(run.Count(L"Verbose WndProc : Get billboard device message (device manager)"), c.told ? 1u : 0u);
        EXPECT_EQ(run.ToastTexts(), c.told ? std::vector<std::wstring>{run.Text(526)} : std::vector<std::wstring>{});
    }
}

// Only the arrival of a device interface is looked at: another event, or
// another kind of device (a volume, type 3), returns at once.
TEST(WindowMessages, OnlyADeviceInterfaceArrivalIsLookedAt) {
    SimNotebook notebook("[machine]\n");
    Notifications::Tidewatch::AgentGlobals globals;
    Notifications::Tidewatch::CTidewatchAgent agent(notebook.machine.Platform(), globals, 0x400000);
    auto record = Arvek::Ports::MakeDeviceInterfaceBroadcast(Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE,
                                                             Arvek::WidenUtf8(kBillboard));
    const auto lParam = reinterpret_cast<std::intptr_t>(record.data());
    Arvek::Testing::ClearProcessLog();
    EXPECT_EQ(agent.WndProc(0xA0100, Arvek::Ports::kWM_DEVICECHANGE, 0x8004, lParam), 0);  // removal complete
    EXPECT_EQ(agent.WndProc(0xA0100, Arvek::Ports::kWM_DEVICECHANGE, Arvek::Ports::kDBT_DEVICEARRIVAL, 0), 0);
    record[Arvek::Ports::kBroadcastDeviceTypeOffset] = 3;  // DBT_DEVTYP_VOLUME
    EXPECT_EQ(agent.WndProc(0xA0100, Arvek::Ports::kWM_DEVICECHANGE, Arvek::Ports::kDBT_DEVICEARRIVAL, lParam), 0);
    EXPECT_THAT(Arvek::Testing::ProcessLogLines(), Not(Contains(HasSubstr(L"USB device inserted"))));
    record[Arvek::Ports::kBroadcastDeviceTypeOffset] = 5;
    agent.WndProc(0xA0100, Arvek::Ports::kWM_DEVICECHANGE, Arvek::Ports::kDBT_DEVICEARRIVAL, lParam);
    EXPECT_THAT(Arvek::Testing::ProcessLogLines(), Contains(HasSubstr(L"USB device inserted")));
}

}  // namespace
