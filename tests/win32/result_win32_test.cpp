// The adapter's result checks (win32/result.h): each form returns early with
// its value on its condition only, evaluates its call once, and a last error
// of 0 after a failure never reads as success.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32/handles.h"
#include "win32/result.h"

namespace Arvek::Win32 {
namespace {

// What a function returns when no check returned early.
constexpr ::HRESULT kReached = 0x2A;  // a success code of no other meaning
constexpr DWORD kReachedWin32 = 0x2A;

TEST(Win32Result, ALastErrorOfZeroNeverReadsAsSuccess) {
    static constexpr const void* kNull = nullptr;
    struct Case {
        DWORD lastError;
        DWORD win32;
        ::HRESULT hr;
    };
    const Case cases[] = {
        {ERROR_SUCCESS, ERROR_GEN_FAILURE, E_FAIL},
        {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, E_ACCESSDENIED},
        {ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastError);
        ::SetLastError(c.lastError);
        EXPECT_EQ(LastErrorAsWin32(), c.win32);
        ::SetLastError(c.lastError);
        EXPECT_EQ(LastErrorAsHresult(), c.hr);
        // The last-error forms of the checks give the same.
        ::SetLastError(c.lastError);
        EXPECT_EQ([]() -> DWORD { ARVEK_RETURN_LAST_WIN32_ERROR_IF(true); return kReachedWin32; }(), c.win32);
        ::SetLastError(c.lastError);
        EXPECT_EQ([]() -> DWORD { ARVEK_RETURN_LAST_WIN32_ERROR_IF_NULL(kNull); return kReachedWin32; }(), c.win32);
        ::SetLastError(c.lastError);
        EXPECT_EQ([]() -> ::HRESULT { ARVEK_RETURN_LAST_ERROR_IF(true); return kReached; }(), c.hr);
        ::SetLastError(c.lastError);
        EXPECT_EQ([]() -> ::HRESULT { ARVEK_RETURN_LAST_ERROR_IF_NULL(kNull); return kReached; }(), c.hr);
    }
    EXPECT_EQ([]() -> DWORD { ARVEK_RETURN_LAST_WIN32_ERROR_IF(false); return kReachedWin32; }(), kReachedWin32);
    EXPECT_EQ([]() -> ::HRESULT { ARVEK_RETURN_LAST_ERROR_IF_NULL(&kReached); return kReached; }(), kReached);
}

TEST(Win32Result, EachFormReturnsItsValueOnItsConditionOnly) {
    int calls = 0;
    const auto ifFailed = [&](::HRESULT hr) -> ::HRESULT {
        ARVEK_RETURN_IF_FAILED((++calls, hr));
        return kReached;
    };
    EXPECT_EQ(ifFailed(E_ACCESSDENIED), E_ACCESSDENIED);
    EXPECT_EQ(ifFailed(S_FALSE), kReached) << "a success code goes on";
    EXPECT_EQ(ifFailed(S_OK), kReached);

    const auto ifWin32Error = [&](LSTATUS status) -> DWORD {
        ARVEK_RETURN_IF_WIN32_ERROR((++calls, status));
        return kReachedWin32;
    };
    EXPECT_EQ(ifWin32Error(ERROR_MORE_DATA), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(ifWin32Error(ERROR_SUCCESS), kReachedWin32);
    EXPECT_EQ(calls, 5) << "each checked call evaluated once";

    const int something = 0;
    const auto ifNull = [](const void* pointer) -> ::HRESULT {
        ARVEK_RETURN_HR_IF_NULL(E_POINTER, pointer);
        return kReached;
    };
    EXPECT_EQ(ifNull(nullptr), E_POINTER);
    EXPECT_EQ(ifNull(&something), kReached);
    const auto ifTrue = [](bool condition) -> ::HRESULT {
        ARVEK_RETURN_HR_IF(E_INVALIDARG, condition);
        return kReached;
    };
    EXPECT_EQ(ifTrue(true), E_INVALIDARG);
    EXPECT_EQ(ifTrue(false), kReached);

    const auto win32IfNull = [](const void* pointer) -> DWORD {
        ARVEK_RETURN_WIN32_IF_NULL(ERROR_INVALID_HANDLE, pointer);
        return kReachedWin32;
    };
    EXPECT_EQ(win32IfNull(nullptr), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(win32IfNull(&something), kReachedWin32);
    const auto win32IfTrue = [](bool condition) -> DWORD {
        ARVEK_RETURN_WIN32_IF(ERROR_INVALID_PARAMETER, condition);
        return kReachedWin32;
    };
    EXPECT_EQ(win32IfTrue(true), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(win32IfTrue(false), kReachedWin32);

    // "Null" is what converts to false: an owner holding its kind's invalid value.
    const auto fileIfNull = [](const UniqueFile& file) -> ::HRESULT {
        ARVEK_RETURN_HR_IF_NULL(E_HANDLE, file);
        return kReached;
    };
    EXPECT_EQ(fileIfNull(UniqueFile()), E_HANDLE);
}

// On the calls they are made for: a handle that is not there.
TEST(Win32Result, TheLastErrorOfARealFailure) {
    const auto open = []() -> DWORD {
        UniqueKernelHandle event(::OpenEventW(EVENT_ALL_ACCESS, FALSE, L"Arvek.Test.NoSuchEvent"));
        ARVEK_RETURN_LAST_WIN32_ERROR_IF_NULL(event);
        return kReachedWin32;
    };
    const auto openHr = []() -> ::HRESULT {
        UniqueKernelHandle event(::OpenEventW(EVENT_ALL_ACCESS, FALSE, L"Arvek.Test.NoSuchEvent"));
        ARVEK_RETURN_LAST_ERROR_IF_NULL(event);
        return kReached;
    };
    EXPECT_EQ(open(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(openHr(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace Arvek::Win32
