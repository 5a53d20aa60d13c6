// The simulated notebook's event log.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ports/event_log.h"
#include "sim/machine/faults.h"
#include "sim/machine/transcript.h"
#include "sim/os/sim_clock.h"

namespace Arvek::Sim {

class SimEventLog : public Ports::IEventLog {
public:
    struct Entry {
        std::wstring source;
        std::uint16_t type;
        std::uint16_t category;
        std::uint32_t eventId;
        std::vector<std::wstring> strings;
    };
    // Sources register and report as `faults` says ("event-log.*").
    SimEventLog(Transcript& transcript, SimClock& clock, SimFaults* faults = nullptr)
        : m_transcript(transcript), m_clock(clock), m_faults(faults) {}
    std::unique_ptr<Ports::IEventSource> RegisterSource(const std::wstring& sourceName) override;

    std::vector<Entry> Entries() const;
    void Record(Entry entry);

private:
    Transcript& m_transcript;
    SimClock& m_clock;
    SimFaults* m_faults;
    mutable std::mutex m_lock;
    std::vector<Entry> m_entries;
};

}  // namespace Arvek::Sim
