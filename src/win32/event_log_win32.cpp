#include "win32/event_log_win32.h"

#include <windows.h>

#include <limits>

#include "win32/handles.h"

namespace Arvek::Win32 {
namespace {

class Win32EventSource final : public Ports::IEventSource {
public:
    explicit Win32EventSource(UniqueEventSource source) : m_source(std::move(source)) {}

    bool Report(std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                const std::vector<std::wstring>& strings) override {
        // ReportEventW counts insertion strings in a WORD.
        if (strings.size() > std::numeric_limits<WORD>::max()) return false;
        std::vector<LPCWSTR> insertions;
        insertions.reserve(strings.size());
        for (const auto& text : strings) insertions.push_back(text.c_str());
        return ::ReportEventW(m_source.Get(), type, category, eventId, nullptr, static_cast<WORD>(insertions.size()),
                              0, insertions.empty() ? nullptr : insertions.data(), nullptr) != FALSE;
    }

private:
    UniqueEventSource m_source;
};

}  // namespace

std::unique_ptr<Ports::IEventSource> Win32EventLog::RegisterSource(const std::wstring& sourceName) {
    UniqueEventSource source(::RegisterEventSourceW(nullptr, sourceName.c_str()));
    if (!source) return nullptr;
    return std::make_unique<Win32EventSource>(std::move(source));
}

}  // namespace Arvek::Win32
