// Clock port: local wall-clock time, the unbiased interrupt time and sleeping.
//
// Implementations: win32/clock_win32, sim/os/sim_clock (a virtual clock that the
// scenario advances).
//
// Nothing here throws.
#pragma once

#include <cstdint>

namespace Arvek::Ports {

// Windows' SYSTEMTIME.
struct SystemTime {
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;
    std::uint16_t wDayOfWeek = 0;
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

class IClock {
public:
    virtual ~IClock() = default;
    virtual SystemTime LocalTime() = 0;
    // QueryUnbiasedInterruptTime: 100-nanosecond units since start, not
    // counting time spent asleep.
    virtual std::uint64_t UnbiasedInterruptTime() = 0;
    // Sleep: true once the time has passed; false when the program is
    // ending before it has (the simulated notebook ends its program's waits
    // at the end of a run; on Windows the end of the process stops the
    // thread, and Sleep always sleeps the whole time).
    virtual bool Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace Arvek::Ports
