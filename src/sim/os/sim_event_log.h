// The simulated notebook's event log: a store of named logs whose records
// have numbers and times, written by registered sources and read back
// newest first as ReadEventLogW reads them. It belongs to the machine, not
// to the program: what was written stays across the program's restarts, and
// a scenario can give it earlier content (`[event-log]`). The Application
// log always exists; a source no log names writes there, and a log of a
// name that does not exist opens as the Application log, as on Windows.
// Every write goes to the transcript ("event-log": source, type, id, the
// message). Steps fail through the fault table ("event-log.*").
//
// Thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ports/event_log.h"
#include "shared/event_log_records.h"
#include "sim/machine/faults.h"
#include "sim/machine/transcript.h"
#include "sim/os/sim_clock.h"

namespace Arvek::Sim {

class SimEventLog : public Ports::IEventLog {
public:
    // The machine's name, as records carry it.
    static constexpr const wchar_t* kComputerName = L"LUMEN14";

    struct Entry {
        std::wstring source;
        std::uint16_t type;
        std::uint16_t category;
        std::uint32_t eventId;
        std::vector<std::wstring> strings;
    };

    SimEventLog(Transcript& transcript, SimClock& clock, SimFaults* faults = nullptr)
        : m_transcript(transcript), m_clock(clock), m_faults(faults) {}

    std::unique_ptr<Ports::IEventSource> RegisterSource(const std::wstring& sourceName) override;
    std::uint32_t OpenLog(const std::wstring& logName, std::unique_ptr<Ports::IEventLogReader>& log) override;

    // The source writes to `logName` from now on (made when missing).
    void NameSource(const std::wstring& sourceName, const std::wstring& logName);
    // Earlier content: a record of `logName`, numbered and timed now.
    void Add(const std::wstring& logName, Entry entry);
    // What was written to every log since the machine was made, in order,
    // earlier content included.
    std::vector<Entry> Entries() const;
    // The records of one log, oldest first.
    std::vector<Shared::EventLogRecord> Records(const std::wstring& logName) const;
    // A source's write.
    void Record(Entry entry);

private:
    struct Log {
        std::vector<Shared::EventLogRecord> records;
        std::uint32_t nextNumber = 1;
    };
    // Under the lock: the log of a name, the Application log for an unknown one.
    Log& LogNamed(const std::wstring& logName);
    void Append(const std::wstring& logName, const Entry& entry);

    Transcript& m_transcript;
    SimClock& m_clock;
    SimFaults* m_faults;
    mutable std::mutex m_lock;
    std::map<std::wstring, Log> m_logs{{L"APPLICATION", {}}};  // by upper-cased name
    std::map<std::wstring, std::wstring> m_sourceLogs;          // upper-cased source -> log
    std::vector<Entry> m_entries;
};

}  // namespace Arvek::Sim
