#include "process_log_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "shared/log.h"
#include "win32/platform_win32.h"

namespace Arvek::Testing {
namespace {

class NoPolicyRegistry final : public Ports::IRegistry {
public:
    std::uint32_t OpenKey(Ports::RegistryRoot, const std::wstring&, std::uint32_t,
                          std::unique_ptr<Ports::IRegistryKey>& key) override {
        key.reset();
        return kERROR_FILE_NOT_FOUND;
    }
};

// What the log's event listener reports: one insertion string, the whole
// line ("time|thread|Level      |Function|Message"), with the record's
// level as the event id.
class KeptEventLog final : public Ports::IEventLog {
public:
    std::unique_ptr<Ports::IEventSource> RegisterSource(const std::wstring&) override {
        return std::make_unique<Source>(*this);
    }

    std::vector<std::wstring> LinesFrom(std::size_t first) {
        std::lock_guard guard(m_lock);
        return {m_lines.begin() + static_cast<std::ptrdiff_t>(std::min(first, m_lines.size())), m_lines.end()};
    }
    std::size_t Count() {
        std::lock_guard guard(m_lock);
        return m_lines.size();
    }

private:
    class Source final : public Ports::IEventSource {
    public:
        explicit Source(KeptEventLog& log) : m_log(log) {}
        bool Report(std::uint16_t, std::uint16_t, std::uint32_t eventId,
                    const std::vector<std::wstring>& strings) override {
            m_log.Keep(static_cast<std::int32_t>(eventId), strings.empty() ? std::wstring() : strings.front());
            return true;
        }

    private:
        KeptEventLog& m_log;
    };

    // "Level Function : Message": the level by its number, function and
    // message from the line's last two fields (a message may hold '|').
    void Keep(std::int32_t level, const std::wstring& line) {
        std::size_t at = 0;
        for (int field = 0; field < 3 && at != std::wstring::npos; ++field) {
            at = line.find(L'|', at);
            if (at != std::wstring::npos) ++at;
        }
        const std::size_t split = at == std::wstring::npos ? std::wstring::npos : line.find(L'|', at);
        std::wstring kept(Shared::LevelName(level));
        kept += L' ';
        kept += split == std::wstring::npos ? line : line.substr(at, split - at) + L" : " + line.substr(split + 1);
        std::lock_guard guard(m_lock);
        m_lines.push_back(std::move(kept));
    }

    std::mutex m_lock;
    std::vector<std::wstring> m_lines;
};

// The platform, never destroyed: the log keeps it until the process ends.
struct TestPlatform {
    Win32::Win32Platform windows;
    NoPolicyRegistry registry;
    KeptEventLog eventLog;
    // The Windows adapters but for the registry and the event log.
    Ports::Platform platform{registry, windows.process, windows.clock, windows.files, windows.namedObjects,
                             eventLog, windows.debugOutput, windows.console, windows.windowing,
                             windows.resources, windows.com, windows.tolm, windows.xml, windows.wmi,
                             windows.toasts, windows.shell, windows.devices, windows.threads};
};

TestPlatform* g_platform = nullptr;
std::size_t g_clearedAt = 0;

class ProcessLogEnvironment : public testing::Environment {
public:
    void SetUp() override {
        g_platform = new TestPlatform;
        Shared::SetProcessPlatform(g_platform->platform);
        Shared::GetLog();
    }
};

[[maybe_unused]] testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new ProcessLogEnvironment);

}  // namespace

std::vector<std::wstring> ProcessLogLines() { return g_platform->eventLog.LinesFrom(g_clearedAt); }

void ClearProcessLog() { g_clearedAt = g_platform->eventLog.Count(); }

}  // namespace Arvek::Testing
