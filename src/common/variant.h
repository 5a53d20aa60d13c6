// A VARIANT-like value: a type tag and the raw 8 payload bytes, plus the
// string payload of VT_BSTR. The firmware-facing code reads booleans as the
// low 16 bits compared with VARIANT_TRUE and integers as the low 32 bits,
// whatever the tag says; keeping the raw bits lets it do exactly that.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/hresult.h"

namespace Arvek {

enum VarType : std::uint16_t {
    kVT_EMPTY = 0,
    kVT_NULL = 1,
    kVT_I2 = 2,
    kVT_I4 = 3,
    kVT_R4 = 4,
    kVT_R8 = 5,
    kVT_BSTR = 8,
    kVT_ERROR = 10,
    kVT_BOOL = 11,
    kVT_I1 = 16,
    kVT_UI1 = 17,
    kVT_UI2 = 18,
    kVT_UI4 = 19,
    kVT_I8 = 20,
    kVT_UI8 = 21,
    kVT_INT = 22,
    kVT_UINT = 23,
};

constexpr std::int16_t kVARIANT_TRUE = -1;
constexpr std::int16_t kVARIANT_FALSE = 0;

struct Variant {
    std::uint16_t vt = kVT_EMPTY;
    std::uint64_t bits = 0;              // the payload union, little-endian
    std::optional<std::wstring> bstr;    // VT_BSTR payload; nullopt is a null BSTR

    static Variant Empty() { return {}; }
    static Variant Bool(bool value) {
        return {kVT_BOOL, value ? 0xFFFFu : 0u, std::nullopt};
    }
    static Variant I4(std::int32_t value) {
        return {kVT_I4, static_cast<std::uint32_t>(value), std::nullopt};
    }
    static Variant UI1(std::uint8_t value) { return {kVT_UI1, value, std::nullopt}; }
    static Variant Bstr(std::wstring value) { return {kVT_BSTR, 0, std::move(value)}; }
    static Variant Raw(std::uint16_t vt, std::uint64_t bits) { return {vt, bits, std::nullopt}; }

    // The 16-bit boolean field compared with VARIANT_TRUE, tag not looked at.
    bool IsVariantTrue() const {
        return static_cast<std::int16_t>(bits & 0xFFFFu) == kVARIANT_TRUE;
    }
    // The low 32 bits as a signed integer, tag not looked at.
    std::int32_t LowInt32() const { return static_cast<std::int32_t>(bits & 0xFFFFFFFFu); }
    // The low 8 bits (port numbers, codes).
    std::uint8_t LowByte() const { return static_cast<std::uint8_t>(bits & 0xFFu); }
    bool IsString() const { return vt == kVT_BSTR; }
    // The string payload; a null BSTR reads as empty.
    std::wstring StringOrEmpty() const { return bstr.value_or(std::wstring{}); }
};

// The value as text, as the standard VARIANT conversion to VT_BSTR (no
// flags, the invariant number format) gives it: integers in decimal, a
// boolean as -1 or 0, a real with up to 7 (VT_R4) or 15 (VT_R8) significant
// digits, VT_EMPTY as empty text. VT_NULL and the types that have no text
// form give DISP_E_TYPEMISMATCH and leave `text` unchanged.
HRESULT VariantToText(const Variant& value, std::wstring& text);

}  // namespace Arvek
