// What the Windows tests that talk to the Tolm stand-in COM server share:
// the CTest fixture "tolm_standin" has registered the server
// (tests/tools/tolm_standin), and a test points it at a scenario through the
// "Scenario" value of the command class. Suites that use it have
// "TolmServer" in their name.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "common/strings.h"
#include "win32/handles.h"

namespace Arvek::Testing {

inline constexpr wchar_t kStandinCommandClassKey[] = L"CLSID\\{CA490AE1-8C69-45D5-9533-D4692726F2FB}";

// A path of this machine's file system as Windows programs name it: under
// Wine a Unix path becomes a drive path (Z:\...).
inline std::wstring WindowsPath(const std::string& path) {
    using ToDos = LPWSTR(CDECL*)(LPCSTR);
    const auto toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (!toDos || path.empty() || path[0] != '/') return WidenUtf8(path);
    LPWSTR dos = toDos(path.c_str());
    if (!dos) return WidenUtf8(path);
    std::wstring result(dos);
    ::HeapFree(::GetProcessHeap(), 0, dos);
    return result;
}

// Whether the program runs under Wine.
inline bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Points the stand-in at scenario files for the fixture's lifetime and takes
// the "Scenario" value away again afterwards.
class StandinScenario {
public:
    StandinScenario() = default;
    ~StandinScenario() {
        ::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, kStandinCommandClassKey, L"Scenario");
        std::error_code ignored;
        for (const auto& file : m_files) std::filesystem::remove(file, ignored);
    }
    StandinScenario(const StandinScenario&) = delete;
    StandinScenario& operator=(const StandinScenario&) = delete;

    void Use(const std::wstring& path) {
        Win32::UniqueRegistryKey key;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, kStandinCommandClassKey, 0, KEY_SET_VALUE, key.Put()),
                  ERROR_SUCCESS)
            << "the stand-in is registered (CTest fixture tolm_standin)";
        ASSERT_EQ(::RegSetValueExW(key.Get(), L"Scenario", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    // A scenario file of the given text in the temporary folder, in use.
    void UseText(const std::string& text) {
        static std::atomic<int> counter{0};
        const std::filesystem::path file =
            std::filesystem::temp_directory_path() /
            ("arvek-tolm-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".scenario");
        std::ofstream(file, std::ios::binary) << text;
        m_files.push_back(file);
        Use(file.wstring());
    }

private:
    std::vector<std::filesystem::path> m_files;
};

}  // namespace Arvek::Testing
