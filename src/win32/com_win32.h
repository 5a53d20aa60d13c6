// The thread's COM runtime over ole32, and the conversions between COM's
// own value kinds (BSTR, VARIANT) and the core's, shared by the adapters
// that talk to COM servers (Tolm, WMI) and by the test COM server.
#pragma once

#include <windows.h>

#include <string>

#include "common/variant.h"
#include "ports/com.h"
#include "win32/handles.h"

namespace Arvek::Win32 {

class Win32ComRuntime final : public Ports::IComRuntime {
public:
    HRESULT InitializeThread(std::uint32_t flags) override;
    void UninitializeThread() override;
    HRESULT InitializeSecurity() override;
};

// A BSTR holding `text` (embedded NULs included). Throws
// Arvek::ComError(kE_OUTOFMEMORY) when the string cannot be allocated.
UniqueBstr MakeBstr(const std::wstring& text);

// The text of a BSTR by its length prefix; a null BSTR is empty.
std::wstring BstrText(BSTR text);

// Whether a VARIANT of this type tag holds a pointer (a string, an
// interface, an array, a reference, ...) rather than a plain value in its
// first 8 payload bytes.
bool HoldsPointer(VARTYPE vt);

// VARIANT → Variant: the tag as it is and the first 8 payload bytes as they
// are, whatever the tag says (a VT_BOOL of 0xFFFF, an integer under an
// unusual tag). A pointer payload is not a value and reads as 0; a VT_BSTR's
// text goes to `bstr` (a null BSTR → nullopt). Throws only std::bad_alloc.
Variant FromComVariant(const VARIANT& value);

// Variant → VARIANT, into `out` (cleared first): the tag and the 8 payload
// bytes as they are; a VT_BSTR gets a new string (nullopt → a null BSTR).
// S_OK, or E_INVALIDARG (and `out` empty) for any other tag that would hold
// a pointer, which a Variant cannot carry. Throws
// Arvek::ComError(kE_OUTOFMEMORY) when the string cannot be allocated.
HRESULT ToComVariant(const Variant& value, UniqueVariant& out);

}  // namespace Arvek::Win32
