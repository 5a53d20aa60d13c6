// Owners of the Windows handles the adapter holds: one alias per handle
// kind, all made from one template, so that every handle is closed exactly
// once on every way out and none is closed with the wrong function. COM's
// own kinds follow the same pattern: BSTR, VARIANT, interface pointers and
// the thread's apartment.
//
// Nothing here throws. Closing functions may change the thread's last-error
// value; callers that report a last-error read it before an owner goes out
// of scope.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <setupapi.h>

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

// A loaded module (LoadLibraryW).
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type module) noexcept { ::FreeLibrary(module); }
};

// An open file or device (CreateFileW), which reports failure with
// INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type file) noexcept { ::CloseHandle(file); }
};

// A setup API list of devices (SetupDiGetClassDevsW), which reports failure
// with INVALID_HANDLE_VALUE.
struct DeviceInfoListTraits {
    using Type = HDEVINFO;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type list) noexcept { ::SetupDiDestroyDeviceInfoList(list); }
};

using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueEventSource = UniqueHandle<EventSourceTraits>;
using UniqueFindFile = UniqueHandle<FindFileTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueDeviceInfoList = UniqueHandle<DeviceInfoListTraits>;

// A string of OLE automation (SysAllocString*, or a BSTR a call hands out).
// A null BSTR is a valid, empty string to COM; it is also the "none" here.
struct BstrTraits {
    using Type = BSTR;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type text) noexcept { ::SysFreeString(text); }
};

using UniqueBstr = UniqueHandle<BstrTraits>;

// A VARIANT that this code owns: initialised empty, cleared (VariantClear,
// which frees a string or releases an interface it holds) when replaced or
// destroyed. Not copyable: a shallow copy would free its payload twice.
class UniqueVariant {
public:
    UniqueVariant() noexcept { ::VariantInit(&m_value); }
    ~UniqueVariant() { Reset(); }

    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    UniqueVariant(UniqueVariant&& other) noexcept : m_value(other.m_value) { ::VariantInit(&other.m_value); }
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) {
            Reset();
            m_value = other.m_value;
            ::VariantInit(&other.m_value);
        }
        return *this;
    }

    const VARIANT& Get() const noexcept { return m_value; }
    // For an [out] VARIANT: clears what is held and hands out the slot.
    VARIANT* Put() noexcept {
        Reset();
        return &m_value;
    }
    void Reset() noexcept {
        ::VariantClear(&m_value);
        ::VariantInit(&m_value);
    }
    // Gives the value, payload and all, to the caller (to hand out through
    // an [out] parameter) and holds an empty one.
    VARIANT Release() noexcept {
        const VARIANT value = m_value;
        ::VariantInit(&m_value);
        return value;
    }

private:
    VARIANT m_value;
};

// An owned reference to a COM interface: Release()d exactly once.
template <class Interface>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { Reset(); }

    ComPtr(const ComPtr& other) noexcept : m_pointer(other.m_pointer) {
        if (m_pointer) m_pointer->AddRef();
    }
    ComPtr& operator=(const ComPtr& other) noexcept {
        if (this != &other) {
            if (other.m_pointer) other.m_pointer->AddRef();
            Reset();
            m_pointer = other.m_pointer;
        }
        return *this;
    }
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_pointer = std::exchange(other.m_pointer, nullptr);
        }
        return *this;
    }

    Interface* Get() const noexcept { return m_pointer; }
    Interface* operator->() const noexcept { return m_pointer; }
    explicit operator bool() const noexcept { return m_pointer != nullptr; }

    void Reset() noexcept {
        if (Interface* old = std::exchange(m_pointer, nullptr)) old->Release();
    }
    // For an out-parameter of the interface's own type.
    Interface** Put() noexcept {
        Reset();
        return &m_pointer;
    }
    // For CoCreateInstance and QueryInterface, which hand out void**.
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

private:
    Interface* m_pointer = nullptr;
};

// The calling thread's membership of a COM apartment: CoInitializeEx on
// construction, CoUninitialize on destruction when that succeeded (S_FALSE,
// "already initialised", counts and is balanced too). A failed
// initialisation (RPC_E_CHANGED_MODE: the thread is in the other kind of
// apartment) is kept in Result() and not balanced. Destroy it on the thread
// that made it, after every interface pointer it served.
class ComApartment {
public:
    explicit ComApartment(DWORD flags = COINIT_APARTMENTTHREADED) noexcept
        : m_result(::CoInitializeEx(nullptr, flags)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_result)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    ::HRESULT Result() const noexcept { return m_result; }

private:
    ::HRESULT m_result;
};

}  // namespace Arvek::Win32
