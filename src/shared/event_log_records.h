// Event log records in the layout ReadEventLogW gives them (EVENTLOGRECORD):
// a 56-byte header of little-endian fields (Length, the "LfLe" signature,
// RecordNumber, TimeGenerated, TimeWritten, EventID, EventType, NumStrings,
// EventCategory, ReservedFlags, ClosingRecordNumber, StringOffset,
// UserSidLength, UserSidOffset, DataLength, DataOffset), then the source's
// and the computer's names (UTF-16, each with its terminator), the user's
// SID, the insertion strings (UTF-16, each with its terminator, from
// StringOffset), the raw data, padding to four bytes and the Length again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Arvek::Shared {

struct EventLogRecord {
    std::uint32_t recordNumber = 0;
    std::uint32_t timeGenerated = 0;  // seconds since 1970-01-01 (UTC)
    std::uint32_t timeWritten = 0;
    std::uint32_t eventId = 0;
    std::uint16_t eventType = 0;
    std::uint16_t category = 0;
    std::wstring sourceName;
    std::wstring computerName;
    std::vector<std::wstring> strings;
};

// The records of `count` bytes of a read, stepping by each record's Length.
// A record whose Length or offsets do not fit what was read ends the walk,
// `malformed` is then set; the records before it stay.
std::vector<EventLogRecord> ParseEventLogRecords(const std::uint8_t* bytes, std::size_t count, bool& malformed);

// One record in that layout, no user SID, no raw data.
std::vector<std::uint8_t> EventLogRecordBytes(const EventLogRecord& record);

}  // namespace Arvek::Shared
