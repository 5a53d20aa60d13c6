#include "win32/threads_win32.h"

#include <windows.h>

#include <memory>
#include <new>

#include "win32/handles.h"

namespace Arvek::Win32 {
namespace {

// The thread's procedure, handed over to the thread, which deletes it. The
// procedure catches at its own boundary (IThreads::Start); nothing else here
// can throw.
DWORD WINAPI ThreadEntry(void* parameter) {
    const std::unique_ptr<std::function<void()>> procedure(static_cast<std::function<void()>*>(parameter));
    (*procedure)();
    return 0;
}

}  // namespace

std::uint32_t Win32Threads::Start(std::function<void()> procedure) noexcept {
    auto* handedOver = new (std::nothrow) std::function<void()>(std::move(procedure));
    if (!handedOver) return 0;
    DWORD id = 0;
    const UniqueKernelHandle thread(::CreateThread(nullptr, 0, &ThreadEntry, handedOver, 0, &id));
    if (!thread) {
        delete handedOver;
        return 0;
    }
    return id;
}

}  // namespace Arvek::Win32
