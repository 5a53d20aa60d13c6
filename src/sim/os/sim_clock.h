// The simulated notebook's clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "ports/clock.h"

namespace Arvek::Sim {

// A virtual clock: the scenario sets the start and moves it forward; Sleep
// moves it too, so a simulated second costs no real time.
class SimClock : public Ports::IClock {
public:
    explicit SimClock(const Ports::SystemTime& start);
    Ports::SystemTime LocalTime() override;
    std::uint64_t UnbiasedInterruptTime() override;
    void Sleep(std::uint32_t milliseconds) override { Advance(milliseconds); }

    void Advance(std::uint64_t milliseconds) { m_elapsedMs += milliseconds; }
    void AdvanceTo(std::uint64_t elapsedMs);
    std::uint64_t ElapsedMs() const { return m_elapsedMs; }

private:
    std::int64_t m_startDays;     // days since 1970-01-01
    std::uint64_t m_startMsOfDay;
    std::atomic<std::uint64_t> m_elapsedMs{0};
};

// Parses "YYYY-MM-DD hh:mm:ss[.mmm]"; false when malformed or out of range.
bool ParseSystemTime(const std::string& text, Ports::SystemTime& time);

}  // namespace Arvek::Sim
