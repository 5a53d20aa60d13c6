#include "sim/sim_ports.h"

#include <cstdio>

#include "common/format.h"
#include "common/strings.h"

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

SimProcess::SimProcess(std::wstring modulePath, std::wstring productName,
                       std::map<std::wstring, std::wstring> environment, std::wstring osVersion)
    : m_osVersion(std::move(osVersion)),
      m_modulePath(std::move(modulePath)),
      m_productName(std::move(productName)),
      m_environment(std::move(environment)) {}

bool SimProcess::VersionIsAtLeast(std::uint32_t major, std::uint32_t minor, std::uint16_t servicePackMajor) {
    // "major.minor[.build]"; a version that does not read as two numbers
    // fails the comparison, as a failing call does.
    const std::size_t dot = m_osVersion.find(L'.');
    if (dot == std::wstring::npos || dot == 0) return false;
    std::uint32_t systemMajor = 0, systemMinor = 0;
    std::size_t at = 0;
    for (; at < dot; ++at) {
        if (m_osVersion[at] < L'0' || m_osVersion[at] > L'9') return false;
        systemMajor = systemMajor * 10 + static_cast<std::uint32_t>(m_osVersion[at] - L'0');
    }
    for (at = dot + 1; at < m_osVersion.size() && m_osVersion[at] >= L'0' && m_osVersion[at] <= L'9'; ++at)
        systemMinor = systemMinor * 10 + static_cast<std::uint32_t>(m_osVersion[at] - L'0');
    if (at == dot + 1) return false;
    if (systemMajor != major) return systemMajor > major;
    if (systemMinor != minor) return systemMinor > minor;
    return servicePackMajor == 0;
}

std::optional<std::wstring> SimProcess::EnvironmentVariable(const std::wstring& name) {
    for (const auto& [variable, value] : m_environment) {
        if (EqualsIgnoreCase(variable, name)) return value;
    }
    return std::nullopt;
}

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

// LoadStringW(module, id, ...) reads the string bundle of id (ids id & ~15
// to id | 15; resource name id / 16 + 1) through FindResourceExW with a
// neutral language and copies the bundle's entry for id. The language is
// chosen per bundle, never per string: an id that the chosen block lacks
// loads as no text, even where English has it (557 for a German user).
//
// For a neutral request the loader tries these languages in order and takes
// the first block of the bundle it finds (Wine 8's ntdll; the Windows tests
// check the same choices on Tidewatch.exe under Wine):
//   1. 0x0000, language and sublanguage neutral
//   2. the thread's locale
//   3. the user's interface language (under Wine: LC_MESSAGES, LC_ALL)
//   4. its primary language with SUBLANG_NEUTRAL (0x0807 -> 0x0007,
//      0x0C04 Hong Kong -> 0x0004 Simplified Chinese)
//   5. the system locale, then 6. its primary language with SUBLANG_NEUTRAL
//   7. English, United States (0x0409)
//   8. the bundle's first block in the resource directory (lowest language id)
// No step matches a sibling sublanguage: French, Canada (0x0C0C) finds no
// 0x040C block and gets English. Windows' multilingual loader walks its own
// fallback list of UI languages instead (it may take Hong Kong to Traditional
// Chinese); the simulation follows the loader its Windows tests run on. The
// simulated user's thread, interface and system languages are one language.
const Strings::Block* SimResources::FindBundle(std::uint32_t id) const {
    const std::uint32_t first = id & ~0xFu;
    const auto holdsBundle = [first](const Strings::Block& block) {
        for (std::uint32_t i = first; i <= (first | 0xFu); ++i)
            if (const wchar_t* text = block.Find(i); text && *text) return true;
        return false;
    };
    const std::uint16_t primaryNeutral = m_userLanguage & 0x3FFu;
    const std::uint16_t order[] = {0x0000, m_userLanguage, m_userLanguage, primaryNeutral,
                                   m_userLanguage, primaryNeutral, 0x0409};
    for (const std::uint16_t language : order)
        for (const auto& block : m_blocks)
            if (block.language == language && holdsBundle(block)) return &block;
    for (const auto& block : m_blocks)
        if (holdsBundle(block)) return &block;
    return nullptr;
}

std::span<const std::uint8_t> AgentIconData();  // generated from resources/arvek.ico

std::optional<std::vector<std::uint8_t>> SimResources::LoadData(std::uint32_t type, std::uint32_t id) {
    constexpr std::uint32_t kDataType = 300;
    constexpr std::uint32_t kAgentIconId = 133;
    if (!m_carriesAgentData || type != kDataType || id != kAgentIconId) return std::nullopt;
    const auto icon = AgentIconData();
    return std::vector<std::uint8_t>(icon.begin(), icon.end());
}

std::wstring SimResources::LoadText(std::uint32_t id, std::size_t capacity) {
    if (capacity == 0) return {};
    const Strings::Block* block = FindBundle(id);
    const wchar_t* text = block ? block->Find(id) : nullptr;
    if (!text) return {};
    return std::wstring(text).substr(0, capacity - 1);
}

}  // namespace Arvek::Sim
