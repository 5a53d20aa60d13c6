// The exception barrier at the adapter's boundaries with the system, in the
// shapes Windows calls: a COM method, a window procedure, a dialog procedure,
// a subclass procedure. Each is a thin wrapper over the core's one barrier
// (Shared::CallWithoutThrowing), which logs what was caught at Error under
// the boundary's name; only the answer on an exception differs by shape.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <type_traits>
#include <utility>

#include "shared/exception_barrier.h"

namespace Arvek::Win32 {

// Runs `body`; when it throws, logs the exception under `function` and
// answers with what `fallback` returns, called after the exception has been
// handled. `fallback` must not throw.
template <class Body, class Fallback, class Result = std::invoke_result_t<Body&>>
Result CallWithFallback(const char* function, Body&& body, Fallback&& fallback) noexcept {
    std::optional<Result> answer = Shared::CallWithoutThrowing(
        function, std::optional<Result>(), [&]() -> std::optional<Result> { return body(); });
    return answer ? *answer : fallback();
}

// A COM method of an object the adapter implements: E_UNEXPECTED when the
// body throws.
template <class Body>
::HRESULT CallComMethod(const char* function, Body&& body) noexcept {
    return Shared::CallWithoutThrowing(function, static_cast<::HRESULT>(E_UNEXPECTED), std::forward<Body>(body));
}

// A window procedure: the default procedure's answer when the body throws.
template <class Body>
LRESULT CallWindowProcedure(const char* function, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            Body&& body) noexcept {
    return CallWithFallback(function, std::forward<Body>(body),
                            [&] { return ::DefWindowProcW(window, message, wParam, lParam); });
}

// A dialog procedure: FALSE ("not handled", so the dialog manager does its
// default) when the body throws.
template <class Body>
INT_PTR CallDialogProcedure(const char* function, Body&& body) noexcept {
    return Shared::CallWithoutThrowing(function, static_cast<INT_PTR>(FALSE), std::forward<Body>(body));
}

// A subclass procedure (SetWindowSubclass): the next procedure's answer
// (DefSubclassProc) when the body throws.
template <class Body>
LRESULT CallSubclassProcedure(const char* function, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              Body&& body) noexcept {
    return CallWithFallback(function, std::forward<Body>(body),
                            [&] { return ::DefSubclassProc(window, message, wParam, lParam); });
}

}  // namespace Arvek::Win32
