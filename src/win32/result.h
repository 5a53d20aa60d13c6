// The adapter's result checks: one checked call per line, returning early
// with the first failure, never a staircase of nested success checks.
//
// Two result kinds, one family each:
// - HRESULT functions: ARVEK_RETURN_IF_FAILED(call) returns the call's
//   failure; ARVEK_RETURN_HR_IF(hr, condition) and
//   ARVEK_RETURN_HR_IF_NULL(hr, pointer) return a chosen HRESULT;
//   ARVEK_RETURN_LAST_ERROR_IF(condition) and
//   ARVEK_RETURN_LAST_ERROR_IF_NULL(pointer) return the thread's last error
//   as an HRESULT (LastErrorAsHresult).
// - Win32 error functions: ARVEK_RETURN_IF_WIN32_ERROR(call) returns a code
//   other than ERROR_SUCCESS; ARVEK_RETURN_WIN32_IF(error, condition) and
//   ARVEK_RETURN_WIN32_IF_NULL(error, pointer) return a chosen code;
//   ARVEK_RETURN_LAST_WIN32_ERROR_IF(condition) and
//   ARVEK_RETURN_LAST_WIN32_ERROR_IF_NULL(pointer) return the thread's last
//   error (LastErrorAsWin32).
//
// A call that reports failure does not always set the last error: some
// leave it at 0. Read as it is, that 0 would tell the caller the call
// succeeded, so the last-error forms never give success: 0 becomes E_FAIL
// or ERROR_GEN_FAILURE. Where a port promises the raw value (a size query's
// own error, the last error after a mutex's creation), the adapter reads
// GetLastError itself. Read the last error right after the call that set
// it: closing a handle, a C++ throw or a log line may change it.
//
// "Null" is whatever converts to false: a null pointer, an empty ComPtr, a
// UniqueHandle that holds its kind's invalid value.
//
// Each macro evaluates its arguments once and nothing here throws. The
// returned value converts to the function's own result type (the core's
// Arvek::HRESULT or ::HRESULT; std::uint32_t or DWORD).
#pragma once

#include <windows.h>

namespace Arvek::Win32 {

// The thread's last error after a call that reported failure, as a Win32
// code: never ERROR_SUCCESS.
inline DWORD LastErrorAsWin32() noexcept {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

// The same as an HRESULT (HRESULT_FROM_WIN32): never a success.
inline ::HRESULT LastErrorAsHresult() noexcept {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace Arvek::Win32

// The one early return the others are made of.
#define ARVEK_RETURN_IF_(result, condition) \
    do {                                    \
        if (condition) return (result);     \
    } while (false)

// HRESULT -------------------------------------------------------------------

#define ARVEK_RETURN_IF_FAILED(hrExpression)           \
    do {                                               \
        const ::HRESULT arvekResult_ = (hrExpression); \
        if (FAILED(arvekResult_)) return arvekResult_; \
    } while (false)

#define ARVEK_RETURN_HR_IF(hr, condition) ARVEK_RETURN_IF_(hr, condition)
#define ARVEK_RETURN_HR_IF_NULL(hr, pointer) ARVEK_RETURN_IF_(hr, !(pointer))
#define ARVEK_RETURN_LAST_ERROR_IF(condition) ARVEK_RETURN_IF_(::Arvek::Win32::LastErrorAsHresult(), condition)
#define ARVEK_RETURN_LAST_ERROR_IF_NULL(pointer) \
    ARVEK_RETURN_IF_(::Arvek::Win32::LastErrorAsHresult(), !(pointer))

// Win32 error codes ---------------------------------------------------------

#define ARVEK_RETURN_IF_WIN32_ERROR(errorExpression)                   \
    do {                                                               \
        const DWORD arvekError_ = static_cast<DWORD>(errorExpression); \
        if (arvekError_ != ERROR_SUCCESS) return arvekError_;          \
    } while (false)

#define ARVEK_RETURN_WIN32_IF(error, condition) ARVEK_RETURN_IF_(error, condition)
#define ARVEK_RETURN_WIN32_IF_NULL(error, pointer) ARVEK_RETURN_IF_(error, !(pointer))
#define ARVEK_RETURN_LAST_WIN32_ERROR_IF(condition) ARVEK_RETURN_IF_(::Arvek::Win32::LastErrorAsWin32(), condition)
#define ARVEK_RETURN_LAST_WIN32_ERROR_IF_NULL(pointer) \
    ARVEK_RETURN_IF_(::Arvek::Win32::LastErrorAsWin32(), !(pointer))
