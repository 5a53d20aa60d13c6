// The Windows event log adapter: the contract it shares with the simulated
// notebook, and the record layout the readers of both rely on, checked
// against the system's own EVENTLOGRECORD. What a write hands ReportEventW
// is checked from outside, on Wine's debug channel (tests/wine/audit_log_test.sh).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "contract/event_log_contract.h"
#include "shared/event_log_records.h"
#include "win32/event_log_win32.h"

namespace Arvek::Testing {
namespace {

class Win32EventLogBackend final : public EventLogContractBackend {
public:
    Ports::IEventLog& EventLog() override { return m_log; }

private:
    Win32::Win32EventLog m_log;
};

std::unique_ptr<EventLogContractBackend> MakeWin32Backend() { return std::make_unique<Win32EventLogBackend>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32, EventLogContract, testing::Values(&MakeWin32Backend),
                         [](const auto&) { return std::string("Win32EventLog"); });

TEST(Win32EventLogRecord, TheLayoutIsTheSystemsOwn) {
    Shared::EventLogRecord record;
    record.recordNumber = 7;
    record.timeGenerated = 1764490502;
    record.timeWritten = 1764490503;
    record.eventId = 0xFFFFFFFBu;
    record.eventType = EVENTLOG_WARNING_TYPE;
    record.category = 3;
    record.sourceName = L"Arvek Tarnwall";
    record.computerName = L"LUMEN14";
    record.strings = {L"Tarnwall log entry: x", L"two"};
    const std::vector<std::uint8_t> bytes = Shared::EventLogRecordBytes(record);
    ASSERT_GE(bytes.size(), sizeof(EVENTLOGRECORD));
    EVENTLOGRECORD header;
    std::memcpy(&header, bytes.data(), sizeof header);
    static_assert(sizeof(EVENTLOGRECORD) == 56);
    EXPECT_EQ(header.Length, bytes.size());
    EXPECT_EQ(header.Reserved, 0x654C664Cu);
    EXPECT_EQ(header.RecordNumber, 7u);
    EXPECT_EQ(header.TimeGenerated, 1764490502u);
    EXPECT_EQ(header.TimeWritten, 1764490503u);
    EXPECT_EQ(header.EventID, 0xFFFFFFFBu);
    EXPECT_EQ(header.EventType, EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(header.NumStrings, 2);
    EXPECT_EQ(header.EventCategory, 3);
    EXPECT_EQ(header.UserSidLength, 0u);
    EXPECT_EQ(header.DataLength, 0u);
    // The names follow the header; the strings start where StringOffset says.
    const auto* names = reinterpret_cast<const wchar_t*>(bytes.data() + sizeof(EVENTLOGRECORD));
    EXPECT_STREQ(names, L"Arvek Tarnwall");
    EXPECT_STREQ(names + wcslen(names) + 1, L"LUMEN14");
    const auto* strings = reinterpret_cast<const wchar_t*>(bytes.data() + header.StringOffset);
    EXPECT_STREQ(strings, L"Tarnwall log entry: x");
    EXPECT_STREQ(strings + wcslen(strings) + 1, L"two");
}

}  // namespace Arvek::Testing
