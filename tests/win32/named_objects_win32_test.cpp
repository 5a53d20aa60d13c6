// Named mutexes over CreateMutexW: what the single-instance rule and the log
// file's lock rely on.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "common/hresult.h"
#include "win32/named_objects_win32.h"

namespace Arvek::Win32 {
namespace {

using Ports::WaitResult;

class Win32NamedMutexTest : public testing::Test {
protected:
    // A name no other test process uses.
    static std::wstring UniqueName(const wchar_t* what) {
        return std::wstring(L"ArvekTest.") + what + L"." + std::to_wstring(::GetCurrentProcessId());
    }
    Win32NamedObjects objects;
};

TEST_F(Win32NamedMutexTest, SecondCreateReportsAlreadyExistsAndStillGivesAHandle) {
    const std::wstring name = UniqueName(L"Twice");
    const auto first = objects.CreateNamedMutex(name, true);
    ASSERT_TRUE(first.mutex);
    EXPECT_EQ(first.error, kERROR_SUCCESS);

    const auto second = objects.CreateNamedMutex(name, true);
    ASSERT_TRUE(second.mutex);
    EXPECT_EQ(second.error, kERROR_ALREADY_EXISTS);

    // Both handles name one object, owned by this thread since the first call.
    std::thread other([&] { EXPECT_EQ(second.mutex->Wait(0), WaitResult::TimedOut); });
    other.join();
}

TEST_F(Win32NamedMutexTest, ErrorOfTheCallSurvivesWhatTheAdapterDoesAfterIt) {
    const std::wstring name = UniqueName(L"LastError");
    const auto first = objects.CreateNamedMutex(name, false);
    ASSERT_TRUE(first.mutex);
    ::SetLastError(ERROR_INVALID_DATA);  // a stale value must not leak into the result
    const auto second = objects.CreateNamedMutex(name, false);
    EXPECT_EQ(second.error, kERROR_ALREADY_EXISTS);
    const auto fresh = objects.CreateNamedMutex(UniqueName(L"Fresh"), false);
    EXPECT_EQ(fresh.error, kERROR_SUCCESS);
}

TEST_F(Win32NamedMutexTest, AnInvalidNameGivesNoMutexAndTheCallsError) {
    // Only "Global\" and "Local\" may precede a backslash in a session's names.
    const auto result = objects.CreateNamedMutex(L"No\\Such\\Namespace", false);
    EXPECT_FALSE(result.mutex);
    EXPECT_NE(result.error, kERROR_SUCCESS);
}

TEST_F(Win32NamedMutexTest, WaitResultsMapOwnershipAsWindowsGivesIt) {
    const std::wstring name = UniqueName(L"Wait");
    auto mine = objects.CreateNamedMutex(name, false);
    ASSERT_TRUE(mine.mutex);

    // Ownership is per thread and recursive.
    EXPECT_EQ(mine.mutex->Wait(0), WaitResult::Acquired);
    EXPECT_EQ(mine.mutex->Wait(0), WaitResult::Acquired);
    std::thread([&] {
        EXPECT_EQ(mine.mutex->Wait(10), WaitResult::TimedOut);
        EXPECT_FALSE(mine.mutex->Release());  // not the owner
    }).join();
    EXPECT_TRUE(mine.mutex->Release());
    EXPECT_TRUE(mine.mutex->Release());
    EXPECT_FALSE(mine.mutex->Release());

    // A thread that ends while owning it leaves it abandoned; the next waiter owns it.
    std::thread([&] { EXPECT_EQ(mine.mutex->Wait(0), WaitResult::Acquired); }).join();
    EXPECT_EQ(mine.mutex->Wait(0), WaitResult::Abandoned);
    EXPECT_TRUE(mine.mutex->Release());
}

TEST_F(Win32NamedMutexTest, ClosingTheLastHandleEndsTheName) {
    const std::wstring name = UniqueName(L"Closed");
    {
        const auto held = objects.CreateNamedMutex(name, true);
        ASSERT_TRUE(held.mutex);
    }
    const auto again = objects.CreateNamedMutex(name, false);
    ASSERT_TRUE(again.mutex);
    EXPECT_EQ(again.error, kERROR_SUCCESS);
    EXPECT_EQ(again.mutex->Wait(0), WaitResult::Acquired);  // not abandoned: a new object
    EXPECT_TRUE(again.mutex->Release());
}

}  // namespace
}  // namespace Arvek::Win32
