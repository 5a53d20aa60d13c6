#include "win32/clock_win32.h"

#include <windows.h>

namespace Arvek::Win32 {

Ports::SystemTime Win32Clock::LocalTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    Ports::SystemTime time;
    time.wYear = now.wYear;
    time.wMonth = now.wMonth;
    time.wDayOfWeek = now.wDayOfWeek;
    time.wDay = now.wDay;
    time.wHour = now.wHour;
    time.wMinute = now.wMinute;
    time.wSecond = now.wSecond;
    time.wMilliseconds = now.wMilliseconds;
    return time;
}

std::uint64_t Win32Clock::UnbiasedInterruptTime() {
    ULONGLONG ticks = 0;
    if (!::QueryUnbiasedInterruptTime(&ticks)) return 0;
    return ticks;
}

bool Win32Clock::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
    return true;
}

}  // namespace Arvek::Win32
