#include "shared/event_log_records.h"

#include "common/strings.h"

namespace Arvek::Shared {
namespace {

constexpr std::size_t kHeaderSize = 56;
constexpr std::uint32_t kSignature = 0x654C664C;  // "LfLe"

std::uint32_t Read32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}
std::uint16_t Read16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void PutString(std::vector<std::uint8_t>& out, const std::wstring& text) {
    for (const wchar_t c : text) Put16(out, static_cast<std::uint16_t>(c));
    Put16(out, 0);
}

// A UTF-16 string from `at` up to its terminator, within `end`; false when
// it has none there.
bool ReadString(const std::uint8_t* at, const std::uint8_t* end, std::wstring& text, const std::uint8_t*& next) {
    const std::uint8_t* p = at;
    while (p + 2 <= end) {
        if (Read16(p) == 0) {
            text = FromUtf16Le(at, static_cast<std::size_t>(p - at));
            next = p + 2;
            return true;
        }
        p += 2;
    }
    return false;
}

}  // namespace

std::vector<EventLogRecord> ParseEventLogRecords(const std::uint8_t* bytes, std::size_t count, bool& malformed) {
    malformed = false;
    std::vector<EventLogRecord> records;
    std::size_t offset = 0;
    while (offset < count) {
        const std::uint8_t* record = bytes + offset;
        const std::size_t left = count - offset;
        if (left < kHeaderSize) {  // a piece of a record
            malformed = true;
            break;
        }
        const std::uint32_t length = Read32(record);
        if (length < kHeaderSize + 4 || length > left || length % 4 != 0 || Read32(record + 4) != kSignature) {
            malformed = true;
            break;
        }
        const std::uint8_t* end = record + length;
        EventLogRecord parsed;
        parsed.recordNumber = Read32(record + 8);
        parsed.timeGenerated = Read32(record + 12);
        parsed.timeWritten = Read32(record + 16);
        parsed.eventId = Read32(record + 20);
        parsed.eventType = Read16(record + 24);
        const std::uint16_t numStrings = Read16(record + 26);
        parsed.category = Read16(record + 28);
        const std::uint32_t stringOffset = Read32(record + 36);
        const std::uint8_t* next = nullptr;
        if (!ReadString(record + kHeaderSize, end, parsed.sourceName, next) ||
            !ReadString(next, end, parsed.computerName, next) || stringOffset < kHeaderSize ||
            stringOffset >= length) {
            malformed = true;
            break;
        }
        const std::uint8_t* at = record + stringOffset;
        bool stringsFit = true;
        for (std::uint16_t i = 0; i < numStrings && stringsFit; ++i) {
            std::wstring text;
            stringsFit = ReadString(at, end, text, at);
            if (stringsFit) parsed.strings.push_back(std::move(text));
        }
        if (!stringsFit) {
            malformed = true;
            break;
        }
        records.push_back(std::move(parsed));
        offset += length;
    }
    return records;
}

std::vector<std::uint8_t> EventLogRecordBytes(const EventLogRecord& record) {
    std::vector<std::uint8_t> names;
    PutString(names, record.sourceName);
    PutString(names, record.computerName);
    while ((kHeaderSize + names.size()) % 4 != 0) names.push_back(0);
    std::vector<std::uint8_t> strings;
    for (const auto& text : record.strings) PutString(strings, text);
    const std::uint32_t stringOffset = static_cast<std::uint32_t>(kHeaderSize + names.size());
    std::size_t body = stringOffset + strings.size();
    const std::size_t padding = (4 - body % 4) % 4;
    const auto length = static_cast<std::uint32_t>(body + padding + 4);

    std::vector<std::uint8_t> out;
    out.reserve(length);
    Put32(out, length);
    Put32(out, kSignature);
    Put32(out, record.recordNumber);
    Put32(out, record.timeGenerated);
    Put32(out, record.timeWritten);
    Put32(out, record.eventId);
    Put16(out, record.eventType);
    Put16(out, static_cast<std::uint16_t>(record.strings.size()));
    Put16(out, record.category);
    Put16(out, 0);               // ReservedFlags
    Put32(out, 0);               // ClosingRecordNumber
    Put32(out, stringOffset);
    Put32(out, 0);               // UserSidLength
    Put32(out, stringOffset);    // UserSidOffset: no SID
    Put32(out, 0);               // DataLength
    Put32(out, static_cast<std::uint32_t>(body));  // DataOffset: no data
    out.insert(out.end(), names.begin(), names.end());
    out.insert(out.end(), strings.begin(), strings.end());
    out.insert(out.end(), padding, 0);
    Put32(out, length);
    return out;
}

}  // namespace Arvek::Shared
