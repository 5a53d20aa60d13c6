// The simulated notebook's clock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "ports/clock.h"
#include "sim/os/sim_threads.h"

namespace Arvek::Sim {

// A virtual clock: the scenario sets the start and moves it forward, so a
// simulated minute costs no real time. A Sleep on the program's main
// thread moves it forward at once. A worker thread's Sleep is a timer of the
// machine's: the worker waits until the machine has moved the clock to its
// end (between stimuli, in order), or until the program's run ends, when
// Sleep gives up and says so.
class SimClock : public Ports::IClock {
public:
    explicit SimClock(const Ports::SystemTime& start);
    Ports::SystemTime LocalTime() override;
    std::uint64_t UnbiasedInterruptTime() override;
    bool Sleep(std::uint32_t milliseconds) override;

    void Advance(std::uint64_t milliseconds) { m_elapsedMs += milliseconds; }
    void AdvanceTo(std::uint64_t elapsedMs);
    std::uint64_t ElapsedMs() const { return m_elapsedMs; }
    // Seconds since 1970-01-01 now, the local time taken as UTC (the
    // simulated notebook's time zone is UTC).
    std::uint32_t SecondsSince1970() const;

    // The workers whose Sleep is a timer, and how they wait.
    void SetThreads(SimThreads* threads) { m_threads = threads; }
    // The end of the earliest timer not yet due, if any.
    std::optional<std::uint64_t> NextTimer() const;
    // Moves the clock to `elapsedMs` and lets every timer that ends by then
    // go.
    void RunTimersTo(std::uint64_t elapsedMs);
    // The run ends: every timer gives up.
    void EndTimers();

private:
    struct Timer {
        bool released = false;
        bool ended = false;
        SimThreads::Waiting* waiting = nullptr;
    };
    SimThreads* m_threads = nullptr;
    mutable std::mutex m_lock;
    std::condition_variable m_timersChanged;
    std::multimap<std::uint64_t, Timer*> m_timers;  // by the time they end

    std::int64_t m_startDays;     // days since 1970-01-01
    std::uint64_t m_startMsOfDay;
    std::atomic<std::uint64_t> m_elapsedMs{0};
};

// Parses "YYYY-MM-DD hh:mm:ss[.mmm]"; false when malformed or out of range.
bool ParseSystemTime(const std::string& text, Ports::SystemTime& time);

}  // namespace Arvek::Sim
