// The Windows shell behind the shell port (under Wine in this build): the
// shell contract, with window-tool.exe (built beside this test program, it
// ends at once without arguments) as the program that is started.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "common/strings.h"
#include "contract/shell_contract.h"
#include "win32/files_win32.h"
#include "win32/handles.h"
#include "win32/shell_win32.h"

namespace Arvek::Testing {
namespace {

namespace fs = std::filesystem;

fs::path BesideThisProgram(const wchar_t* name) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(self).parent_path() / name;
}

// The shortcut needs the thread in a COM apartment: the backend keeps it
// there for as long as it lives (the apartment is the first member in, the
// last out).
class Win32ShellBackend final : public ShellContractBackend {
public:
    ~Win32ShellBackend() override {
        if (m_scratch.empty()) return;
        // A program the case started may still hold its file for a moment.
        std::error_code error;
        for (int attempt = 0; attempt < 50; ++attempt) {
            fs::remove_all(fs::path(m_scratch), error);
            if (!error) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    Ports::IShell& Shell() override { return m_shell; }
    Ports::IFileSystem& Files() override { return m_files; }
    std::wstring ScratchFolder() override {
        static std::atomic<int> counter{0};
        m_scratch = m_files.TempPath() + L"arvek-shell-" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                    std::to_wstring(++counter);
        EXPECT_TRUE(::CreateDirectoryW(m_scratch.c_str(), nullptr));
        return m_scratch;
    }
    void PutProgram(const std::wstring& path) override {
        const fs::path program = BesideThisProgram(L"window-tool.exe");
        ASSERT_TRUE(fs::exists(program)) << program.string() << " is built with the tests (tests/wine)";
        EXPECT_TRUE(::CopyFileW(program.c_str(), path.c_str(), FALSE)) << NarrowUtf8(path);
    }

private:
    Win32::ComApartment m_apartment;
    Win32::Win32Shell m_shell;
    Win32::Win32FileSystem m_files;
    std::wstring m_scratch;
};

std::unique_ptr<ShellContractBackend> MakeWin32Backend() { return std::make_unique<Win32ShellBackend>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32, ShellContract, testing::Values(&MakeWin32Backend),
                         [](const auto&) { return std::string("Win32Shell"); });

}  // namespace Arvek::Testing
