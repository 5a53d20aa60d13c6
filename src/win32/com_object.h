// The base of every COM object the adapter (and its test server) implements:
// IUnknown once for a list of interfaces.
//
// - The reference count is interlocked, so the object may be called from any
//   thread (the toast service's, a WMI delivery thread). It starts at 1: that
//   reference belongs to whoever made the object (MakeComObject hands it
//   out), and the last Release deletes the object.
// - QueryInterface answers IUnknown (always the same pointer, the first
//   interface's, as COM's identity rule wants) and each listed interface's
//   id, and nothing else: E_NOINTERFACE and a null pointer.
// - An interface's id is its declared uuid (__uuidof, which mingw-w64 gives
//   for the interfaces its headers declare with __CRT_UUID_DECL), or, for an
//   interface declared by hand, its static member kInterfaceId.
//
// Derive with the interfaces in the order of preference for IUnknown, make
// the class final, and implement the interfaces' own methods:
//
//   class Sink final : public ComObject<IWbemObjectSink> { ... };
//   ComPtr<IWbemObjectSink> sink;
//   MakeComObject<Sink>(__uuidof(IWbemObjectSink), sink.PutVoid(), ...);
//
// Only the interfaces' direct IUnknown is answered: an interface whose base
// is another interface (IInspectable, IDispatch) would need that base listed
// too, and none of the objects here implements one.
#pragma once

#include <unknwn.h>

#include <atomic>
#include <new>
#include <tuple>
#include <utility>

#include "win32/result.h"

namespace Arvek::Win32 {

template <class Interface>
const IID& InterfaceIdOf() noexcept {
    if constexpr (requires { Interface::kInterfaceId; }) {
        return Interface::kInterfaceId;
    } else {
        return __uuidof(Interface);
    }
}

template <class... Interfaces>
    requires(sizeof...(Interfaces) > 0)
class ComObject : public Interfaces... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        ARVEK_RETURN_HR_IF_NULL(E_POINTER, object);
        *object = Find(iid);
        ARVEK_RETURN_HR_IF_NULL(E_NOINTERFACE, *object);
        AddRef();
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }

    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() noexcept = default;
    // Only Release deletes.
    virtual ~ComObject() = default;

private:
    using Identity = std::tuple_element_t<0, std::tuple<Interfaces...>>;

    void* Find(REFIID iid) noexcept {
        if (IsEqualIID(iid, __uuidof(IUnknown))) return static_cast<IUnknown*>(static_cast<Identity*>(this));
        void* found = nullptr;
        // The first listed interface with that id.
        ((IsEqualIID(iid, InterfaceIdOf<Interfaces>()) && (found = static_cast<Interfaces*>(this))) || ...);
        return found;
    }

    std::atomic<ULONG> m_references{1};
};

// Makes an `Object` from `arguments` and hands it out as the interface `iid`
// through its QueryInterface: on success *object holds the only reference;
// on failure (E_NOINTERFACE, or E_OUTOFMEMORY when it cannot be allocated)
// *object is null and the object is gone. An exception from the object's
// constructor passes to the caller.
template <class Object, class... Arguments>
::HRESULT MakeComObject(REFIID iid, void** object, Arguments&&... arguments) {
    ARVEK_RETURN_HR_IF_NULL(E_POINTER, object);
    *object = nullptr;
    Object* made = new (std::nothrow) Object(std::forward<Arguments>(arguments)...);
    ARVEK_RETURN_HR_IF_NULL(E_OUTOFMEMORY, made);
    const ::HRESULT hr = made->QueryInterface(iid, object);
    made->Release();
    return hr;
}

}  // namespace Arvek::Win32
