// The agent's process frame on a simulated notebook: start-up refusals, the
// single-instance rule, the hidden window and the end of the message loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "agent/core/agent.h"
#include "process_log.h"
#include "sim_fixture.h"

using Arvek::Testing::ClearProcessLog;
using Arvek::Testing::ProcessLogLines;
using Arvek::Testing::SimNotebook;
using Notifications::Tidewatch::CTidewatchAgent;
using testing::Contains;
using testing::Not;

namespace {

struct AgentRun {
    explicit AgentRun(const std::string& scenario) : notebook(scenario) {
        ClearProcessLog();
        exitCode = notebook.machine.RunAgent();
        lines = ProcessLogLines();
    }
    std::vector<std::wstring> Window() { return notebook.machine.Log().Texts("window"); }
    std::vector<std::wstring> Agent() { return notebook.machine.Log().Texts("agent"); }

    SimNotebook notebook;
    int exitCode = -1;
    std::vector<std::wstring> lines;
};

TEST(Agent, RunsHiddenUntilItsWindowIsClosed) {
    AgentRun run("[machine]\n[timeline]\n2s post WM_COMMAND 1 0\n3s post WM_APP+2\n5s close-window\n");
    EXPECT_EQ(0, run.exitCode);
    ASSERT_FALSE(run.Window().empty());
    EXPECT_EQ(L"created window 0xa0100 class \"TIDEWATCH\" title \"Arvek Notifications\"", run.Window()[0]);
    EXPECT_EQ((std::vector<std::wstring>{L"TraceIn InitInstance : ", L"Verbose WndProc : WM_CREATE",
                                         L"TraceOut InitInstance : "}),
              std::vector<std::wstring>(run.lines.begin(), run.lines.begin() + 3));
    EXPECT_EQ(5000u, run.notebook.machine.Clock().ElapsedMs());
}

TEST(Agent, EndsWithTheSessionWhenTheTimelineRunsOut) {
    AgentRun run("[machine]\n");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_THAT(run.notebook.machine.Log().Texts("timeline"),
                Contains(L"end of timeline: the session closes the window"));
}

TEST(Agent, RefusesToRunWhileTheImageIsBuilt) {
    AgentRun run(SimNotebook::WithPolicy(
        "", "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Arvek Image]\n\"StateName\"=\"IMAGE_STATE_UNDEPLOYABLE\"\n"));
    EXPECT_EQ(Notifications::Tidewatch::kExitImageStillBuilding, run.exitCode);
    EXPECT_EQ((std::vector<std::wstring>{L"Verbose wWinMain : Image still building.  Exit app."}), run.lines);
    EXPECT_TRUE(run.Window().empty());
}

TEST(Agent, RunsWhenTheImageIsComplete) {
    AgentRun run(SimNotebook::WithPolicy(
        "", "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Arvek Image]\n\"StateName\"=\"image_state_Complete\"\n"));
    EXPECT_FALSE(run.Window().empty());
}

TEST(Agent, SecondInstanceInTheSessionEndsWithOneSilently) {
    AgentRun run("[machine]\nheld-mutex = TIDEWATCH\n");
    EXPECT_EQ(Notifications::Tidewatch::kExitAlreadyRunning, run.exitCode);
    EXPECT_TRUE(run.lines.empty());
    EXPECT_TRUE(run.Window().empty());
}

TEST(Agent, SecondStartWhileRunningLeavesTheFirstUntouched) {
    AgentRun run("[machine]\n[timeline]\n1s second-instance\n2s close-window\n");
    EXPECT_THAT(run.Agent(), Contains(L"second instance exited with code 1"));
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(2000u, run.notebook.machine.Clock().ElapsedMs());
}

TEST(Agent, OtherMutexNamesDoNotStopIt) {
    AgentRun run("[machine]\nheld-mutex = PORTOLAN\n");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_FALSE(run.Window().empty());
}

TEST(Agent, EndsWithZeroWhenItsWindowCannotBeMade) {
    AgentRun run("[machine]\nwindow-creation = fails\n");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ((std::vector<std::wstring>{L"TraceIn InitInstance : "}), run.lines);  // no TraceOut
}

// The window procedure's frame, against a windowing port that records what
// reaches the default procedure.
class MockWindowing : public Arvek::Ports::IWindowing {
public:
    MOCK_METHOD(bool, RegisterWindowClass, (const Arvek::Ports::WindowClass&), (override));
    MOCK_METHOD(Arvek::Ports::WindowHandle, CreateMainWindow,
                (std::uint32_t, const std::wstring&, const std::wstring&, std::uint32_t), (override));
    MOCK_METHOD(bool, RegisterSessionNotification, (Arvek::Ports::WindowHandle, std::uint32_t), (override));
    MOCK_METHOD(void, ShowWindow, (Arvek::Ports::WindowHandle, int), (override));
    MOCK_METHOD(void, UpdateWindow, (Arvek::Ports::WindowHandle), (override));
    MOCK_METHOD(bool, DestroyWindow, (Arvek::Ports::WindowHandle), (override));
    MOCK_METHOD(int, GetNextMessage, (Arvek::Ports::Message&), (override));
    MOCK_METHOD(void, Translate, (const Arvek::Ports::Message&), (override));
    MOCK_METHOD(std::intptr_t, Dispatch, (const Arvek::Ports::Message&), (override));
    MOCK_METHOD(bool, Post, (Arvek::Ports::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t), (override));
    MOCK_METHOD(void, PostQuit, (int), (override));
    MOCK_METHOD(std::intptr_t, DefaultProcedure,
                (Arvek::Ports::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t), (override));
    MOCK_METHOD(bool, SetText, (Arvek::Ports::WindowHandle, const std::wstring&), (override));
    MOCK_METHOD(Arvek::Ports::DeviceNotifyHandle, RegisterDeviceInterfaceNotification,
                (Arvek::Ports::WindowHandle, const Arvek::Ports::Guid&), (override));
    MOCK_METHOD(bool, UnregisterDeviceNotification, (Arvek::Ports::DeviceNotifyHandle), (override));
    MOCK_METHOD(bool, SetForegroundWindow, (Arvek::Ports::WindowHandle), (override));
    MOCK_METHOD(bool, SetEvent, (Arvek::Ports::EventHandle), (override));
};

struct WndProcFixture : testing::Test {
    SimNotebook notebook{"[machine]\n"};
    MockWindowing windowing;
    Arvek::Ports::Platform platform = Arvek::Ports::WithWindowing(notebook.machine.Platform(), windowing);
    Notifications::Tidewatch::AgentGlobals globals;
    CTidewatchAgent agent{platform, globals, 0x400000};
};

TEST_F(WndProcFixture, SwallowsCommandsAndPassesOthersOn) {
    using testing::_;
    for (std::uint32_t swallowed : {0x0111u, 0x031Fu, 0x8002u}) {
        EXPECT_CALL(windowing, DefaultProcedure(_, swallowed, _, _)).Times(0);
        EXPECT_EQ(0, agent.WndProc(0x10, swallowed, 1, 2));
    }
    for (std::uint32_t passed : {0x0010u, 0x8001u, 0x8003u, 0x0400u}) {
        EXPECT_CALL(windowing, DefaultProcedure(0x10, passed, 1, 2)).WillOnce(testing::Return(77));
        EXPECT_EQ(77, agent.WndProc(0x10, passed, 1, 2));
    }
}

TEST_F(WndProcFixture, DestroyUnregistersAsStoredSignalsTheMonitorAndQuits) {
    using testing::InSequence;
    {
        InSequence order;
        EXPECT_CALL(windowing, UnregisterDeviceNotification(0u));
        EXPECT_CALL(windowing, UnregisterDeviceNotification(0u));
        EXPECT_CALL(windowing, PostQuit(0));
    }
    EXPECT_CALL(windowing, SetEvent(testing::_)).Times(0);
    EXPECT_EQ(0, agent.WndProc(0x10, 2, 0, 0));

    agent.Globals().g_hUsbDeviceNotify = 0x51;
    agent.Globals().g_hUsbHubNotify = 0x52;
    agent.Globals().g_hMonitorStopEvent = 0x99;
    {
        InSequence order;
        EXPECT_CALL(windowing, UnregisterDeviceNotification(0x51u));
        EXPECT_CALL(windowing, UnregisterDeviceNotification(0x52u));
        EXPECT_CALL(windowing, SetEvent(0x99u));
        EXPECT_CALL(windowing, PostQuit(0));
    }
    EXPECT_EQ(0, agent.WndProc(0x10, 2, 0, 0));
}

}  // namespace
