// The firmware-protection (Tarnwall) audit log, mirrored into the event log
// with every entry written once, also across the agent's restarts: the
// audit log is fetched from the platform component and parsed, each entry
// is keyed ("TIMESTAMP|id") and looked up in the key table of what the event
// log already holds (built from the event log at start-up), and a new one
// is written under the source "Arvek Tarnwall" and its key recorded.
//
// The operations use only the platform and the agent's globals, both of
// which outlive every thread they run on. Locks are always taken in the
// order g_csTarnwallLogging, g_csTarnwallEventLog, g_csTarnwallHashKeys.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "agent/core/globals.h"
#include "common/hresult.h"
#include "ports/platform.h"
#include "tolm/xml_document.h"

namespace Notifications::ArvekWmiEvents {

// The event source, and the log that is read back (the Application log,
// where no log of that name exists).
inline constexpr wchar_t kTarnwallSource[] = L"Arvek Tarnwall";

// The longest timestamp, source and description an entry keeps: a longer text is
// cut, before it is keyed and written, so that the whole message fits in one
// insertion string of the event log (31,839 characters) and its key reads
// back the same.
inline constexpr std::size_t kMaxTimestamp = 1024;
inline constexpr std::size_t kMaxSource = 1024;
inline constexpr std::size_t kMaxDescription = 16384;

// One audit entry as the firmware wrote it; a missing element is empty.
struct TarnwallEntry {
    std::wstring timestamp;
    std::wstring source;
    std::wstring eventId;
    std::wstring description;
    std::wstring logType;
};

// The key of an entry: its timestamp upper-cased, "|", the event id in
// decimal (UTF-8).
std::string TarnwallKey(std::wstring_view timestamp, std::int32_t eventId);
// The "event_id" text read as a decimal integer: white space and a sign
// first, digits up to the first non-digit, no digits 0.
std::int32_t TarnwallEventId(std::wstring_view text);
// "WARN", "INFO", "ERROR" (in any case) give their event types; anything
// else the information type.
std::uint16_t TarnwallEventType(std::wstring_view logType);
// "Tarnwall log entry: ...\r\nSource: ...\r\nTimestamp: ...".
std::wstring TarnwallMessage(const TarnwallEntry& entry);
// The upper-cased timestamp a written message carries: what follows its
// last "\r\nTimestamp: " line (in any case); without one, what follows the
// last "TIMESTAMP:" and the character after it. None when there is no
// marker, or when it begins the text.
std::optional<std::wstring> TimestampOfDescription(std::wstring_view description);

class CTarnwallLog {
public:
    CTarnwallLog(Arvek::Ports::Platform& platform, Tidewatch::AgentGlobals& globals)
        : m_platform(platform), m_globals(globals) {}

    // Starts a mirroring run, after two minutes with `delayFlag` 1, unless a
    // policy value says not to; one already waiting takes this one in.
    void ProcessTarnwallLog(int delayFlag);
    // The run: fetch, parse, mirror; the fetch's HRESULT.
    Arvek::HRESULT ThreadProcTarnwallLogging(int delayFlag);
    Arvek::HRESULT GetTarnwallLogFromTolm(std::wstring& xml);
    // Writes the document's entries the event log does not hold yet, the
    // last entry first.
    void AddLogsToEventViewer(Arvek::Tolm::CXmlDocument document);
    // The firmware-protection codes 30 to 39: the audit log fetched and
    // mirrored on the calling thread, without the run's lock.
    void CopyAuditLog();

    // The key table from what the event log holds, on a thread of its own;
    // check-and-write runs wait until it has been read.
    void CreateHashKeysForTarnwallEventLogs();
    void ThreadProcCreateHashKeysForTarnwallEventLogs();

    // The key table's two operations; the caller holds g_csTarnwallHashKeys.
    // The timestamp is read from the description, unless the caller that
    // wrote the entry gives it.
    void CreateHashingTimeStamp(std::int32_t eventId, const std::wstring& description,
                                std::optional<std::wstring_view> timestampWritten = std::nullopt);
    bool LogEntryAlreadyInserted(const std::wstring& eventId, const std::wstring& source,
                                 const std::wstring& description, const std::wstring& timestamp);
    // Writes one entry: true when it was written, or deliberately not (an
    // "Unknown" description); false when the event log did not take it.
    bool LogTarnwall(const TarnwallEntry& entry);

private:
    void KeyBuildEnded();
    // Waits while a build is under way; whether a table has been read.
    bool WaitForKeyBuild();

    Arvek::Ports::Platform& m_platform;
    Tidewatch::AgentGlobals& m_globals;
};

}  // namespace Notifications::ArvekWmiEvents
