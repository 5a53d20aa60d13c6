// Scenario files: what they say, and clear errors naming file and line.
#include <gtest/gtest.h>

#include "sim/os/reg_file.h"
#include "sim/machine/scenario.h"
#include "sim_fixture.h"

using namespace Arvek::Sim;

namespace {

TEST(Scenario, ReadsMachineRegistryAndTimeline) {
    const Scenario s = ParseScenario(
        "# a notebook\n"
        "[machine]\n"
        "model = Arvek Lumen 14\n"
        "start = 2026-02-28 23:59:59.500   # just before midnight\n"
        "language = 0x0415\n"
        "held-mutex = OTHER\n"
        "[registry]\n"
        "Windows Registry Editor Version 5.00\n"
        "[HKEY_LOCAL_MACHINE\\Software\\X]\n"
        "\"A\"=\"b\"\n"
        "[timeline]\n"
        "500ms post WM_APP+2 7 8\n"
        "1.5s close-window\n",
        "s.scenario", ".");
    EXPECT_EQ("Arvek Lumen 14", s.model);
    EXPECT_EQ(0x0415, s.language);
    EXPECT_EQ(std::vector<std::wstring>{L"OTHER"}, s.heldMutexes);
    ASSERT_EQ(1u, s.registry.size());
    EXPECT_EQ(8, s.registry[0].firstLine);
    ASSERT_EQ(2u, s.timeline.size());
    EXPECT_EQ(500u, s.timeline[0].atMs);
    EXPECT_EQ(L"post message 0x8002 wParam 7 lParam 8", s.timeline[0].stimulus->Describe());
    EXPECT_EQ(1500u, s.timeline[1].atMs);
    EXPECT_EQ("close-window", s.timeline[1].verb);

    // The clock starts there and crosses midnight into March.
    Arvek::Testing::TempFolder folder;
    SimMachine machine(s, folder.Path());
    machine.Clock().Advance(500);
    const auto t = machine.Clock().LocalTime();
    EXPECT_EQ((std::vector<int>{2026, 3, 1, 0, 0, 0, 0}),
              (std::vector<int>{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds}));
}

// Variable names compare without regard to case, as on Windows; APPDATA is
// the user's roaming folder unless the scenario says otherwise.
TEST(Scenario, EnvironmentVariables) {
    Arvek::Testing::SimNotebook notebook("[machine]\nenv.Arvek_Home = C:\\Arvek\nenv.EMPTY =\n");
    auto& process = notebook.machine.Platform().process;
    EXPECT_EQ(process.EnvironmentVariable(L"ARVEK_HOME"), std::optional<std::wstring>(L"C:\\Arvek"));
    EXPECT_EQ(process.EnvironmentVariable(L"empty"), std::optional<std::wstring>(L""));
    EXPECT_EQ(process.EnvironmentVariable(L"AppData"),
              std::optional<std::wstring>(L"C:\\Users\\user\\AppData\\Roaming"));
    EXPECT_EQ(process.EnvironmentVariable(L"NOT_SET"), std::nullopt);
}

TEST(Scenario, ErrorsNameFileAndLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"model = x\n", "s.scenario:1: text before the first section"},
        {"[machine]\nmodel\n", "s.scenario:2: expected name = value"},
        {"[machine]\n\nstart = 2026-02-30 10:00:00\n", "s.scenario:3: start must be"},
        {"[machine]\nlanguage = english\n", "s.scenario:2: language must be"},
        {"[machine]\ncolour = red\n", "s.scenario:2: unknown machine setting \"colour\""},
        {"[machine]\nregistry-file = does-not-exist.reg\n", "s.scenario:2: cannot read"},
        {"[machine]\nenv. = x\n", "s.scenario:2: env.NAME needs a variable name"},
        {"[machine]\ntoasts = maybe\n", "s.scenario:2: toasts is \"available\" or \"absent\""},
        {"[machine]\nprogram-files-x86 = Programs\n", "s.scenario:2: program-files-x86 must be a Windows path"},
        {"[timeline]\nsoon close-window\n", "s.scenario:2: expected a time"},
        {"[timeline]\n2s close-window\n1s close-window\n", "s.scenario:3: times must not go backwards"},
        {"[timeline]\n1s explode\n", "s.scenario:2: unknown stimulus \"explode\""},
        {"[timeline]\n1s post WM_NOPE\n", "s.scenario:2: expected: post MESSAGE"},
        {"[timeline]\n1s close-window now\n", "s.scenario:2: close-window takes no arguments"},
    };
    for (const auto& c : cases) Arvek::Testing::ExpectScenarioRefused(c.text, c.error);
}

TEST(Scenario, RegistryErrorsPointIntoTheScenario) {
    const Scenario s = ParseScenario("[machine]\n[registry]\nWindows Registry Editor Version 5.00\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\X]\n\"A\"=dword:xyz\n",
                                     "s.scenario", ".");
    Arvek::Testing::TempFolder folder;
    try {
        SimMachine machine(s, folder.Path());
        ADD_FAILURE() << "a malformed registry was accepted";
    } catch (const RegFileError& e) {
        EXPECT_EQ(0u, std::string(e.what()).find("s.scenario:5:")) << e.what();
    }
}

}  // namespace
