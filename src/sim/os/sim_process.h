// The simulated program's process: its executable, version strings,
// environment, system version, thread ids and last-error value.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ports/process.h"

namespace Arvek::Sim {

class SimProcess : public Ports::IProcess {
public:
    SimProcess(std::wstring modulePath, std::wstring productName,
               std::map<std::wstring, std::wstring> environment = {}, std::wstring osVersion = L"10.0.22631");
    std::wstring ModuleFileName() override { return m_modulePath; }
    std::optional<std::wstring> VersionString(const std::wstring& path, const std::wstring& subBlock) override;
    // The first thread that asks is the simulated main thread (0x1A2C); others
    // get the following ids in the order they first ask, so transcripts are stable.
    std::uint32_t CurrentThreadId() override;
    std::uint32_t LastError() override;
    void SetLastError(std::uint32_t error) override;
    // Names compare without regard to case, as Windows compares them.
    std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) override;
    // Compares with the scenario's system version ("10.0.22631"); the
    // service pack is 0.
    bool VersionIsAtLeast(std::uint32_t major, std::uint32_t minor, std::uint16_t servicePackMajor) override;

private:
    std::uint32_t LookUpThreadId();

    std::wstring m_osVersion;
    std::wstring m_modulePath;
    std::wstring m_productName;
    std::map<std::wstring, std::wstring> m_environment;
    std::mutex m_lock;
    std::map<std::thread::id, std::uint32_t> m_threadIds;
    const std::uint64_t m_serial;
};

}  // namespace Arvek::Sim
