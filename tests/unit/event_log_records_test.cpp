// Event log records in the layout ReadEventLogW gives: written and read back
// whole, several in one buffer, and a read that holds something else ends
// the walk without reading past what was read.
#include <gtest/gtest.h>

#include <cstring>

#include "shared/event_log_records.h"

namespace {

using Arvek::Shared::EventLogRecord;
using Arvek::Shared::EventLogRecordBytes;
using Arvek::Shared::ParseEventLogRecords;

EventLogRecord Sample(std::uint32_t number, std::vector<std::wstring> strings) {
    EventLogRecord record;
    record.recordNumber = number;
    record.timeGenerated = 1764490502;
    record.timeWritten = 1764490503;
    record.eventId = 0xFFFFFFFBu;
    record.eventType = 2;
    record.category = 3;
    record.sourceName = L"Arvek Tarnwall";
    record.computerName = L"LUMEN14";
    record.strings = std::move(strings);
    return record;
}

void ExpectSame(const EventLogRecord& a, const EventLogRecord& b) {
    EXPECT_EQ(a.recordNumber, b.recordNumber);
    EXPECT_EQ(a.timeGenerated, b.timeGenerated);
    EXPECT_EQ(a.timeWritten, b.timeWritten);
    EXPECT_EQ(a.eventId, b.eventId);
    EXPECT_EQ(a.eventType, b.eventType);
    EXPECT_EQ(a.category, b.category);
    EXPECT_EQ(a.sourceName, b.sourceName);
    EXPECT_EQ(a.computerName, b.computerName);
    EXPECT_EQ(a.strings, b.strings);
}

TEST(EventLogRecords, SeveralRecordsOfABufferReadBackWhole) {
    const EventLogRecord first = Sample(1, {L"Tarnwall log entry: Pr\u00fcfung \u2713\r\nTimestamp: t", L"", L"3"});
    const EventLogRecord second = Sample(2, {});
    std::vector<std::uint8_t> bytes = EventLogRecordBytes(first);
    EXPECT_EQ(bytes.size() % 4, 0u);
    std::uint32_t length;
    std::memcpy(&length, bytes.data() + bytes.size() - 4, 4);
    EXPECT_EQ(length, bytes.size()) << "the Length again at the end";
    const auto more = EventLogRecordBytes(second);
    bytes.insert(bytes.end(), more.begin(), more.end());

    bool malformed = true;
    const auto records = ParseEventLogRecords(bytes.data(), bytes.size(), malformed);
    EXPECT_FALSE(malformed);
    ASSERT_EQ(records.size(), 2u);
    ExpectSame(records[0], first);
    ExpectSame(records[1], second);
}

TEST(EventLogRecords, ARecordThatDoesNotHoldTogetherEndsTheWalk) {
    const std::vector<std::uint8_t> good = EventLogRecordBytes(Sample(1, {L"kept"}));
    const std::vector<std::uint8_t> record = EventLogRecordBytes(Sample(2, {L"one", L"two"}));
    const auto put32 = [](std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
        std::memcpy(bytes.data() + at, &value, 4);
    };
    const struct {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> spoil;
    } cases[] = {
        {"a piece of a header", [](auto& b) { b.resize(40); }},
        {"cut short of its Length", [](auto& b) { b.resize(b.size() - 8); }},
        {"another signature", [&](auto& b) { put32(b, 4, 0x12345678); }},
        {"a Length shorter than a header", [&](auto& b) { put32(b, 0, 8); }},
        {"a Length of zero", [&](auto& b) { put32(b, 0, 0); }},
        {"a Length not of whole words", [&](auto& b) { put32(b, 0, static_cast<std::uint32_t>(b.size() - 2)); }},
        {"strings beyond the record", [&](auto& b) { put32(b, 36, static_cast<std::uint32_t>(b.size() + 64)); }},
        {"more strings than it holds", [&](auto& b) { b[26] = 200; }},
        {"names without a terminator", [&](auto& b) {
             for (std::size_t i = 56; i + 4 < b.size(); ++i) b[i] = 'x';
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> spoilt = record;
        c.spoil(spoilt);
        std::vector<std::uint8_t> bytes = good;
        bytes.insert(bytes.end(), spoilt.begin(), spoilt.end());
        bool malformed = false;
        const auto records = ParseEventLogRecords(bytes.data(), bytes.size(), malformed);
        EXPECT_TRUE(malformed);
        ASSERT_EQ(records.size(), 1u) << "the record before it stays";
        EXPECT_EQ(records[0].strings, std::vector<std::wstring>{L"kept"});
    }
}

}  // namespace
