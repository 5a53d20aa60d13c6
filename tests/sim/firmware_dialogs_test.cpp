// The firmware events that end in a dialog, as the user of a simulated
// notebook meets them: each kind's and code's dialog, the link and its
// message box, the privacy-screen dialog's marker file, dialogs nested in
// one another, and what the policy silences. The timeline raises the events
// and answers the dialogs; the transcript's "dialog" channel shows them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "agent/core/globals.h"
#include "agent/presentation/dialogs.h"
#include "agent/wmi_events/arvek_wmi_events.h"
#include "common/strings.h"
#include "process_log.h"
#include "sim_fixture.h"
#include "tolm/tolm_command.h"

namespace {

using Arvek::Testing::ProcessLogged;
using Arvek::Testing::SimNotebook;
using Notifications::ArvekWmiEvents::CArvekWmiEvents;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

constexpr wchar_t kMarker[] = L"C:\\Users\\user\\AppData\\Local\\Temp\\IgnoreVelashadeDialog.txt";
constexpr char kProcess[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::";

std::wstring Line(const char* level, const std::string& function, const std::wstring& text) {
    return Arvek::WidenUtf8(std::string(level) + " " + kProcess + function + " : ") + text;
}

// The agent's firmware-event object on a notebook whose platform component
// is there, subscribed to the four kinds that show dialogs; the timeline is
// played to its end through the machine's pump (inside the dialogs' loops
// while they are open), then the workers end.
struct DialogRun {
    explicit DialogRun(const std::string& timeline, const std::string& policy = "",
                       const std::function<void(SimNotebook&)>& before = nullptr, const std::string& tolm = "")
        : notebook(std::string("[machine]\n[registry]\nWindows Registry Editor Version 5.00\n\n") +
                   Arvek::Testing::kImageCompleteReg + policy + "[tolm]\nPlatform.MachineID = string 1234\n" + tolm +
                   "[timeline]\n" + timeline) {
        Arvek::Testing::ClearProcessLog();
        Notifications::Tidewatch::SetLinkSelector(-1);  // a new process
        if (before) before(notebook);
        globals.g_hInstance = 0x400000;
        {
            CArvekWmiEvents events(notebook.machine.Platform(), globals);
            EXPECT_EQ(events.RegisterFirmwareWMIEvent(), Arvek::kS_OK);
            EXPECT_EQ(events.RegisterFirmwareRuntimeWMIEvent(), Arvek::kS_OK);
            EXPECT_EQ(events.RegisterPrivacyPanelWMIEvent(), Arvek::kS_OK);
            EXPECT_EQ(events.RegisterTarnwallEvent(L""), Arvek::kS_OK);
            EXPECT_EQ(events.RegisterGPIOWMIEvent(), Arvek::kS_OK);
            while (notebook.machine.Pump()) {
            }
            notebook.machine.EndProgramThreads();
        }
        shown = notebook.machine.Log().Texts("dialog");
    }
    bool AskedForTheAuditLog() {
        for (const auto& call : notebook.machine.Tolm().Calls())
            if (call.command == Arvek::Tolm::kEmbeddedControllerAuditLog) return true;
        return false;
    }
    std::wstring Text(std::uint32_t id) { return notebook.machine.Platform().resources.LoadText(id, 2048); }
    // How a dialog of template 102 or 142 is described when it opens.
    std::wstring Opened(std::uint32_t text, const char* icon, const std::wstring& link) {
        return Arvek::WidenUtf8("dialog 102 opened: " + std::string(icon) + " icon, text \"") + Text(text) + L"\", " +
               link;
    }
    std::wstring Link() { return L"link \"" + Text(553) + L"\""; }
    std::wstring Velashade(const char* box) {
        return L"dialog 142 opened: information icon, text \"" + Text(555) + L"\", check box \"" + Text(556) +
               L"\" " + Arvek::WidenUtf8(box);
    }

    SimNotebook notebook;
    Notifications::Tidewatch::AgentGlobals globals;
    std::vector<std::wstring> shown;
};

std::string Tarnwall(const char* at, const char* data) {
    return std::string(at) + " wmi-event arqBEvnt EventID=i4 131074 EventData=" + data + "\n";
}

// Every firmware-protection code that warns, with its text, icon and link;
// only the low 8 bits of the value count (0x0104 is code 4).
TEST(FirmwareDialogs, EachWarningCodeShowsItsTextIconAndLink) {
    struct Case {
        const char* data;
        std::uint32_t text;
        const char* icon;
        bool link;
    } const cases[] = {
        {"i4 0", 524, "information", true}, {"i4 1", 525, "warning", true}, {"i4 2", 525, "warning", true},
        {"i4 0x0104", 523, "warning", true}, {"i4 5", 529, "error", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        DialogRun run(Tarnwall("1s", c.data) + "2s dialog click 1\n");
        EXPECT_THAT(run.shown, ElementsAre(run.Opened(c.text, c.icon, c.link ? run.Link() : L"no link line"),
                                           L"dialog 102 ended with 0"));
    }
}

// Codes without a warning, a value that is not VT_I4, and code 0 under the
// policy show nothing; the audit log's mirroring runs for each of them.
TEST(FirmwareDialogs, QuietCodesShowNothingButStillMirrorTheAuditLog) {
    struct Case {
        const char* data;
        const char* policy;
    } const cases[] = {
        {"i4 3", ""},
        {"i4 6", ""},
        {"i4 40", ""},
        {"string 4", ""},
        {"i4 0",
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Arvek\\Arvek Notifications]\n"
         "\"SuppressTarnwallNotifications\"=\"true\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        DialogRun run(Tarnwall("1s", c.data), c.policy);
        EXPECT_THAT(run.shown, IsEmpty());
        EXPECT_TRUE(run.AskedForTheAuditLog()) << "the regular mirroring";
    }
    DialogRun text(Tarnwall("1s", "string 4"));
    EXPECT_TRUE(ProcessLogged(Line("Information", "ProcessTarnwallEvent", L"invalid parameter, expect VT_I4, got = 8")));
    EXPECT_FALSE(ProcessLogged(
        Line("Information", "ThreadProcTarnwallEvent", L"ThreadProcTarnwallEvent Logging EventID : 4")));
    // The policy silences only code 0.
    DialogRun one(Tarnwall("1s", "i4 1"), "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Arvek\\Arvek Notifications]\n"
                                    "\"SuppressTarnwallNotifications\"=\"true\"\n");
    EXPECT_EQ(one.shown.size(), 2u);
}

// The link of a type 0 dialog shows text 530 in a message box, then the
// dialog ends; before any dialog of type 0, 1 or 2 the link of a type 5
// dialog (the firmware runtime event) shows nothing but still ends it.
TEST(FirmwareDialogs, TheLinkShowsTheLastSelectedExplanation) {
    DialogRun first(Tarnwall("1s", "i4 0") + "2s dialog link\n3s message-box ok\n");
    EXPECT_THAT(first.shown, ElementsAre(first.Opened(524, "information", first.Link()),
                                         L"message box \"" + first.Text(530) + L"\"", L"message box: OK",
                                         L"dialog 102 ended with 0"));

    DialogRun runtime("1s wmi-event arqBEvnt EventID=i4 33 EventData=i4 0\n2s dialog link\n");
    EXPECT_THAT(runtime.shown,
                ElementsAre(runtime.Opened(552, "warning", runtime.Link()), L"dialog 102 ended with 0"));

    // A type 1 warning chose 531: the runtime dialog's link shows it too.
    DialogRun after(Tarnwall("1s", "i4 1") + "2s dialog click 1\n3s wmi-event arqBEvnt EventID=i4 33 EventData=i4 0\n"
                                       "4s dialog link\n5s message-box ok\n");
    ASSERT_EQ(after.shown.size(), 6u);
    EXPECT_EQ(after.shown[3], L"message box \"" + after.Text(531) + L"\"");
}

// The firmware event shows its dialog on the main thread; a second one that
// arrives while it is open opens on top of it, and each answer closes the
// topmost. Escape and the close button end it as OK does.
TEST(FirmwareDialogs, ASecondEventOpensANestedDialogAndAnswersGoToTheTopmost) {
    DialogRun run("1s wmi-event arqBEvnt EventID=i4 21 EventData=i4 0\n2s wmi-event arqBEvnt EventID=i4 21 EventData=i4 0\n"
            "3s dialog escape\n4s dialog close\n");
    const std::wstring opened = run.Opened(515, "information", L"no link line");
    EXPECT_THAT(run.shown, ElementsAre(opened, opened, L"dialog 102 ended with 0", L"dialog 102 ended with 0"));
    EXPECT_THAT(run.notebook.machine.Log().Texts("timeline"), testing::Not(testing::Contains(testing::HasSubstr(
                                                                  L"not delivered"))));
    // Another event id on the firmware subscription shows nothing.
    DialogRun other("1s wmi-event arqBEvnt EventID=i4 22 EventData=i4 0\n");
    EXPECT_THAT(other.shown, IsEmpty());
}

// The privacy-screen dialog: shown for data 1 only; ticking the box and
// pressing OK writes the marker file, and the next event shows nothing;
// unticking it again removes the file.
TEST(FirmwareDialogs, ThePrivacyScreenDialogRemembersTheUsersChoice) {
    const std::string event = " wmi-event arqBEvnt EventID=i4 20 EventData=i4 1\n";
    DialogRun ticked("1s" + event + "2s dialog click 141\n3s dialog click 1\n4s" + event);
    EXPECT_THAT(ticked.shown, ElementsAre(ticked.Velashade("unticked"), L"dialog 142 ended with 0"));
    EXPECT_EQ(ticked.notebook.ReadFile(kMarker), "true");

    DialogRun two("1s wmi-event arqBEvnt EventID=i4 20 EventData=i4 2\n");
    EXPECT_THAT(two.shown, IsEmpty());

    // Ticked and unticked again: the file the first click wrote goes, the
    // close button ends the dialog, and the next event shows it again.
    DialogRun undone("1s" + event + "2s dialog click 141\n3s dialog click 141\n4s dialog close\n5s" + event +
               "6s dialog click 1\n");
    EXPECT_THAT(undone.shown, ElementsAre(undone.Velashade("unticked"), L"dialog 142 ended with 0",
                                          undone.Velashade("unticked"), L"dialog 142 ended with 0"));
    EXPECT_FALSE(undone.notebook.machine.Files().GetFileInfo(kMarker));

    // A marker file left by an earlier session is honoured.
    DialogRun earlier("1s" + event, "", [](SimNotebook& notebook) {
        notebook.machine.Files().TempPath();
        notebook.WriteFile(kMarker, "true");
    });
    EXPECT_THAT(earlier.shown, IsEmpty());
}

// A storm of the same warning opens one dialog; different codes each open
// their own, on workers of their own, all answered from the timeline.
TEST(FirmwareDialogs, WarningsOnWorkersOpenOncePerCodeAtATime) {
    DialogRun run(Tarnwall("1s", "i4 1") + Tarnwall("1.1s", "i4 1") + Tarnwall("1.2s", "i4 4") +
            "2s dialog click 1\n3s dialog click 1\n" + Tarnwall("4s", "i4 1") + "5s dialog click 1\n");
    std::vector<std::wstring> opened;
    for (const auto& line : run.shown)
        if (line.find(L"opened") != std::wstring::npos) opened.push_back(line);
    EXPECT_THAT(opened, ElementsAre(run.Opened(525, "warning", run.Link()), run.Opened(523, "warning", run.Link()),
                                    run.Opened(525, "warning", run.Link())));
    EXPECT_TRUE(ProcessLogged(
        Line("Information", "ProcessTarnwallEvent", L"The warning for code 1 is still open; no second one is shown")));
}

// The BIOS's own event is a toast with its description, only while the
// firmware's setting for WMI events is on; a setting that cannot be read is
// logged.
TEST(FirmwareDialogs, TheBiosOwnEventIsAToastOnlyWithTheFirmwareSettingOn) {
    const std::string event = "1s wmi-event ARVEKBIOS_BIOSEvent Description=string \"Fan 2 failed\"\n";
    const struct {
        const char* setting;
        std::size_t toasts;
    } cases[] = {
        {"F10Setting.WMIEvents.Enabled = bool true\n", 1},
        {"F10Setting.WMIEvents.Enabled = bool false\n", 0},
        {"F10Setting.WMIEvents.Enabled = i4 1\n", 0},  // its 16 bits, whatever the tag: not VARIANT_TRUE
        {"F10Setting.WMIEvents.Enabled = fails 0x80070005\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        DialogRun run(event, "", nullptr, c.setting);
        const auto& toasts = run.notebook.machine.Toasts().ShownToasts();
        ASSERT_EQ(toasts.size(), c.toasts);
        if (c.toasts) {
            EXPECT_EQ(toasts[0].texts.at(0), L"Arvek Notifications");
            EXPECT_EQ(toasts[0].texts.at(1), L"Fan 2 failed");
        }
    }
    EXPECT_TRUE(ProcessLogged(Line("Information", "ProcessWMIEvent", L"Exception when call Popup. hr = 0x80070005")));
}

}  // namespace
