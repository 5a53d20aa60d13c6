// Facts about the running program: its path, version-resource strings of an
// executable, its environment, the calling thread's id and last-error value.
#pragma once

#include "ports/process.h"

namespace Arvek::Win32 {

class Win32Process final : public Ports::IProcess {
public:
    std::wstring ModuleFileName() override;
    std::optional<std::wstring> VersionString(const std::wstring& path, const std::wstring& subBlock) override;
    std::uint32_t CurrentThreadId() override;
    std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) override;
    bool VersionIsAtLeast(std::uint32_t major, std::uint32_t minor, std::uint16_t servicePackMajor) override;
    std::uint32_t LastError() override;
    void SetLastError(std::uint32_t error) override;
};

}  // namespace Arvek::Win32
