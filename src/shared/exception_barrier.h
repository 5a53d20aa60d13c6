// The exception barrier: where the system calls into the program (a thread's
// procedure, a window or dialog procedure, a COM object's method, a toast
// handler) no exception may pass. One would unwind through the system's own
// frames, which know nothing of C++ exceptions, or end the process. Each such
// boundary runs its body through CallWithoutThrowing, which logs what was
// caught under the boundary's name at level Error and answers with the value
// the caller chose for that case.
#pragma once

#include <type_traits>
#include <utility>

namespace Arvek::Shared {

// Logs the exception being handled ("<what it was>: the call ended in an
// exception") at Error under `function`. Call it only inside a catch block.
// Never throws.
void LogCaughtException(const char* function) noexcept;

// Runs `body`; when it throws, logs the exception under `function` and
// returns `onException` instead.
template <class Body, class Result = std::invoke_result_t<Body&>>
    requires(!std::is_void_v<Result>)
Result CallWithoutThrowing(const char* function, Result onException, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        LogCaughtException(function);
        return onException;
    }
}

// The same for a body without a result.
template <class Body>
    requires std::is_void_v<std::invoke_result_t<Body&>>
void CallWithoutThrowing(const char* function, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        LogCaughtException(function);
    }
}

}  // namespace Arvek::Shared
