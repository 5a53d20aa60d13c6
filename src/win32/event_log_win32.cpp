#include "win32/event_log_win32.h"

#include <windows.h>

#include <limits>

#include "win32/handles.h"
#include "win32/result.h"

namespace Arvek::Win32 {
namespace {

class Win32EventSource final : public Ports::IEventSource {
public:
    explicit Win32EventSource(UniqueEventSource source) : m_source(std::move(source)) {}

    std::uint32_t Report(std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                         const std::vector<std::wstring>& strings) override {
        // ReportEventW counts insertion strings in a WORD.
        ARVEK_RETURN_WIN32_IF(ERROR_INVALID_PARAMETER, strings.size() > std::numeric_limits<WORD>::max());
        std::vector<LPCWSTR> insertions;
        insertions.reserve(strings.size());
        for (const auto& text : strings) insertions.push_back(text.c_str());
        const BOOL reported = ::ReportEventW(m_source.Get(), type, category, eventId, nullptr,
                                             static_cast<WORD>(insertions.size()), 0,
                                             insertions.empty() ? nullptr : insertions.data(), nullptr);
        ARVEK_RETURN_LAST_WIN32_ERROR_IF(!reported);
        return ERROR_SUCCESS;
    }

private:
    UniqueEventSource m_source;
};

// An event log opened for reading (OpenEventLogW), closed when it goes.
struct EventLogTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type log) noexcept { ::CloseEventLog(log); }
};

class Win32EventLogReader final : public Ports::IEventLogReader {
public:
    explicit Win32EventLogReader(UniqueHandle<EventLogTraits> log) : m_log(std::move(log)) {}

    std::uint32_t ReadBackwards(std::vector<std::uint8_t>& buffer, std::uint32_t& read, std::uint32_t& needed) override {
        read = needed = 0;
        ARVEK_RETURN_WIN32_IF(ERROR_INVALID_PARAMETER, buffer.size() > std::numeric_limits<DWORD>::max());
        DWORD bytesRead = 0, bytesNeeded = 0;
        const BOOL ok = ::ReadEventLogW(m_log.Get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
                                        buffer.data(), static_cast<DWORD>(buffer.size()), &bytesRead, &bytesNeeded);
        if (!ok) {
            const DWORD error = LastErrorAsWin32();
            if (error == ERROR_INSUFFICIENT_BUFFER) needed = bytesNeeded;
            return error;
        }
        read = bytesRead;
        return ERROR_SUCCESS;
    }

private:
    UniqueHandle<EventLogTraits> m_log;
};

}  // namespace

std::uint32_t Win32EventLog::OpenLog(const std::wstring& logName, std::unique_ptr<Ports::IEventLogReader>& log) {
    log.reset();
    UniqueHandle<EventLogTraits> opened(::OpenEventLogW(nullptr, logName.c_str()));
    ARVEK_RETURN_LAST_WIN32_ERROR_IF(!opened);
    log = std::make_unique<Win32EventLogReader>(std::move(opened));
    return ERROR_SUCCESS;
}

std::unique_ptr<Ports::IEventSource> Win32EventLog::RegisterSource(const std::wstring& sourceName) {
    UniqueEventSource source(::RegisterEventSourceW(nullptr, sourceName.c_str()));
    if (!source) return nullptr;
    return std::make_unique<Win32EventSource>(std::move(source));
}

}  // namespace Arvek::Win32
