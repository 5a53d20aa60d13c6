// The event log: a writer (RegisterEventSourceW / ReportEventW /
// DeregisterEventSource) and a reader (OpenEventLogW / ReadEventLogW,
// sequential and backwards / CloseEventLog), with Windows' semantics: the
// reader fills a caller's buffer with records in the EVENTLOGRECORD layout
// (shared/event_log_records.h reads them), asks for more room with
// ERROR_INSUFFICIENT_BUFFER and the size it needs, and ends with
// ERROR_HANDLE_EOF.
//
// Implementations: win32/event_log_win32, sim/os/sim_event_log (a store of
// named logs, kept across the program's restarts, written to the
// transcript).
//
// Nothing here throws but std::bad_alloc when memory runs out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Arvek::Ports {

// Event types as ReportEventW numbers them.
constexpr std::uint16_t kEVENTLOG_ERROR_TYPE = 0x0001;
constexpr std::uint16_t kEVENTLOG_WARNING_TYPE = 0x0002;
constexpr std::uint16_t kEVENTLOG_INFORMATION_TYPE = 0x0004;
constexpr std::uint32_t kERROR_HANDLE_EOF = 38;

class IEventSource {
public:
    virtual ~IEventSource() = default;  // deregisters the source
    // ReportEventW with no user and no raw data: 0, or the error (never 0)
    // when the event was not written.
    virtual std::uint32_t Report(std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                                 const std::vector<std::wstring>& strings) = 0;
};

// One open event log, read from the newest record to the oldest.
class IEventLogReader {
public:
    virtual ~IEventLogReader() = default;  // CloseEventLog
    // ReadEventLogW(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0)
    // into `buffer` (all of its bytes): 0 and `read`, the bytes of the whole
    // records that fit, at least one; ERROR_INSUFFICIENT_BUFFER when the
    // next record does not fit, with `needed` its size in bytes;
    // ERROR_HANDLE_EOF once the oldest record has been read; or another
    // error.
    virtual std::uint32_t ReadBackwards(std::vector<std::uint8_t>& buffer, std::uint32_t& read,
                                        std::uint32_t& needed) = 0;
};

class IEventLog {
public:
    virtual ~IEventLog() = default;
    // Registers an event source on the local machine; null when that fails.
    // Events of a source that no log names go to the Application log.
    virtual std::unique_ptr<IEventSource> RegisterSource(const std::wstring& sourceName) = 0;
    // OpenEventLogW on the local machine: 0 and the log, or the error. A log
    // of a name that does not exist opens the Application log.
    virtual std::uint32_t OpenLog(const std::wstring& logName, std::unique_ptr<IEventLogReader>& log) = 0;
};

}  // namespace Arvek::Ports
