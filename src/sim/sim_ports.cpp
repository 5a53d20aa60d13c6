#include "sim/sim_ports.h"

#include <cstdio>

#include "common/format.h"

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

std::uint64_t SimClock::UnbiasedInterruptTime() { return m_elapsedMs * 10'000ull; }

SimProcess::SimProcess(std::wstring modulePath, std::wstring productName)
    : m_modulePath(std::move(modulePath)), m_productName(std::move(productName)) {}

std::optional<std::wstring> SimProcess::VersionString(const std::wstring& path, const std::wstring& subBlock) {
    // The simulated executable carries its strings in the 040904B0 block only.
    if (path != m_modulePath || m_productName.empty()) return std::nullopt;
    if (subBlock == L"\\StringFileInfo\\040904B0\\ProductName") return m_productName;
    return std::nullopt;
}

std::uint32_t SimProcess::CurrentThreadId() {
    std::lock_guard guard(m_lock);
    auto [it, inserted] = m_threadIds.try_emplace(std::this_thread::get_id(), 0);
    if (inserted) it->second = 0x1A2C + static_cast<std::uint32_t>(m_threadIds.size() - 1) * 4;
    return it->second;
}

namespace {
thread_local std::uint32_t t_lastError = 0;
}

std::uint32_t SimProcess::LastError() { return t_lastError; }
void SimProcess::SetLastError(std::uint32_t error) { t_lastError = error; }

namespace {
class SimEventSource : public Ports::IEventSource {
public:
    SimEventSource(SimEventLog& log, std::wstring name) : m_log(log), m_name(std::move(name)) {}
    bool Report(std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                const std::vector<std::wstring>& strings) override {
        m_log.Record({m_name, type, category, eventId, strings});
        return true;
    }

private:
    SimEventLog& m_log;
    std::wstring m_name;
};
}  // namespace

std::unique_ptr<Ports::IEventSource> SimEventLog::RegisterSource(const std::wstring& sourceName) {
    return std::make_unique<SimEventSource>(*this, sourceName);
}

void SimEventLog::Record(Entry entry) {
    const wchar_t* type = entry.type == Ports::kEVENTLOG_ERROR_TYPE     ? L"Error"
                          : entry.type == Ports::kEVENTLOG_WARNING_TYPE ? L"Warning"
                                                                         : L"Information";
    std::wstring text = Format(L"%s %s id=%u:", entry.source, type, entry.eventId);
    for (const auto& s : entry.strings) text += L" " + s;
    m_transcript.Add(m_clock.ElapsedMs(), "event-log", text);
    std::lock_guard guard(m_lock);
    m_entries.push_back(std::move(entry));
}

std::vector<SimEventLog::Entry> SimEventLog::Entries() const {
    std::lock_guard guard(m_lock);
    return m_entries;
}

void SimTextChannel::Write(std::wstring_view text) {
    m_transcript.Add(m_clock.ElapsedMs(), m_channel, std::wstring(text));
}

const std::map<std::uint32_t, std::wstring>& SimResources::EnglishTable() {
    static const std::map<std::uint32_t, std::wstring> table = {
        {500, L"Arvek Notifications"},
        {505, L"TIDEWATCH"},
    };
    return table;
}

std::wstring SimResources::LoadText(std::uint32_t id, std::size_t capacity) {
    if (capacity == 0) return {};
    const auto& table = EnglishTable();
    const auto it = table.find(id);
    if (it == table.end()) return {};
    return it->second.substr(0, capacity - 1);
}

}  // namespace Arvek::Sim
