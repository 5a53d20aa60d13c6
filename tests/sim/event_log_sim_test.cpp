// The simulated notebook's event log: the contract it shares with Windows,
// and what only it can show, since Wine keeps no events: records read back
// newest first in ReadEventLogW's layout, the room a record needs, the
// Application log taking what no other log names, and earlier content from
// the scenario.
#include <gtest/gtest.h>

#include "contract/event_log_contract.h"
#include "shared/event_log_records.h"
#include "sim_fixture.h"

namespace Arvek::Testing {
namespace {

class SimEventLogBackend final : public EventLogContractBackend {
public:
    Ports::IEventLog& EventLog() override { return m_notebook.machine.EventLog(); }

private:
    SimNotebook m_notebook{""};
};

std::unique_ptr<EventLogContractBackend> MakeSimBackend() { return std::make_unique<SimEventLogBackend>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sim, EventLogContract, testing::Values(&MakeSimBackend),
                         [](const auto&) { return std::string("SimEventLog"); });

namespace {

// Every record of a log, newest first, read with a buffer of `size` bytes
// that grows as the log asks; the reads' results in `results`.
std::vector<Shared::EventLogRecord> ReadAll(Ports::IEventLog& log, const std::wstring& name, std::size_t size,
                                            std::vector<std::uint32_t>& results) {
    std::unique_ptr<Ports::IEventLogReader> reader;
    EXPECT_EQ(log.OpenLog(name, reader), 0u);
    std::vector<Shared::EventLogRecord> records;
    std::vector<std::uint8_t> buffer(size);
    for (int reads = 0; reads < 100; ++reads) {
        std::uint32_t read = 0, needed = 0;
        const std::uint32_t result = reader->ReadBackwards(buffer, read, needed);
        results.push_back(result);
        if (result == kERROR_INSUFFICIENT_BUFFER) {
            EXPECT_GT(needed, buffer.size());
            buffer.resize(needed);
            continue;
        }
        if (result != 0) break;
        bool malformed = false;
        for (auto& record : Shared::ParseEventLogRecords(buffer.data(), read, malformed)) records.push_back(record);
        EXPECT_FALSE(malformed);
    }
    return records;
}

TEST(SimEventLogStore, WrittenRecordsReadBackNewestFirstAndAskForTheRoomTheyNeed) {
    SimNotebook notebook("");
    auto& log = notebook.machine.EventLog();
    {
        const auto source = log.RegisterSource(L"Arvek Tarnwall");
        ASSERT_TRUE(source);
        EXPECT_EQ(source->Report(Ports::kEVENTLOG_WARNING_TYPE, 0, 12, {L"first"}), 0u);
        EXPECT_EQ(source->Report(Ports::kEVENTLOG_ERROR_TYPE, 0, 13, {std::wstring(40000, L'x')}), 0u);
        EXPECT_EQ(source->Report(Ports::kEVENTLOG_INFORMATION_TYPE, 0, 14, {L"third"}), 0u);
    }
    // A name no log has opens the Application log, where the source wrote.
    for (const wchar_t* name : {L"Application", L"Arvek Tarnwall"}) {
        std::vector<std::uint32_t> results;
        const auto records = ReadAll(log, name, 65536, results);
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(records[0].eventId, 14u);
        EXPECT_EQ(records[1].strings.front().size(), 40000u);
        EXPECT_EQ(records[2].eventId, 12u);
        EXPECT_EQ(records[2].sourceName, L"Arvek Tarnwall");
        EXPECT_EQ(records[0].recordNumber, 3u);
        // The big one did not fit after the newest: the log asked for room
        // for it, and it came alone, the oldest with the next read.
        EXPECT_EQ(results, (std::vector<std::uint32_t>{0, kERROR_INSUFFICIENT_BUFFER, 0, 0, Ports::kERROR_HANDLE_EOF}));
    }
    // Each write reached the transcript.
    EXPECT_EQ(notebook.machine.Log().Texts("event-log").front(), L"Arvek Tarnwall Warning id=12: first");
}

TEST(SimEventLogStore, ASourceALogNamesWritesThereAndNowhereElse) {
    SimNotebook notebook("");
    auto& log = notebook.machine.EventLog();
    log.NameSource(L"Arvek Tarnwall", L"Arvek Tarnwall");
    ASSERT_EQ(log.RegisterSource(L"ARVEK TARNWALL")->Report(Ports::kEVENTLOG_INFORMATION_TYPE, 0, 1, {L"x"}), 0u);
    EXPECT_EQ(log.Records(L"Arvek Tarnwall").size(), 1u);
    EXPECT_TRUE(log.Records(L"Application").empty());
}

TEST(SimEventLogStore, TheScenarioGivesEarlierContent) {
    SimNotebook notebook(
        "[event-log]\n"
        "# LOG SOURCE TYPE ID STRING...\n"
        "Application \"Arvek Tarnwall\" warning 12 \"a\\r\\nTimestamp: t \\\"q\\\" \\u2713\" second\n"
        "Application Tidewatch error 0x10\n");
    const auto records = notebook.machine.EventLog().Records(L"Application");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].sourceName, L"Arvek Tarnwall");
    EXPECT_EQ(records[0].eventType, Ports::kEVENTLOG_WARNING_TYPE);
    EXPECT_EQ(records[0].strings, (std::vector<std::wstring>{L"a\r\nTimestamp: t \"q\" \u2713", L"second"}));
    EXPECT_EQ(records[1].eventId, 16u);
    EXPECT_TRUE(records[1].strings.empty());

    ExpectScenarioRefused("[event-log]\nApplication Tidewatch fatal 1\n", "s.scenario:2: the type is error");
    ExpectScenarioRefused("[event-log]\nApplication Tidewatch error\n", "s.scenario:2: expected: LOG SOURCE");
    ExpectScenarioRefused("[event-log]\nApplication Tidewatch error 0x100000000\n", "s.scenario:2: expected");
    ExpectScenarioRefused("[event-log]\nApplication \"Tidewatch error 1\n", "s.scenario:2: expected");
}

}  // namespace
}  // namespace Arvek::Testing
