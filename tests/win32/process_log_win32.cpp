#include "process_log_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "common/strings.h"
#include "shared/log.h"
#include "win32/platform_win32.h"

namespace Arvek::Testing {
namespace {

constexpr wchar_t kProduct[] = L"Tidewatch Application";

// A registry whose one key is the log's policy, whatever the Wine prefix
// holds: every level, to the event listener.
class LogPolicyRegistry final : public Ports::IRegistry {
public:
    std::uint32_t OpenKey(Ports::RegistryRoot root, const std::wstring& path, std::uint32_t,
                          std::unique_ptr<Ports::IRegistryKey>& key) override {
        key.reset();
        if (root != Ports::RegistryRoot::LocalMachine ||
            !EqualsIgnoreCase(path, std::wstring(L"Software\\Policies\\Arvek\\") + kProduct))
            return kERROR_FILE_NOT_FOUND;
        key = std::make_unique<PolicyKey>();
        return kERROR_SUCCESS;
    }

private:
    class PolicyKey final : public Ports::IRegistryKey {
    public:
        std::uint32_t QueryValue(const std::wstring& name, std::uint32_t* type, std::uint8_t* data,
                                 std::uint32_t* size) override {
            const wchar_t* text = EqualsIgnoreCase(name, L"LoggingType")   ? L"EVENT"
                                  : EqualsIgnoreCase(name, L"MinLogLevel") ? L"TraceIn"
                                                                           : nullptr;
            if (!text) return kERROR_FILE_NOT_FOUND;
            const std::wstring value(text);
            const auto bytes = static_cast<std::uint32_t>((value.size() + 1) * 2);
            if (type) *type = Ports::kREG_SZ;
            if (data && size && *size < bytes) {
                *size = bytes;
                return kERROR_MORE_DATA;
            }
            if (data)
                for (std::size_t i = 0; i <= value.size(); ++i) {
                    const auto unit = i < value.size() ? static_cast<std::uint16_t>(value[i]) : 0;
                    data[2 * i] = static_cast<std::uint8_t>(unit & 0xFF);
                    data[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
                }
            if (size) *size = bytes;
            return kERROR_SUCCESS;
        }
        std::uint32_t OpenSubKey(const std::wstring&, std::uint32_t, std::unique_ptr<Ports::IRegistryKey>& key) override {
            key.reset();
            return kERROR_FILE_NOT_FOUND;
        }
    };
};

// The Windows process, but for the product name its version resource would
// give the log.
class ProductProcess final : public Ports::IProcess {
public:
    explicit ProductProcess(Ports::IProcess& process) : m_process(process) {}
    std::wstring ModuleFileName() override { return m_process.ModuleFileName(); }
    std::optional<std::wstring> VersionString(const std::wstring& path, const std::wstring& subBlock) override {
        if (subBlock.ends_with(L"\\ProductName")) return std::wstring(kProduct);
        return m_process.VersionString(path, subBlock);
    }
    std::uint32_t CurrentThreadId() override { return m_process.CurrentThreadId(); }
    bool VersionIsAtLeast(std::uint32_t major, std::uint32_t minor, std::uint16_t servicePack) override {
        return m_process.VersionIsAtLeast(major, minor, servicePack);
    }
    std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) override {
        return m_process.EnvironmentVariable(name);
    }
    std::uint32_t LastError() override { return m_process.LastError(); }
    void SetLastError(std::uint32_t error) override { m_process.SetLastError(error); }

private:
    Ports::IProcess& m_process;
};

// What the log's event listener reports: one insertion string, the whole
// line ("time|thread|Level      |Function|Message"), with the record's
// level as the event id.
class KeptEventLog final : public Ports::IEventLog {
public:
    std::unique_ptr<Ports::IEventSource> RegisterSource(const std::wstring&) override {
        return std::make_unique<Source>(*this);
    }
    std::uint32_t OpenLog(const std::wstring&, std::unique_ptr<Ports::IEventLogReader>& log) override {
        log.reset();
        return kERROR_FILE_NOT_FOUND;  // the test program's log is not read back
    }

    std::vector<std::wstring> LinesFrom(std::size_t first, std::int32_t minimum) {
        std::lock_guard guard(m_lock);
        std::vector<std::wstring> lines;
        for (std::size_t i = first; i < m_lines.size(); ++i)
            if (m_lines[i].first >= minimum) lines.push_back(m_lines[i].second);
        return lines;
    }
    std::size_t Count() {
        std::lock_guard guard(m_lock);
        return m_lines.size();
    }

private:
    class Source final : public Ports::IEventSource {
    public:
        explicit Source(KeptEventLog& log) : m_log(log) {}
        std::uint32_t Report(std::uint16_t, std::uint16_t, std::uint32_t eventId,
                    const std::vector<std::wstring>& strings) override {
            m_log.Keep(static_cast<std::int32_t>(eventId), strings.empty() ? std::wstring() : strings.front());
            return 0;
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
        m_lines.emplace_back(level, std::move(kept));
    }

    std::mutex m_lock;
    std::vector<std::pair<std::int32_t, std::wstring>> m_lines;
};

// The platform, never destroyed: the log keeps it until the process ends.
struct TestPlatform {
    Win32::Win32Platform windows;
    LogPolicyRegistry registry;
    ProductProcess process{windows.process};
    KeptEventLog eventLog;
    // The Windows adapters but for the registry, the process and the event log.
    Ports::Platform platform{registry, process, windows.clock, windows.files, windows.namedObjects,
                             eventLog, windows.debugOutput, windows.console, windows.windowing,
                             windows.resources, windows.com, windows.tolm, windows.xml, windows.wmi,
                             windows.toasts, windows.shell, windows.devices, windows.threads,
                             windows.wmiEvents, windows.dialogs};
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

std::vector<std::wstring> ProcessLogLines(std::int32_t minimumLevel) {
    return g_platform->eventLog.LinesFrom(g_clearedAt, minimumLevel);
}

void ClearProcessLog() { g_clearedAt = g_platform->eventLog.Count(); }

}  // namespace Arvek::Testing
