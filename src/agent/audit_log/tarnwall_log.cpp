#include "agent/audit_log/tarnwall_log.h"

#include <new>
#include <vector>

#include "agent/core/settings_control.h"
#include "common/format.h"
#include "common/strings.h"
#include "shared/com_scope.h"
#include "shared/event_log_records.h"
#include "shared/exception_barrier.h"
#include "shared/log.h"
#include "tolm/tolm_command.h"

namespace Notifications::ArvekWmiEvents {

using Arvek::ComError;
using Arvek::HRESULT;
using Arvek::Shared::GetLog;
using Arvek::Shared::Information;
namespace Ports = Arvek::Ports;

namespace {

constexpr char kProcessTarnwallLog[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ProcessTarnwallLog";
constexpr char kThreadProcLogging[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::ThreadProcTarnwallLogging";
constexpr char kGetTarnwallLog[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::GetTarnwallLogFromTolm";
constexpr char kAddLogs[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::AddLogsToEventViewer";
constexpr char kCreateHashKeys[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::CreateHashKeysForTarnwallEventLogs";
constexpr char kThreadProcHashKeys[] =
    "Notifications::ArvekWmiEvents::CArvekWmiEvents::ThreadProcCreateHashKeysForTarnwallEventLogs";
constexpr char kCreateHashingTimeStamp[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::CreateHashingTimeStamp";
constexpr char kAlreadyInserted[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::LogEntryAlreadyInserted";
constexpr char kLogTarnwall[] = "Notifications::ArvekWmiEvents::CArvekWmiEvents::LogTarnwall";

constexpr std::uint32_t kStartUpDelayMs = 120000;
constexpr std::size_t kRecordBuffer = 65536;
// A record the event log asks more room for than this is not one it wrote.
constexpr std::uint32_t kLargestRecord = 16u << 20;

// Element names of an entry, compared without case.
bool Is(std::wstring_view name, std::wstring_view wanted) { return Arvek::EqualsIgnoreCase(name, wanted); }

}  // namespace

// --- the pure pieces -------------------------------------------------------------

std::string TarnwallKey(std::wstring_view timestamp, std::int32_t eventId) {
    return Arvek::NarrowUtf8(Arvek::ToUpperInvariant(timestamp)) + "|" + std::to_string(eventId);
}

std::int32_t TarnwallEventId(std::wstring_view text) { return Arvek::ParseDecimal(text); }

std::uint16_t TarnwallEventType(std::wstring_view logType) {
    const std::wstring upper = Arvek::ToUpperInvariant(logType);
    if (upper == L"WARN") return Ports::kEVENTLOG_WARNING_TYPE;
    if (upper == L"ERROR") return Ports::kEVENTLOG_ERROR_TYPE;
    return Ports::kEVENTLOG_INFORMATION_TYPE;  // "INFO", and anything else
}

std::wstring TarnwallMessage(const TarnwallEntry& entry) {
    return L"Tarnwall log entry: " + entry.description + L"\r\nSource: " + entry.source + L"\r\nTimestamp: " +
           entry.timestamp;
}

std::optional<std::wstring> TimestampOfDescription(std::wstring_view description) {
    const std::wstring upper = Arvek::ToUpperInvariant(description);
    // The writer puts the timestamp last, on a line of its own: its line
    // comes first, so that a timestamp that itself says "timestamp:" reads
    // back whole.
    constexpr std::wstring_view kWrittenLine = L"\r\nTIMESTAMP: ";
    if (const std::size_t line = upper.rfind(kWrittenLine); line != std::wstring::npos)
        return upper.substr(line + kWrittenLine.size());
    // Otherwise the last marker: a description may itself say "timestamp:".
    const std::size_t at = upper.rfind(L"TIMESTAMP:");
    if (at == std::wstring::npos || at == 0) return std::nullopt;
    const std::size_t start = at + 11;  // the marker and the one character after it
    return start < upper.size() ? upper.substr(start) : std::wstring();
}

// --- the key table ------------------------------------------------------------------

void CTarnwallLog::CreateHashingTimeStamp(std::int32_t eventId, const std::wstring& description,
                                          std::optional<std::wstring_view> timestampWritten) {
    Arvek::Shared::CArvekLogTrace trace(kCreateHashingTimeStamp);
    auto& log = GetLog();
    log.Log(Information, kCreateHashingTimeStamp, L"CreateHashingTimeStamp:: EventID: %d, logDesc:%s", eventId,
            description);
    const auto timestamp =
        timestampWritten ? std::optional(Arvek::ToUpperInvariant(*timestampWritten)) : TimestampOfDescription(description);
    if (!timestamp) return;
    log.Log(Information, kCreateHashingTimeStamp, L"CreateHashingTimeStamp: Formating ts String: %s", *timestamp);
    m_globals.g_tarnwallLogKeys.try_emplace(TarnwallKey(*timestamp, eventId),
                                            Arvek::NarrowUtf8(Arvek::ToUpperInvariant(description)));
}

bool CTarnwallLog::LogEntryAlreadyInserted(const std::wstring& eventId, const std::wstring&, const std::wstring&,
                                           const std::wstring& timestamp) {
    Arvek::Shared::CArvekLogTrace trace(kAlreadyInserted);
    const bool found = m_globals.g_tarnwallLogKeys.count(TarnwallKey(timestamp, TarnwallEventId(eventId))) != 0;
    GetLog().Log(Information, kAlreadyInserted, L"Entry: %s|%s found status: %s", timestamp, eventId,
                 found ? L"true" : L"false");
    return found;
}

void CTarnwallLog::CreateHashKeysForTarnwallEventLogs() {
    Arvek::Shared::CArvekLogTrace trace(kCreateHashKeys);
    auto& platform = m_platform;
    auto& globals = m_globals;
    {
        std::lock_guard guard(m_globals.keyBuildLock);
        m_globals.keyBuildPending = true;
    }
    if (m_platform.threads.Start([&platform, &globals] {
            CTarnwallLog log(platform, globals);
            Arvek::Shared::CallWithoutThrowing(kThreadProcHashKeys,
                                               [&] { log.ThreadProcCreateHashKeysForTarnwallEventLogs(); });
            log.KeyBuildEnded();  // also when the build threw
        }) == 0) {
        GetLog().LogText(Information, kCreateHashKeys, L"The key table's thread could not be started");
        KeyBuildEnded();
    }
}

void CTarnwallLog::KeyBuildEnded() {
    // Notified under the lock: a waiter that wakes cannot end, and its state
    // go, while the notification is still under way.
    std::lock_guard guard(m_globals.keyBuildLock);
    m_globals.keyBuildPending = false;
    m_globals.keyBuildDone.notify_all();
}

bool CTarnwallLog::WaitForKeyBuild() {
    std::unique_lock guard(m_globals.keyBuildLock);
    m_globals.keyBuildDone.wait(guard, [this] { return !m_globals.keyBuildPending; });
    return m_globals.keyTableRead;
}

void CTarnwallLog::ThreadProcCreateHashKeysForTarnwallEventLogs() {
    Arvek::Shared::CArvekLogTrace trace(kThreadProcHashKeys);
    auto& log = GetLog();
    std::lock_guard keys(m_globals.g_csTarnwallHashKeys);
    try {
        std::unique_ptr<Ports::IEventLogReader> reader;
        if (const std::uint32_t error = m_platform.eventLog.OpenLog(kTarnwallSource, reader); error != 0 || !reader) {
            log.Log(Information, kThreadProcHashKeys, L"OpenEventLog failed with 0x%x.\n", error);
        } else {
            std::vector<std::uint8_t> buffer(kRecordBuffer);
            for (;;) {
                std::uint32_t read = 0, needed = 0;
                const std::uint32_t error = reader->ReadBackwards(buffer, read, needed);
                if (error == Arvek::kERROR_INSUFFICIENT_BUFFER) {
                    if (needed <= buffer.size() || needed > kLargestRecord) {
                        log.Log(Information, kThreadProcHashKeys, L"ReadEventLog failed with %lu.\n", error);
                        break;
                    }
                    try {
                        buffer.resize(needed);
                    } catch (const std::bad_alloc&) {
                        log.LogText(Information, kThreadProcHashKeys,
                                    L"Failed to reallocate the memory for the record buffer.");
                        break;
                    }
                    continue;
                }
                if (error == Ports::kERROR_HANDLE_EOF) break;
                if (error != 0) {
                    log.Log(Information, kThreadProcHashKeys, L"ReadEventLog failed with %lu.\n", error);
                    break;
                }
                bool malformed = false;
                for (const auto& record :
                     Arvek::Shared::ParseEventLogRecords(buffer.data(), std::min<std::size_t>(read, buffer.size()), malformed)) {
                    // Only the source's own records; their case counts.
                    if (record.sourceName != kTarnwallSource || record.strings.empty()) continue;
                    CreateHashingTimeStamp(static_cast<std::int32_t>(record.eventId), record.strings.front());
                }
                if (malformed) {
                    log.LogText(Information, kThreadProcHashKeys, L"The event log gave a record that cannot be read");
                    break;
                }
            }
        }
    } catch (const ComError& e) {
        log.Log(Information, kThreadProcHashKeys, L"Exception occurred OpenEventLog. hr = 0x%X",
                static_cast<std::uint32_t>(e.Error()));
    } catch (const std::bad_alloc&) {
        log.Log(Information, kThreadProcHashKeys, L"Exception occurred OpenEventLog. hr = 0x%X",
                static_cast<std::uint32_t>(Arvek::kE_OUTOFMEMORY));
    }
    for (const auto& [key, value] : m_globals.g_tarnwallLogKeys)
        log.Log(Information, kThreadProcHashKeys, L"Key: [%S]   Value:[%S]", key, value);
    // Read as far as the event log let it: a run checks against this table
    // from now on (an event log that could not be read leaves it empty).
    std::lock_guard guard(m_globals.keyBuildLock);
    m_globals.keyTableRead = true;
}

// --- writing one entry ------------------------------------------------------------

bool CTarnwallLog::LogTarnwall(const TarnwallEntry& entry) {
    Arvek::Shared::CArvekLogTrace trace(kLogTarnwall);
    auto& log = GetLog();
    log.Log(Information, kLogTarnwall, L"Tarnwall log description: %s", entry.description);
    if (Arvek::EqualsIgnoreCase(entry.description, L"Unknown")) return true;  // nothing to write, on purpose
    try {
        const auto source = m_platform.eventLog.RegisterSource(kTarnwallSource);
        if (!source) return false;
        const std::uint32_t error =
            source->Report(TarnwallEventType(entry.logType), 0,
                           static_cast<std::uint32_t>(TarnwallEventId(entry.eventId)), {TarnwallMessage(entry)});
        if (error != 0) {
            log.Log(Information, kLogTarnwall, L"ReportEvent failed, GatLastError() return: hr = 0x%X", error);
            return false;
        }
        return true;
    } catch (const ComError& e) {
        log.Log(Information, kLogTarnwall, L"Exception occurred writing Event Viewer. hr = 0x%X",
                static_cast<std::uint32_t>(e.Error()));
    } catch (const std::bad_alloc&) {
        log.Log(Information, kLogTarnwall, L"Exception occurred writing Event Viewer. hr = 0x%X",
                static_cast<std::uint32_t>(Arvek::kE_OUTOFMEMORY));
    }
    return false;
}

// --- mirroring a document -------------------------------------------------------------

void CTarnwallLog::AddLogsToEventViewer(Arvek::Tolm::CXmlDocument document) {
    Arvek::Shared::CArvekLogTrace trace(kAddLogs);
    auto& log = GetLog();
    std::lock_guard eventLog(m_globals.g_csTarnwallEventLog);
    if (!WaitForKeyBuild()) {
        // No key table was read in this process (the firmware protection's
        // subscription failed at start-up, or its thread could not start):
        // a run against an empty table would write again what the event
        // log holds, so the table is read here first.
        log.LogText(Information, kAddLogs, L"The key table was not read yet; it is read from the event log first");
        ThreadProcCreateHashKeysForTarnwallEventLogs();
    }
    const auto dom = document.GetDocument();
    if (!dom) {
        log.LogText(Information, kAddLogs, L"xml.GetDocument() failed");
        return;
    }
    try {
        std::unique_ptr<Ports::IXmlNode> root;
        if (dom->GetDocumentElement(root) != Arvek::kS_OK || !root) return;  // nothing was loaded
        std::vector<std::unique_ptr<Ports::IXmlNode>> entries;
        if (Arvek::Failed(root->GetChildNodes(entries))) throw ComError(Arvek::kE_FAIL);
        for (std::size_t index = entries.size(); index-- > 0;) {
            std::vector<std::unique_ptr<Ports::IXmlNode>> children;
            if (Arvek::Failed(entries[index]->GetChildNodes(children))) throw ComError(Arvek::kE_FAIL);
            if (children.empty()) continue;
            TarnwallEntry entry;
            for (const auto& child : children) {
                std::wstring name, text;
                child->GetNodeName(name);
                // A later element of a name wins over an earlier one.
                std::wstring* field = Is(name, L"timestamp")     ? &entry.timestamp
                                      : Is(name, L"source")      ? &entry.source
                                      : Is(name, L"event_id")    ? &entry.eventId
                                      : Is(name, L"description") ? &entry.description
                                      : Is(name, L"logtype")     ? &entry.logType
                                                                 : nullptr;
                if (!field) continue;
                child->GetText(text);
                *field = std::move(text);
            }
            entry.timestamp.resize(std::min(entry.timestamp.size(), kMaxTimestamp));
            entry.source.resize(std::min(entry.source.size(), kMaxSource));
            entry.description.resize(std::min(entry.description.size(), kMaxDescription));
            log.Log(Information, kAddLogs, L"Check entry #%d {Num Attributes: %d]: %s|%s|%s|%s",
                    static_cast<int>(index), static_cast<int>(children.size()), entry.timestamp, entry.eventId,
                    entry.logType, entry.description);
            {
                std::lock_guard keys(m_globals.g_csTarnwallHashKeys);
                if (LogEntryAlreadyInserted(entry.eventId, entry.source, entry.description, entry.timestamp)) continue;
            }
            log.Log(Information, kAddLogs, L"New entry to be inserted: %s|%s|%s|%s", entry.timestamp, entry.eventId,
                    entry.logType, entry.description);
            // Only an entry the event log took (or one not to be written) is
            // recorded: one it refused is tried again by the next run.
            if (!LogTarnwall(entry)) {
                log.LogText(Information, kAddLogs, L"The entry was not written; the next run tries it again");
                continue;
            }
            {
                std::lock_guard keys(m_globals.g_csTarnwallHashKeys);
                // Keyed by the timestamp itself: one that says "timestamp:"
                // would not read back from the text alone.
                CreateHashingTimeStamp(TarnwallEventId(entry.eventId), L" Timestamp: " + entry.timestamp,
                                       entry.timestamp);
            }
            log.Log(Information, kAddLogs, L"AddLogsToEventViewer: %s|%s|%s", entry.timestamp, entry.eventId,
                    entry.description);
        }
    } catch (const ComError& e) {
        log.Log(Information, kAddLogs, L"Exception occurred extracting Tarnwall logs. hr = 0x%X",
                static_cast<std::uint32_t>(e.Error()));
    } catch (const std::bad_alloc&) {
        log.Log(Information, kAddLogs, L"Exception occurred extracting Tarnwall logs. hr = 0x%X",
                static_cast<std::uint32_t>(Arvek::kE_OUTOFMEMORY));
    }
}

// --- fetching the audit log -------------------------------------------------------------

HRESULT CTarnwallLog::GetTarnwallLogFromTolm(std::wstring& xml) {
    Arvek::Shared::CArvekLogTrace trace(kGetTarnwallLog);
    auto& log = GetLog();
    xml.clear();
    Arvek::Tolm::CTolmCommand command(m_platform.tolm);
    if (const HRESULT created = command.Create(); Arvek::Failed(created)) {
        log.Log(Information, kGetTarnwallLog, L"Create TOLM instance cmd failed.  HR=0X%x",
                static_cast<std::uint32_t>(created));
        return created;
    }
    HRESULT hr = Arvek::kS_OK;
    try {
        log.LogText(Information, kGetTarnwallLog, L"Before Calling EmbeddedController.AuditLog");
        Arvek::Variant result;
        hr = command.ExecuteCommand(Arvek::Tolm::kEmbeddedControllerAuditLog, result);
        log.LogText(Information, kGetTarnwallLog, L"After Calling EmbeddedController.AuditLog");
        log.LogText(Information, kGetTarnwallLog, L"Calling EmbeddedController.AuditLog passed.");
        xml = result.StringOrEmpty();
    } catch (const ComError& e) {
        log.LogText(Information, kGetTarnwallLog, L"After Calling EmbeddedController.AuditLog");
        log.Log(Information, kGetTarnwallLog,
                e.Error() == Arvek::kE_INVALID_COMMAND ? L"Invalid Command EmbeddedController.AuditLog. hr = 0x%X"
                                                       : L"Exception occurred during call for EmbeddedController.AuditLog. hr = 0x%X",
                static_cast<std::uint32_t>(e.Error()));
        return e.Error();
    }
    log.LogText(Information, kGetTarnwallLog, xml);
    return hr;
}

// --- the runs ------------------------------------------------------------------------------

void CTarnwallLog::ProcessTarnwallLog(int delayFlag) {
    Arvek::Shared::CArvekLogTrace trace(kProcessTarnwallLog, L"delay = %d", delayFlag);
    auto& log = GetLog();
    auto& registry = m_platform.registry;
    if (Tidewatch::CSettingsControl::GetRegistrySetting(registry, L"SuppressAllLoggings") ||
        Tidewatch::CSettingsControl::GetRegistrySetting(registry, L"SuppressTarnwallLoggings")) {
        log.LogText(Information, kProcessTarnwallLog, L"Loggings are suppressed.");
        return;
    }
    if (delayFlag != 1) {
        std::lock_guard guard(m_globals.auditRunLock);
        if (m_globals.auditRunWaiting) {
            log.LogText(Information, kProcessTarnwallLog, L"A run waiting to mirror the audit log takes this one in.");
            return;
        }
        m_globals.auditRunWaiting = true;
    }
    auto& platform = m_platform;
    auto& globals = m_globals;
    const std::uint32_t started = m_platform.threads.Start([&platform, &globals, delayFlag] {
        Arvek::Shared::CallWithoutThrowing(kThreadProcLogging, [&] {
            CTarnwallLog(platform, globals).ThreadProcTarnwallLogging(delayFlag);
        });
    });
    if (started == 0) {
        log.LogText(Information, kProcessTarnwallLog, L"The mirroring run could not be started");
        if (delayFlag != 1) {
            std::lock_guard guard(m_globals.auditRunLock);
            m_globals.auditRunWaiting = false;
        }
    }
}

HRESULT CTarnwallLog::ThreadProcTarnwallLogging(int delayFlag) {
    Arvek::Shared::CArvekLogTrace trace(kThreadProcLogging, L"delay = %d", delayFlag);
    auto& log = GetLog();
    if (delayFlag == 1) {
        // The start-up run waits two minutes, then counts as waiting too.
        if (!m_platform.clock.Sleep(kStartUpDelayMs)) return Arvek::kS_OK;  // the program ended meanwhile
        std::lock_guard guard(m_globals.auditRunLock);
        if (m_globals.auditRunWaiting) {
            log.LogText(Information, kThreadProcLogging, L"A run waiting to mirror the audit log takes this one in.");
            return Arvek::kS_OK;
        }
        m_globals.auditRunWaiting = true;
    }
    std::lock_guard running(m_globals.g_csTarnwallLogging);
    const Arvek::Shared::CComThreadScope com(m_platform.com);
    {
        // From here on this run reads the log: what comes later needs a run
        // of its own.
        std::lock_guard guard(m_globals.auditRunLock);
        m_globals.auditRunWaiting = false;
    }
    std::wstring xml;
    const HRESULT hr = GetTarnwallLogFromTolm(xml);
    if (Arvek::Failed(hr)) {
        log.Log(Information, kThreadProcLogging, L"GetTarnwallLogFromTolm failed.  HR=0X%x", static_cast<std::uint32_t>(hr));
        return hr;
    }
    Arvek::Tolm::CXmlDocument document(m_platform.xml);
    document.LoadXml(xml);
    AddLogsToEventViewer(document);
    return hr;
}

void CTarnwallLog::CopyAuditLog() {
    const Arvek::Shared::CComThreadScope com(m_platform.com);
    {
        std::lock_guard guard(m_globals.auditRunLock);
        m_globals.auditCopyWaiting = false;
    }
    std::wstring xml;
    GetTarnwallLogFromTolm(xml);  // a failed fetch leaves the text empty
    Arvek::Tolm::CXmlDocument document(m_platform.xml);
    document.LoadXml(xml);
    AddLogsToEventViewer(document);
}

}  // namespace Notifications::ArvekWmiEvents
