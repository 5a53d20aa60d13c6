#include "win32/com_win32.h"

#include <objbase.h>

#include "common/hresult.h"
#include "win32/result.h"

namespace Arvek::Win32 {

HRESULT Win32ComRuntime::InitializeThread(std::uint32_t flags) {
    return ::CoInitializeEx(nullptr, static_cast<DWORD>(flags));
}

void Win32ComRuntime::UninitializeThread() { ::CoUninitialize(); }

HRESULT Win32ComRuntime::InitializeSecurity() {
    return ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

UniqueBstr MakeBstr(const std::wstring& text) {
    UniqueBstr bstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    if (!bstr) throw ComError(kE_OUTOFMEMORY);
    return bstr;
}

std::wstring BstrText(BSTR text) {
    if (!text) return {};
    return std::wstring(text, ::SysStringLen(text));
}

bool HoldsPointer(VARTYPE vt) {
    if (vt & (VT_VECTOR | VT_ARRAY | VT_BYREF)) return true;
    switch (vt) {
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_PTR:
        case VT_SAFEARRAY:
        case VT_CARRAY:
        case VT_USERDEFINED:
        case VT_LPSTR:
        case VT_LPWSTR:
        case VT_RECORD:
            return true;
        default:
            // From VT_BLOB (65) on, the property-set kinds point at their data.
            return vt >= VT_BLOB;
    }
}

Variant FromComVariant(const VARIANT& value) {
    Variant result;
    result.vt = value.vt;
    if (value.vt == VT_BSTR) {
        if (value.bstrVal) result.bstr = BstrText(value.bstrVal);
        return result;
    }
    if (!HoldsPointer(value.vt)) result.bits = V_UI8(&value);
    return result;
}

HRESULT ToComVariant(const Variant& value, UniqueVariant& out) {
    VARIANT* slot = out.Put();
    if (value.vt == VT_BSTR) {
        // The string is made before the tag is set: should it fail, `out`
        // stays empty.
        UniqueBstr text = value.bstr ? MakeBstr(*value.bstr) : UniqueBstr();
        slot->vt = VT_BSTR;
        slot->bstrVal = text.Release();
        return kS_OK;
    }
    ARVEK_RETURN_HR_IF(kE_INVALIDARG, HoldsPointer(value.vt));
    slot->vt = value.vt;
    V_UI8(slot) = value.bits;
    return kS_OK;
}

}  // namespace Arvek::Win32
