// Which listeners the log makes and which levels reach them, from the policy
// values of a simulated notebook.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "sim_fixture.h"
#include "shared/log.h"

using namespace Arvek::Shared;
using Arvek::Testing::SimNotebook;

namespace {

constexpr const char* kProduct = "[HKEY_LOCAL_MACHINE\\Software\\Policies\\Arvek\\Tidewatch Application]\n";
constexpr const char* kProgram = "[HKEY_LOCAL_MACHINE\\Software\\Policies\\Arvek\\Tidewatch Application\\Tidewatch]\n";

struct LogFixture {
    explicit LogFixture(const std::string& policy, const std::string& machine = "")
        : notebook(SimNotebook::WithPolicy(machine, policy)),
          log(notebook.machine.Platform(), Error, Event) {}
    std::vector<std::wstring> Events() { return notebook.machine.Log().Texts("event-log"); }
    std::vector<std::wstring> Debug() { return notebook.machine.Log().Texts("debug"); }
    std::vector<std::wstring> Console() { return notebook.machine.Log().Texts("console"); }

    SimNotebook notebook;
    CArvekLog log;
};

TEST(LogConfig, WithoutPolicyOnlyErrorsReachTheEventLog) {
    LogFixture f("");
    EXPECT_EQ(1u, f.log.ListenerCount());
    EXPECT_EQ(Error, f.log.MinLevel());
    EXPECT_EQ(Error, f.log.MaxLevel());
    f.log.Log(Verbose, "F", L"quiet");
    f.log.Log(Warning, "F", L"quiet too");
    f.log.Log(Error, "F", L"boom %d", 5);
    ASSERT_EQ(1u, f.Events().size());
    EXPECT_EQ(L"Tidewatch Error id=5: 2026/12/09 08:00:00.000|00001A2C|Error      |F|boom 5", f.Events()[0]);
    EXPECT_TRUE(f.Debug().empty());
}

TEST(LogConfig, LoggingTypeKeywordsSelectListeners) {
    const struct {
        std::string value;
        std::vector<ListenerType> listeners;
    } cases[] = {
        {"\"debug\"", {Debug}},
        {"\"EVENT,CONSOLE\"", {Event, Console}},
        {"\"console debug\"", {Debug, Console}},
        {"\"DEBUGCONSOLEEVENT\"", {Event, Debug, Console}},
        {"\"SYSLOG\"", {Event}},  // no keyword: the default
        {"\"\"", {Event}},
        {"dword:00000010", {Event}},  // read whatever its type; these bytes hold no keyword
        {"\"" + std::string(64, 'D') + "DEBUG\"", {Event}},  // longer than 63 characters: absent
    };
    for (const auto& c : cases) {
        LogFixture f(std::string(kProduct) + "\"LoggingType\"=" + c.value + "\n");
        std::vector<ListenerType> types;
        for (std::size_t i = 0; i < f.log.ListenerCount(); ++i) types.push_back(f.log.Listener(i)->GetType());
        EXPECT_EQ(c.listeners, types) << c.value;
    }
}

TEST(LogConfig, ProgramKeyOverridesProductKeyValueByValue) {
    LogFixture f(std::string(kProduct) +
                 "\"LoggingType\"=\"DEBUG\"\n\"MinLogLevel\"=\"Error\"\n\"MaxLogLevel\"=\"Diag\"\n\n" + kProgram +
                 "\"MinLogLevel\"=\"verbose\"\n");
    EXPECT_EQ(Verbose, f.log.MinLevel());
    EXPECT_EQ(Diag, f.log.MaxLevel());
    f.log.Log(TraceIn, "F", L"dropped");
    f.log.Log(Verbose, "Fn", L"kept");
    f.log.Log(Diag, "Fn", L"kept too");
    EXPECT_EQ((std::vector<std::wstring>{L"Fn : kept", L"Fn : kept too"}), f.Debug());
}

TEST(LogConfig, LevelWindowValuesMustBeNonEmptyStrings) {
    const struct {
        const char* values;
        LogLevel min, max;
    } cases[] = {
        {"\"MinLogLevel\"=dword:00000002\n", Error, Error},             // not REG_SZ: ignored
        {"\"MinLogLevel\"=\"\"\n", Error, Error},                       // empty: ignored
        {"\"MinLogLevel\"=\"Verbos\"\n", Never, Error},                 // misspelt minimum silences
        {"\"MinLogLevel\"=\"Verbose\"\n\"MaxLogLevel\"=\"Everything\"\n", Verbose, Never},  // opens up
        {"\"MinLogLevel\"=hex(2):56,00,65,00,72,00,62,00,6f,00,73,00,65,00,00,00\n", Error, Error},
    };
    for (const auto& c : cases) {
        LogFixture f(std::string(kProduct) + "\"LoggingType\"=\"DEBUG\"\n" + c.values);
        ASSERT_EQ(1u, f.log.ListenerCount());
        EXPECT_EQ(c.min, f.log.Listener(0)->MinLevel()) << c.values;
        EXPECT_EQ(c.max, f.log.Listener(0)->MaxLevel()) << c.values;
    }
}

TEST(LogConfig, WithoutProductNameOrKeyTheDefaultsApply) {
    // No product name in the version resource: the policy key is never found.
    LogFixture noProduct(std::string(kProduct) + "\"LoggingType\"=\"DEBUG\"\n", "product =");
    EXPECT_EQ(Event, noProduct.log.Listener(0)->GetType());
    // A program key alone does nothing without its product key.
    LogFixture other("[HKEY_LOCAL_MACHINE\\Software\\Policies\\Arvek\\Other Product\\Tidewatch]\n\"LoggingType\"=\"DEBUG\"\n");
    EXPECT_EQ(Event, other.log.Listener(0)->GetType());
}

TEST(LogCall, EventListenerMapsLevelsAndNeverTakesDiag) {
    LogFixture f(std::string(kProduct) + "\"MinLogLevel\"=\"TraceIn\"\n\"MaxLogLevel\"=\"Diag\"\n");
    f.log.Log(Information, "F", L"i");
    f.log.Log(Warning, "F", L"w");
    f.log.Log(Diag, "F", L"d");
    const auto events = f.notebook.machine.EventLog().Entries();
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(Arvek::Ports::kEVENTLOG_INFORMATION_TYPE, events[0].type);
    EXPECT_EQ(3u, events[0].eventId);
    EXPECT_EQ(Arvek::Ports::kEVENTLOG_WARNING_TYPE, events[1].type);
    EXPECT_EQ(4u, events[1].eventId);
}

TEST(LogCall, CutsLongMessagesButNotReadyTexts) {
    LogFixture f(std::string(kProduct) + "\"LoggingType\"=\"CONSOLE\"\n");
    const std::wstring text(600, L'x');
    f.log.Log(Error, "F", L"%s", text);
    f.log.LogText(Error, "F", text);
    ASSERT_EQ(2u, f.Console().size());
    EXPECT_EQ(L"F : " + text.substr(0, 511), f.Console()[0]);
    EXPECT_EQ(L"F : " + text, f.Console()[1]);
}

TEST(LogCall, LinesAreWholeHoweverLongOrForeignTheFunctionNameAndTheText) {
    // The log call builds its line in a buffer of its own; long function
    // names, names that are not ASCII and long ready texts take other ways
    // and must give the same lines.
    LogFixture f(std::string(kProduct) + "\"LoggingType\"=\"EVENT CONSOLE\"\n");
    const std::string longName(300, 'N');
    const std::wstring longText(2000, L't');
    f.log.Log(Error, longName.c_str(), L"m %d", 1);
    f.log.Log(Error, "Stra\xC3\x9F" "e::F", L"m %d", 2);
    f.log.LogText(Error, "F", longText);
    f.log.LogText(Error, nullptr, L"");
    const std::wstring prefix = L"Tidewatch Error id=5: 2026/12/09 08:00:00.000|00001A2C|Error      |";
    EXPECT_EQ((std::vector<std::wstring>{prefix + std::wstring(300, L'N') + L"|m 1", prefix + L"Stra\u00DFe::F|m 2",
                                         prefix + L"F|" + longText, prefix + L"|"}),
              f.Events());
    EXPECT_EQ((std::vector<std::wstring>{std::wstring(300, L'N') + L" : m 1", L"Stra\u00DFe::F : m 2", L"F : " + longText,
                                         L" : "}),
              f.Console());
}

TEST(LogCall, KeepsTheCallersLastError) {
    LogFixture f(std::string(kProduct) + "\"LoggingType\"=\"CONSOLE EVENT\"\n");
    auto& process = f.notebook.machine.Platform().process;
    process.SetLastError(1460);
    f.log.Log(Error, "F", L"x");
    EXPECT_EQ(1460u, process.LastError());
    EXPECT_EQ(1u, f.Console().size());
}

TEST(LogCall, NullOrEmptyFormatGivesAnEmptyMessage) {
    LogFixture f(std::string(kProduct) + "\"LoggingType\"=\"CONSOLE\"\n");
    f.log.Log(Error, "F", nullptr);
    f.log.Log(Error, "G", L"");
    EXPECT_EQ((std::vector<std::wstring>{L"F : ", L"G : "}), f.Console());
}

TEST(LogTimer, ReportsElapsedTimeAtDiag) {
    LogFixture f(std::string(kProduct) + "\"LoggingType\"=\"CONSOLE\"\n\"MinLogLevel\"=\"Diag\"\n\"MaxLogLevel\"=\"Diag\"\n");
    CArvekLogTimer timer;
    timer.Start(f.log, "Fn");
    f.notebook.machine.Clock().Advance(1234);
    timer.Stop();
    CArvekLogTimer longTimer;
    longTimer.Start(f.log, "Long");
    f.notebook.machine.Clock().Advance(1'500'000'000);  // 1.5e9 ms is above the 1e6 ms switch
    longTimer.Stop();
    EXPECT_EQ((std::vector<std::wstring>{L"Fn : Elapsed time =  1234.0 ms.", L"Long : Elapsed time = 1500000.0 s."}),
              f.Console());
}

}  // namespace

namespace {

TEST(LogConfig, TimingSwitchFollowsTheFileListenersWindow) {
    const struct {
        const char* values;
        bool timing;
    } cases[] = {
        {"\"LoggingType\"=\"file\"\n\"MinLogLevel\"=\"Diag\"\n\"MaxLogLevel\"=\"Diag\"\n", true},
        {"\"LoggingType\"=\"FILE\"\n\"MinLogLevel\"=\"TraceIn\"\n\"MaxLogLevel\"=\"Diag\"\n", true},
        {"\"LoggingType\"=\"FILE\"\n\"MinLogLevel\"=\"TraceIn\"\n", false},  // maximum stays Error
        {"\"LoggingType\"=\"DEBUG\"\n\"MinLogLevel\"=\"Diag\"\n\"MaxLogLevel\"=\"Diag\"\n", false},  // no file listener
    };
    for (const auto& c : cases) {
        LogFixture f(std::string(kProduct) + c.values);
        EXPECT_EQ(c.timing, f.log.TimingEnabled()) << c.values;
    }
}

TEST(LogConfig, DiagOnlyFileLogGetsElapsedTimesAndNoTraceIn) {
    LogFixture f(std::string(kProduct) +
                 "\"LoggingType\"=\"file\"\n\"MinLogLevel\"=\"Diag\"\n\"MaxLogLevel\"=\"Diag\"\n");
    ASSERT_EQ(1u, f.log.ListenerCount());  // the file listener only: the event log gets nothing
    {
        CArvekLogScope scope(f.log, "Fn");
        f.notebook.machine.Clock().Advance(25);
    }
    f.log.Log(Error, "Fn", L"not in the window");
    std::ifstream in(f.notebook.folder.Path() / "C/Users/user/AppData/Roaming/arqLog/Tidewatch.log",
                     std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ("\xEF\xBB\xBF" "2026/12/09 08:00:00.025|00001A2C|Diag       |Fn|Elapsed time =    25.0 ms.\r\n", content);
    EXPECT_TRUE(f.notebook.machine.EventLog().Entries().empty());
}

}  // namespace
