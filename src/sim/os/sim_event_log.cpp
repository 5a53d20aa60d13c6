#include "sim/os/sim_event_log.h"

#include "common/format.h"
#include "common/strings.h"

namespace Arvek::Sim {

namespace {

class SimEventSource : public Ports::IEventSource {
public:
    SimEventSource(SimEventLog& log, std::wstring name, SimFaults* faults)
        : m_log(log), m_name(std::move(name)), m_faults(faults) {}
    std::uint32_t Report(std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                         const std::vector<std::wstring>& strings) override {
        if (const auto error = TakeFaultError(m_faults, "event-log.report")) return *error != 0 ? *error : 1;
        m_log.Record({m_name, type, category, eventId, strings});
        return 0;
    }

private:
    SimEventLog& m_log;
    std::wstring m_name;
    SimFaults* m_faults;
};

// A log read from the newest record to the oldest, as it was when opened.
class SimEventLogReader : public Ports::IEventLogReader {
public:
    SimEventLogReader(std::vector<Shared::EventLogRecord> records, SimFaults* faults)
        : m_records(std::move(records)), m_next(m_records.size()), m_faults(faults) {}

    std::uint32_t ReadBackwards(std::vector<std::uint8_t>& buffer, std::uint32_t& read, std::uint32_t& needed) override {
        read = needed = 0;
        if (const auto error = TakeFaultError(m_faults, "event-log.read")) return *error != 0 ? *error : 1;
        if (m_next == 0) return Ports::kERROR_HANDLE_EOF;
        std::size_t used = 0;
        while (m_next > 0) {
            const std::vector<std::uint8_t> bytes = Shared::EventLogRecordBytes(m_records[m_next - 1]);
            if (used + bytes.size() > buffer.size()) {
                if (used == 0) {
                    needed = static_cast<std::uint32_t>(bytes.size());
                    return kERROR_INSUFFICIENT_BUFFER;
                }
                break;
            }
            std::copy(bytes.begin(), bytes.end(), buffer.begin() + static_cast<std::ptrdiff_t>(used));
            used += bytes.size();
            --m_next;
        }
        read = static_cast<std::uint32_t>(used);
        return 0;
    }

private:
    std::vector<Shared::EventLogRecord> m_records;
    std::size_t m_next;
    SimFaults* m_faults;
};

const wchar_t* TypeName(std::uint16_t type) {
    return type == Ports::kEVENTLOG_ERROR_TYPE     ? L"Error"
           : type == Ports::kEVENTLOG_WARNING_TYPE ? L"Warning"
                                                    : L"Information";
}

}  // namespace

std::unique_ptr<Ports::IEventSource> SimEventLog::RegisterSource(const std::wstring& sourceName) {
    if (TakeFault(m_faults, "event-log.register-source")) return nullptr;
    return std::make_unique<SimEventSource>(*this, sourceName, m_faults);
}

std::uint32_t SimEventLog::OpenLog(const std::wstring& logName, std::unique_ptr<Ports::IEventLogReader>& log) {
    log.reset();
    if (const auto error = TakeFaultError(m_faults, "event-log.open")) return *error != 0 ? *error : 1;
    std::lock_guard guard(m_lock);
    log = std::make_unique<SimEventLogReader>(LogNamed(logName).records, m_faults);
    return 0;
}

void SimEventLog::NameSource(const std::wstring& sourceName, const std::wstring& logName) {
    std::lock_guard guard(m_lock);
    m_logs[ToUpperInvariant(logName)];
    m_sourceLogs[ToUpperInvariant(sourceName)] = ToUpperInvariant(logName);
}

SimEventLog::Log& SimEventLog::LogNamed(const std::wstring& logName) {
    const auto found = m_logs.find(ToUpperInvariant(logName));
    return found != m_logs.end() ? found->second : m_logs[L"APPLICATION"];
}

void SimEventLog::Append(const std::wstring& logName, const Entry& entry) {
    Log& log = LogNamed(logName);
    Shared::EventLogRecord record;
    record.recordNumber = log.nextNumber++;
    record.timeGenerated = record.timeWritten = m_clock.SecondsSince1970();
    record.eventId = entry.eventId;
    record.eventType = entry.type;
    record.category = entry.category;
    record.sourceName = entry.source;
    record.computerName = kComputerName;
    record.strings = entry.strings;
    log.records.push_back(std::move(record));
    m_entries.push_back(entry);
}

void SimEventLog::Add(const std::wstring& logName, Entry entry) {
    std::lock_guard guard(m_lock);
    Append(logName, entry);
}

void SimEventLog::Record(Entry entry) {
    std::wstring text = Format(L"%s %s id=%u:", entry.source, TypeName(entry.type), entry.eventId);
    for (const auto& s : entry.strings) text += L" " + s;
    m_transcript.Add(m_clock.ElapsedMs(), "event-log", text);
    std::lock_guard guard(m_lock);
    const auto named = m_sourceLogs.find(ToUpperInvariant(entry.source));
    Append(named == m_sourceLogs.end() ? std::wstring(L"Application") : named->second, entry);
}

std::vector<SimEventLog::Entry> SimEventLog::Entries() const {
    std::lock_guard guard(m_lock);
    return m_entries;
}

std::vector<Shared::EventLogRecord> SimEventLog::Records(const std::wstring& logName) const {
    std::lock_guard guard(m_lock);
    const auto found = m_logs.find(ToUpperInvariant(logName));
    return found == m_logs.end() ? std::vector<Shared::EventLogRecord>{} : found->second.records;
}

}  // namespace Arvek::Sim
