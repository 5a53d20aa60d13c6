// Owners of the Windows handles the adapter holds: one alias per handle
// kind, all made from one template, so that every handle is closed exactly
// once on every way out and none is closed with the wrong function.
//
// Nothing here throws. Closing functions may change the thread's last-error
// value; callers that report a last-error read it before an owner goes out
// of scope.
#pragma once

#include <windows.h>

#include <utility>

namespace Arvek::Win32 {

template <class Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type handle) noexcept : m_handle(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Type Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != Traits::Invalid(); }

    // Gives up ownership without closing.
    Type Release() noexcept { return std::exchange(m_handle, Traits::Invalid()); }

    void Reset(Type handle = Traits::Invalid()) noexcept {
        const Type old = std::exchange(m_handle, handle);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

    // For an API's out-parameter: closes what is held and hands out the slot.
    Type* Put() noexcept {
        Reset();
        return &m_handle;
    }

private:
    Type m_handle = Traits::Invalid();
};

// An open registry key (RegOpenKeyExW, RegCreateKeyExW).
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type key) noexcept { ::RegCloseKey(key); }
};

// A kernel object whose creating call reports failure with null
// (CreateMutexW, CreateEventW, OpenProcess, CreateThread).
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { ::CloseHandle(handle); }
};

// A registered event source (RegisterEventSourceW).
struct EventSourceTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type source) noexcept { ::DeregisterEventSource(source); }
};

// A file search (FindFirstFileW), which reports failure with INVALID_HANDLE_VALUE.
struct FindFileTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type search) noexcept { ::FindClose(search); }
};

using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueEventSource = UniqueHandle<EventSourceTraits>;
using UniqueFindFile = UniqueHandle<FindFileTraits>;

}  // namespace Arvek::Win32
