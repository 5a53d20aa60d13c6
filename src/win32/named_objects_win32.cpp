#include "win32/named_objects_win32.h"

#include <windows.h>

#include "win32/handles.h"

namespace Arvek::Win32 {
namespace {

class Win32NamedMutex final : public Ports::INamedMutex {
public:
    explicit Win32NamedMutex(UniqueKernelHandle handle) : m_handle(std::move(handle)) {}

    Ports::WaitResult Wait(std::uint32_t timeoutMs) override {
        switch (::WaitForSingleObject(m_handle.Get(), timeoutMs)) {
            case WAIT_OBJECT_0: return Ports::WaitResult::Acquired;
            case WAIT_ABANDONED: return Ports::WaitResult::Abandoned;
            case WAIT_TIMEOUT: return Ports::WaitResult::TimedOut;
            default: return Ports::WaitResult::Failed;
        }
    }

    bool Release() override { return ::ReleaseMutex(m_handle.Get()) != FALSE; }

private:
    UniqueKernelHandle m_handle;
};

}  // namespace

Ports::CreateMutexResult Win32NamedObjects::CreateNamedMutex(const std::wstring& name, bool initiallyOwned) {
    Ports::CreateMutexResult result;
    UniqueKernelHandle handle(::CreateMutexW(nullptr, initiallyOwned ? TRUE : FALSE, name.c_str()));
    // Read at once: the allocation below, or closing the handle, may change it.
    result.error = ::GetLastError();
    if (!handle) return result;
    result.mutex = std::make_unique<Win32NamedMutex>(std::move(handle));
    return result;
}

}  // namespace Arvek::Win32
