#include "sim/os/sim_clock.h"

#include <cstdio>

namespace Arvek::Sim {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yoe + era * 400) + (m <= 2);
}

constexpr std::uint64_t kMsPerDay = 86'400'000;

}  // namespace

bool ParseSystemTime(const std::string& text, Ports::SystemTime& time) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0, consumed = 0;
    const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &consumed);
    if (n != 6) return false;
    std::string rest = text.substr(static_cast<std::size_t>(consumed));
    if (!rest.empty()) {
        int msConsumed = 0;
        if (rest[0] != '.' || std::sscanf(rest.c_str() + 1, "%3d%n", &ms, &msConsumed) != 1 ||
            static_cast<std::size_t>(msConsumed) + 1 != rest.size())
            return false;
    }
    if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || ms > 999 ||
        h < 0 || mi < 0 || s < 0 || ms < 0)
        return false;
    int cy;
    unsigned cm, cd;
    CivilFromDays(DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)), cy, cm, cd);
    if (cy != y || static_cast<int>(cm) != mo || static_cast<int>(cd) != d) return false;  // 31 February
    time = {static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(mo), 0, static_cast<std::uint16_t>(d),
            static_cast<std::uint16_t>(h), static_cast<std::uint16_t>(mi), static_cast<std::uint16_t>(s),
            static_cast<std::uint16_t>(ms)};
    return true;
}

SimClock::SimClock(const Ports::SystemTime& start)
    : m_startDays(DaysFromCivil(start.wYear, start.wMonth, start.wDay)),
      m_startMsOfDay(((start.wHour * 60ull + start.wMinute) * 60ull + start.wSecond) * 1000ull + start.wMilliseconds) {}

bool SimClock::Sleep(std::uint32_t milliseconds) {
    if (!m_threads || !SimThreads::IsWorker()) {
        Advance(milliseconds);
        return true;
    }
    Timer timer;
    SimThreads::Waiting waiting(*m_threads);
    std::unique_lock guard(m_lock);
    if (m_threads->Ending()) return false;  // the program's run is over
    timer.waiting = &waiting;
    const auto entry = m_timers.emplace(m_elapsedMs + milliseconds, &timer);
    waiting.Begin();
    m_timersChanged.wait(guard, [&] { return timer.released || timer.ended; });
    if (!timer.released) m_timers.erase(entry);
    return timer.released;
}

std::optional<std::uint64_t> SimClock::NextTimer() const {
    std::lock_guard guard(m_lock);
    for (const auto& [end, timer] : m_timers)
        if (!timer->released && !timer->ended) return end;
    return std::nullopt;
}

void SimClock::RunTimersTo(std::uint64_t elapsedMs) {
    {
        std::lock_guard guard(m_lock);
        AdvanceTo(elapsedMs);
        for (auto it = m_timers.begin(); it != m_timers.end() && it->first <= elapsedMs;) {
            it->second->released = true;
            it->second->waiting->Resume();
            it = m_timers.erase(it);
        }
        m_timersChanged.notify_all();
    }
    if (m_threads) m_threads->Changed();
}

void SimClock::EndTimers() {
    std::lock_guard guard(m_lock);
    for (auto& [end, timer] : m_timers) {
        timer->ended = true;
        timer->waiting->Resume();
    }
    m_timersChanged.notify_all();
}

void SimClock::AdvanceTo(std::uint64_t elapsedMs) {
    if (elapsedMs > m_elapsedMs) m_elapsedMs = elapsedMs;
}

Ports::SystemTime SimClock::LocalTime() {
    const std::uint64_t total = m_startMsOfDay + m_elapsedMs;
    const std::int64_t days = m_startDays + static_cast<std::int64_t>(total / kMsPerDay);
    std::uint64_t ms = total % kMsPerDay;
    int y;
    unsigned m, d;
    CivilFromDays(days, y, m, d);
    Ports::SystemTime t;
    t.wYear = static_cast<std::uint16_t>(y);
    t.wMonth = static_cast<std::uint16_t>(m);
    t.wDay = static_cast<std::uint16_t>(d);
    t.wDayOfWeek = static_cast<std::uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
    t.wMilliseconds = static_cast<std::uint16_t>(ms % 1000);
    ms /= 1000;
    t.wSecond = static_cast<std::uint16_t>(ms % 60);
    ms /= 60;
    t.wMinute = static_cast<std::uint16_t>(ms % 60);
    t.wHour = static_cast<std::uint16_t>(ms / 60);
    return t;
}

std::uint32_t SimClock::SecondsSince1970() const {
    const std::uint64_t ms = m_startMsOfDay + m_elapsedMs;
    const std::int64_t seconds = m_startDays * 86400 + static_cast<std::int64_t>(ms / 1000);
    return seconds < 0 ? 0 : static_cast<std::uint32_t>(seconds);
}

std::uint64_t SimClock::UnbiasedInterruptTime() { return m_elapsedMs * 10'000ull; }

}  // namespace Arvek::Sim
