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
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace Arvek::Ports
