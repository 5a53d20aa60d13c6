#include "sim/os/sim_process.h"

#include <atomic>

#include "common/strings.h"

namespace Arvek::Sim {

namespace {
// Every process object gets a serial number of its own, so that a thread's
// remembered id can never be taken for one of another (later) process that
// happens to live at the same address.
std::atomic<std::uint64_t> g_nextSerial{1};

struct RememberedThreadId {
    std::uint64_t serial = 0;
    std::uint32_t id = 0;
};
thread_local RememberedThreadId t_threadId;
}  // namespace

SimProcess::SimProcess(std::wstring modulePath, std::wstring productName,
                       std::map<std::wstring, std::wstring> environment, std::wstring osVersion)
    : m_osVersion(std::move(osVersion)),
      m_modulePath(std::move(modulePath)),
      m_productName(std::move(productName)),
      m_environment(std::move(environment)),
      m_serial(g_nextSerial++) {}

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
    // Windows reads the id from the thread's own block; the simulation asks
    // its table once per thread and process and then remembers the answer,
    // so that a thread that logs a lot does not take a lock per line.
    if (t_threadId.serial == m_serial) return t_threadId.id;
    const std::uint32_t id = LookUpThreadId();
    t_threadId = {m_serial, id};
    return id;
}

std::uint32_t SimProcess::LookUpThreadId() {
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

}  // namespace Arvek::Sim
