// The log file on the real Windows API and C runtime (under Wine in this
// build): the file port's contract, the listener's first-line check against
// the byte-order mark the C runtime writes, and a smaller run of the
// multi-process stress test, with a writer terminated in the middle of a
// batch.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/strings.h"
#include "contract/files_contract.h"
#include "shared/file_listener.h"
#include "tools/stress_lines.h"
#include "win32/files_win32.h"
#include "win32/handles.h"
#include "win32/named_objects_win32.h"

namespace Arvek::Testing {
namespace {

namespace fs = std::filesystem;

std::wstring Unique(const wchar_t* what) {
    static std::atomic<int> counter{0};
    return std::wstring(what) + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

class Win32FilesBackend final : public FilesContractBackend {
public:
    ~Win32FilesBackend() override {
        std::error_code ignored;
        if (!m_scratch.empty()) fs::remove_all(fs::path(m_scratch), ignored);
    }
    Ports::IFileSystem& Files() override { return m_files; }
    std::wstring ScratchFolder() override {
        m_scratch = m_files.TempPath() + Unique(L"arvek-files-");
        EXPECT_TRUE(::CreateDirectoryW(m_scratch.c_str(), nullptr));
        return m_scratch;
    }
    fs::path HostPath(const std::wstring& path) override { return fs::path(path); }

private:
    Win32::Win32FileSystem m_files;
    std::wstring m_scratch;
};

std::unique_ptr<FilesContractBackend> MakeWin32Backend() { return std::make_unique<Win32FilesBackend>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32, FilesContract, testing::Values(&MakeWin32Backend),
                         [](const auto&) { return std::string("Win32FileSystem"); });

namespace {

using Shared::CArvekLogListener;
using Shared::CArvekLogListenerFile;

// A program name of its own, so that the test's files and mutex are its own
// in the shared Wine prefix; the files go when the test ends.
class Win32FileLog : public testing::Test {
protected:
    void TearDown() override {
        for (const auto& file : files.FindFiles(folder + L"\\" + program + L"*.log")) files.RemoveFile(folder + L"\\" + file.name);
    }
    std::unique_ptr<CArvekLogListenerFile> Make() {
        Shared::LogConfigKeys keys;
        keys.programName = program;
        return std::make_unique<CArvekLogListenerFile>(Shared::Information, false, keys, files, namedObjects);
    }
    std::string Read(const std::wstring& path) {
        std::ifstream in(fs::path(path), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    Win32::Win32FileSystem files;
    Win32::Win32NamedObjects namedObjects;
    const std::wstring program = Unique(L"FlTest");
    const std::wstring folder = files.RoamingAppDataFolder().value_or(L"") + L"\\arqLog";
    const std::wstring path = folder + L"\\" + program + L".log";
};

TEST_F(Win32FileLog, TheByteOrderMarkOfTheCRuntimeDoesNotUpsetTheFirstLineCheck) {
    CArvekLogListener::LogData data(Shared::Information, "Fn", L"gr\u00fc\u00dfe",
                                    Ports::SystemTime{2026, 12, 3, 9, 1, 58, 47, 123}, 0x1A2C);
    const std::string line = "2026/12/09 01:58:47.123|00001A2C|Information|Fn|gr\xC3\xBC\xC3\x9F" "e\r\n";
    {
        auto listener = Make();
        ASSERT_EQ(path, listener->Path());
        std::wstring mutexName = L"Global\\" + path.substr(2);  // C:\users\... -> Global\.users....
        std::replace(mutexName.begin() + 7, mutexName.end(), L'\\', L'.');
        EXPECT_EQ(mutexName, listener->MutexName());
        listener->Log(data);
    }
    EXPECT_EQ("\xEF\xBB\xBF" + line, Read(path));
    {
        auto listener = Make();  // a file of ours: kept
        listener->Log(data);
    }
    EXPECT_EQ("\xEF\xBB\xBF" + line + line, Read(path));
    EXPECT_FALSE(files.GetFileInfo(Shared::LogFileNames::RotatedFile(folder, program, 1)));

    std::ofstream(fs::path(path), std::ios::binary | std::ios::trunc) << "not a log\r\n";
    Make();  // not ours: moved aside
    EXPECT_EQ("not a log\r\n", Read(Shared::LogFileNames::RotatedFile(folder, program, 1)));
    EXPECT_EQ("\xEF\xBB\xBF", Read(path));
}

// log_stress_writer.exe, started next to this test program.
class Win32LogStress : public testing::Test {
protected:
    void SetUp() override {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        writer = fs::path(self).parent_path() / L"log_stress_writer.exe";
        ASSERT_TRUE(fs::exists(writer)) << writer.string() << " is built with the tests (tests/tools)";
        fs::create_directories(archive);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(archive.parent_path(), ignored);
        for (const auto& file : files.FindFiles(folder + L"\\" + WidenUtf8(program) + L"*.log"))
            files.RemoveFile(folder + L"\\" + file.name);
    }

    Win32::UniqueKernelHandle Start(int id, long direct, long queued, const std::wstring& extra = L"") {
        std::wstring command = L"\"" + writer.wstring() + L"\" --program " + WidenUtf8(program) + L" --writer " +
                               std::to_wstring(id) + L" --direct " + std::to_wstring(direct) + L" --queued " +
                               std::to_wstring(queued) + L" --max-kib 2 --archive \"" + archive.wstring() + L"\"" + extra;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        EXPECT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &process));
        ::CloseHandle(process.hThread);
        return Win32::UniqueKernelHandle(process.hProcess);
    }
    static DWORD Finish(const Win32::UniqueKernelHandle& process) {
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Get(), 120000));
        DWORD code = 0xFFFFFFFF;
        ::GetExitCodeProcess(process.Get(), &code);
        return code;
    }
    static void ExpectNoProblems(const std::vector<std::string>& problems) {
        for (std::size_t i = 0; i < problems.size() && i < 20; ++i) ADD_FAILURE() << problems[i];
    }

    Win32::Win32FileSystem files;
    fs::path writer;
    const std::string program = NarrowUtf8(Unique(L"Stress"));
    const std::wstring folder = files.RoamingAppDataFolder().value_or(L"") + L"\\arqLog";
    const fs::path archive = fs::path(files.TempPath() + Unique(L"arvek-stress-")) / L"deleted";
    static constexpr long kLines = 400;
};

TEST_F(Win32LogStress, FourProcessesRotatingAllTheTimeLoseAndTearNothing) {
    std::vector<Win32::UniqueKernelHandle> writers;
    for (int id = 1; id <= 4; ++id) writers.push_back(Start(id, kLines, kLines));
    for (const auto& process : writers) EXPECT_EQ(0u, Finish(process));

    const auto report = Stress::CollectRun(fs::path(folder), program, archive);
    ExpectNoProblems(report.problems);
    for (int id = 1; id <= 4; ++id)
        for (char stream : {'d', 'q'}) ExpectNoProblems(Stress::CheckComplete(report, id, stream, kLines));
    ExpectNoProblems(Stress::CheckOrderWithinFiles(report));
    EXPECT_GT(std::distance(fs::directory_iterator(archive), fs::directory_iterator()), 5);
}

TEST_F(Win32LogStress, AWriterTerminatedInTheMiddleOfABatchHarmsNothing) {
    constexpr long kVictimLines = 200;
    const fs::path ready = archive.parent_path() / L"victim-holds-the-mutex";
    auto victim = Start(9, 0, kLines * 100,
                        L" --block-after " + std::to_wstring(kVictimLines) + L" --ready \"" + ready.wstring() + L"\"");
    std::vector<Win32::UniqueKernelHandle> others;
    for (int id = 1; id <= 3; ++id) others.push_back(Start(id, kLines, kLines));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!fs::exists(ready) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(fs::exists(ready));
    ::TerminateProcess(victim.Get(), 99);
    EXPECT_EQ(99u, Finish(victim));
    for (const auto& process : others) EXPECT_EQ(0u, Finish(process));

    const auto report = Stress::CollectRun(fs::path(folder), program, archive);
    ExpectNoProblems(report.problems);
    for (int id = 1; id <= 3; ++id)
        for (char stream : {'d', 'q'}) ExpectNoProblems(Stress::CheckComplete(report, id, stream, kLines));
    ExpectNoProblems(Stress::CheckComplete(report, 9, 'q', kVictimLines));
    ExpectNoProblems(Stress::CheckOrderWithinFiles(report));
}

}  // namespace
}  // namespace Arvek::Testing
