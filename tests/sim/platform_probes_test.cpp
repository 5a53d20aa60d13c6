// The agent's platform probes on the simulated notebook: the two version
// tests, the icon file in the temporary folder, and showing the messages
// that wait at start-up.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>

#include "agent/core/platform_probes.h"
#include "agent/usbc/notifications_handler.h"
#include "process_log.h"
#include "sim_fixture.h"

namespace {

using Arvek::Testing::SimNotebook;
using namespace Notifications::Tidewatch;

TEST(PlatformProbes, VersionNumbersReadAsMajorDotMinor) {
    const struct {
        const wchar_t* text;
        std::int64_t number;
        std::int32_t major, minor;
    } cases[] = {
        {L"10.0.22631", 1000, 10, 0}, {L"6.3.9600", 603, 6, 3}, {L"9.9", 909, 9, 9},
        {L"10", 0, 0, 0},             {L"", 0, 0, 0},           {L"x10.0", 0, 0, 0},
        {L" 6.2", 602, 6, 2},         {L"6.", 0, 0, 0},         {L"6.-1", 599, 6, -1},
    };
    for (const auto& c : cases) {
        std::int32_t major = -7, minor = -7;
        EXPECT_EQ(ParseVersionNumber(c.text, major, minor), c.number) << c.text;
        EXPECT_EQ(major, c.major) << c.text;
        EXPECT_EQ(minor, c.minor) << c.text;
    }
}

TEST(PlatformProbes, TheSystemVersionAsTheTwoTestsSeeIt) {
    const struct {
        const char* version;
        bool windows8, windows10;
    } cases[] = {
        {"10.0.22631", true, true}, {"6.3.9600", true, false}, {"6.2.9200", true, false},
        {"6.1.7601", false, false}, {"9.9", true, false},      {"10", false, false},
    };
    for (const auto& c : cases) {
        SimNotebook notebook(std::string("[machine]\nos-version = ") + c.version + "\n");
        auto& platform = notebook.machine.Platform();
        EXPECT_EQ(IsWindows8OrLater(platform.process), c.windows8) << c.version;
        EXPECT_EQ(Win10AndHiger(platform), c.windows10) << c.version;
    }
}

TEST(PlatformProbes, Windows10TestLogsWhatItReadOrWhereItFailed) {
    SimNotebook notebook("[machine]\nos-version = 10.0.19045\n");
    Arvek::Testing::ClearProcessLog();
    EXPECT_TRUE(Win10AndHiger(notebook.machine.Platform()));
    auto log = Arvek::Testing::ProcessLogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), L"TraceOut Notifications::Tidewatch::Win10AndHiger : Major=10  Minor=0   Version=1000"), log.end());

    SimNotebook stopped("[machine]\nwmi = stopped\n");
    Arvek::Testing::ClearProcessLog();
    EXPECT_FALSE(Win10AndHiger(stopped.machine.Platform()));
    log = Arvek::Testing::ProcessLogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), L"Verbose Notifications::Tidewatch::Win10AndHiger : ExecuteQuery failed."),
              log.end());
    EXPECT_EQ(stopped.machine.Com().Balance(), 0);
}

struct IconFiles : testing::Test {
    SimNotebook notebook{"[machine]\n"};
    Arvek::Ports::Platform& platform = notebook.machine.Platform();
    std::string Bytes(const std::wstring& path) { return notebook.ReadFile(path); }
    void Put(const std::wstring& path, const std::string& bytes) { notebook.WriteFile(path, bytes); }
};

// The first call writes the agent's icon; later calls take the file as it
// is, even one that is no icon at all.
TEST_F(IconFiles, TheAgentIconIsWrittenOnceAndThenReused) {
    const std::wstring expected = platform.files.TempPath() + L"Arvek.ico";
    ASSERT_EQ(GetDefaultIconPath(platform, L"Arvek.ico", 133), expected);
    const auto icon = platform.resources.LoadData(300, 133);
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(Bytes(expected), std::string(icon->begin(), icon->end()));
    EXPECT_EQ(Bytes(expected).substr(0, 6), std::string("\0\0\1\0\x08\0", 6)) << "an icon file of 8 images";

    Put(expected, "damaged");
    EXPECT_EQ(GetDefaultIconPath(platform, L"Arvek.ico", 133), expected);
    EXPECT_EQ(Bytes(expected), "damaged");
}

TEST_F(IconFiles, AnIconTheAgentDoesNotCarryIsFoundOnlyIfItIsThere) {
    EXPECT_EQ(GetDefaultIconPath(platform, L"ARTW.ico", 136), L"");
    EXPECT_FALSE(platform.files.GetFileInfo(platform.files.TempPath() + L"ARTW.ico"));

    const std::wstring placed = platform.files.TempPath() + L"ARTW.ico";
    Put(placed, "icon");
    EXPECT_EQ(GetDefaultIconPath(platform, L"ARTW.ico", 136), placed);
}

// Which port selector the waiting messages are asked for, if any.
TEST(PlatformProbes, WaitingMessagesFollowHowTheMachineSignalsUsbCEvents) {
    const struct {
        const char* tolm;
        std::optional<int> port;
    } cases[] = {
        {"Platform.MachineID = string 8042\nPlatform.USBC.Supported = bool true\n", 0},
        {"Platform.MachineID = string 0000\nPlatform.USBC.Supported = bool true\n", 255},
        {"Platform.MachineID = string 0000\nPlatform.USBC.Supported = bool false\n", std::nullopt},
    };
    for (const auto& c : cases) {
        SimNotebook notebook(std::string("[machine]\n[tolm]\n") + c.tolm);
        auto& platform = notebook.machine.Platform();
        platform.com.InitializeThread(Arvek::Ports::kCOINIT_APARTMENTTHREADED);
        CNotificationsHandler handler(platform);
        handler.Init();
        notebook.machine.Tolm().ClearCalls();
        DisplayExistingMessages(&handler);

        std::optional<int> asked;
        for (const auto& call : notebook.machine.Tolm().Calls())
            if (call.command == L"Platform.USBC.Messages" && call.argument) asked = call.argument->bits & 0xFF;
        EXPECT_EQ(asked, c.port) << c.tolm;
    }
    DisplayExistingMessages(nullptr);  // before the start-up made a handler: nothing happens
}

}  // namespace
