// Process port: facts about the running program and its calling thread.
//
// Implementations: win32/process_win32, sim/os/sim_process.
//
// Nothing here throws but std::bad_alloc when memory runs out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Arvek::Ports {

class IProcess {
public:
    virtual ~IProcess() = default;

    // Full path of the program's own executable (GetModuleFileNameW, at most
    // 260 characters); empty when it cannot be had.
    virtual std::wstring ModuleFileName() = 0;

    // A string of the version resource of the executable at `path`, by its
    // sub-block ("\StringFileInfo\040904E4\ProductName"); nullopt when the
    // file has no version resource or the string is missing.
    virtual std::optional<std::wstring> VersionString(const std::wstring& path, const std::wstring& subBlock) = 0;

    virtual std::uint32_t CurrentThreadId() = 0;

    // VerifyVersionInfoW: whether the system's version is at least
    // major.minor with at least the service pack, each compared
    // greater-or-equal (VER_MAJORVERSION | VER_MINORVERSION |
    // VER_SERVICEPACKMAJOR). False when the call fails.
    virtual bool VersionIsAtLeast(std::uint32_t major, std::uint32_t minor, std::uint16_t servicePackMajor) = 0;

    // GetEnvironmentVariableW of the process's environment: nullopt when the
    // variable is not set (an empty value is an empty string).
    virtual std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) = 0;

    // The calling thread's last-error value.
    virtual std::uint32_t LastError() = 0;
    virtual void SetLastError(std::uint32_t error) = 0;
};

}  // namespace Arvek::Ports
