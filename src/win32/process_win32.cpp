#include "win32/process_win32.h"

#include <windows.h>
#include <winver.h>

#include <cwchar>
#include <vector>

namespace Arvek::Win32 {

std::wstring Win32Process::ModuleFileName() {
    // MAX_PATH, as the programs have always asked: a longer path comes back
    // cut to 259 characters (the call's own behaviour), not grown.
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0) return {};
    return std::wstring(path, wcsnlen(path, MAX_PATH));
}

std::optional<std::wstring> Win32Process::VersionString(const std::wstring& path, const std::wstring& subBlock) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return std::nullopt;
    void* value = nullptr;
    UINT length = 0;  // in characters for a string value, its terminator included
    if (!::VerQueryValueW(block.data(), subBlock.c_str(), &value, &length)) return std::nullopt;
    if (!value || length == 0) return std::nullopt;
    const auto* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, wcsnlen(text, length));
}

std::uint32_t Win32Process::CurrentThreadId() { return ::GetCurrentThreadId(); }

std::optional<std::wstring> Win32Process::EnvironmentVariable(const std::wstring& name) {
    // The first call asks for the size, terminator included; the value may
    // grow between the calls (another thread sets it), so ask again until
    // it fits. A zero answer is either "not set" or an empty value: the
    // last-error value tells them apart.
    std::vector<wchar_t> buffer(1);
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetEnvironmentVariableW(name.c_str(), buffer.data(), size);
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::wstring();
        }
        if (length < size) return std::wstring(buffer.data(), length);
        buffer.resize(length);  // the size it asks for, terminator included
    }
}

bool Win32Process::VersionIsAtLeast(std::uint32_t major, std::uint32_t minor, std::uint16_t servicePackMajor) {
    OSVERSIONINFOEXW wanted{};
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    wanted.wServicePackMajor = servicePackMajor;
    DWORDLONG condition = 0;
    condition = ::VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = ::VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    condition = ::VerSetConditionMask(condition, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return ::VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, condition) !=
           FALSE;
}

std::uint32_t Win32Process::LastError() { return ::GetLastError(); }

void Win32Process::SetLastError(std::uint32_t error) { ::SetLastError(error); }

}  // namespace Arvek::Win32
