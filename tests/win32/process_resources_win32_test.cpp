// The process and resource ports against this test program, which carries
// Tidewatch.exe's resource script: its version block and string table.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "common/strings.h"
#include "win32/process_win32.h"
#include "win32/resources_win32.h"

namespace Arvek::Win32 {
namespace {

TEST(Win32Process, ModuleFileNameIsThisProgramsFullPath) {
    Win32Process process;
    const std::wstring path = process.ModuleFileName();
    ASSERT_GT(path.size(), 3u);
    EXPECT_EQ(path[1], L':') << NarrowUtf8(path);
    EXPECT_TRUE(EqualsIgnoreCase(path.substr(path.rfind(L'\\') + 1), L"arvek_tests.exe")) << NarrowUtf8(path);
}

TEST(Win32Process, VersionStringsComeFromTheNamedBlock) {
    Win32Process process;
    const std::wstring self = process.ModuleFileName();
    const struct {
        const wchar_t* subBlock;
        std::optional<std::wstring> expected;
    } cases[] = {
        {L"\\StringFileInfo\\040904B0\\ProductName", L"Tidewatch Application"},
        {L"\\StringFileInfo\\040904B0\\CompanyName", L"Arvek"},
        {L"\\StringFileInfo\\040904B0\\FileVersion", L"1.0.0.0"},
        {L"\\StringFileInfo\\040904B0\\OriginalFilename", L"Tidewatch.exe"},
        {L"\\StringFileInfo\\040904b0\\productname", L"Tidewatch Application"},  // names ignore case
        {L"\\StringFileInfo\\040904E4\\ProductName", std::nullopt},  // no such block
        {L"\\StringFileInfo\\040904B0\\Comments", std::nullopt},     // no such string
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(NarrowUtf8(c.subBlock));
        EXPECT_EQ(process.VersionString(self, c.subBlock), c.expected);
    }
}

TEST(Win32Process, VersionStringOfAFileWithoutVersionIsAbsent) {
    Win32Process process;
    for (const std::wstring path : {L"C:\\no\\such\\program.exe", L"C:\\windows\\win.ini", L""}) {
        SCOPED_TRACE(NarrowUtf8(path));
        EXPECT_EQ(process.VersionString(path, L"\\StringFileInfo\\040904B0\\ProductName"), std::nullopt);
    }
}

TEST(Win32Process, LastErrorAndThreadIdBelongToTheCallingThread) {
    Win32Process process;
    std::uint32_t otherThreadId = 0;
    std::uint32_t otherLastError = 0;
    // Starting and joining a thread changes the last-error value itself; so
    // does almost every call. Each check reads it right after setting it.
    process.SetLastError(0x20001234);
    std::thread([&] {
        otherLastError = process.LastError();
        process.SetLastError(5);
        otherThreadId = process.CurrentThreadId();
    }).join();
    process.SetLastError(0x20005678);
    EXPECT_EQ(process.LastError(), 0x20005678u);
    EXPECT_NE(otherLastError, 0x20001234u);
    EXPECT_EQ(process.CurrentThreadId(), ::GetCurrentThreadId());
    EXPECT_NE(otherThreadId, process.CurrentThreadId());
}

TEST(Win32Process, EnvironmentVariablesAreSetEmptyOrAbsent) {
    Win32Process process;
    const std::wstring name = L"ARVEK_TEST_" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring longValue(5000, L'x');  // beyond any first guess of a buffer
    const struct {
        const wchar_t* value;  // null: not set
        std::optional<std::wstring> expected;
    } cases[] = {
        {L"C:\\Program Files\\Arvek", L"C:\\Program Files\\Arvek"},
        {longValue.c_str(), longValue},
        {L"", L""},
        {nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? NarrowUtf8(std::wstring(c.value).substr(0, 40)) : "unset");
        ASSERT_TRUE(::SetEnvironmentVariableW(name.c_str(), c.value));
        EXPECT_EQ(process.EnvironmentVariable(name), c.expected);
    }
    EXPECT_EQ(process.EnvironmentVariable(L"ARVEK_NEVER_SET_ANYWHERE"), std::nullopt);
}

TEST(Win32Resources, StringsAreCutToTheBufferLikeLoadStringW) {
    Win32Resources resources(::GetModuleHandleW(nullptr));
    const struct {
        std::uint32_t id;
        std::size_t capacity;
        const wchar_t* expected;
    } cases[] = {
        {500, 100, L"Arvek Notifications"},
        {505, 100, L"TIDEWATCH"},
        {500, 20, L"Arvek Notifications"},  // 19 characters and the terminator fit exactly
        {500, 19, L"Arvek Notification"},
        {500, 6, L"Arvek"},
        {500, 1, L""},
        {500, 0, L""},
        {559, 100, L""},  // a neighbour of 558 in its bundle of 16, without text
        {9999, 100, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.id) + " into " + std::to_string(c.capacity));
        EXPECT_EQ(resources.LoadText(c.id, c.capacity), c.expected);
    }
}

// The agent's icon file is a data resource (type 300, id 133); 136 is not.
TEST(Win32Resources, DataResourcesAreTheirBytes) {
    Win32Resources resources(::GetModuleHandleW(nullptr));
    const auto icon = resources.LoadData(300, 133);
    ASSERT_TRUE(icon.has_value());
    ASSERT_GE(icon->size(), 6u);
    EXPECT_EQ(std::string(icon->begin(), icon->begin() + 6), std::string("\0\0\1\0\x08\0", 6)) << "8 images";
    EXPECT_FALSE(resources.LoadData(300, 136).has_value());
    EXPECT_FALSE(resources.LoadData(301, 133).has_value());
}

TEST(Win32Process, VersionComparisonsAgainstTheRunningSystem) {
    Win32Process process;
    EXPECT_TRUE(process.VersionIsAtLeast(5, 1, 0));  // every system these programs run on
    EXPECT_TRUE(process.VersionIsAtLeast(5, 1, 99)) << "the parts compare in order: a newer major wins";
    EXPECT_FALSE(process.VersionIsAtLeast(99, 0, 0));
}

}  // namespace
}  // namespace Arvek::Win32
