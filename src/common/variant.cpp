#include "common/variant.h"

#include <bit>
#include <cmath>
#include <cstdio>

namespace Arvek {
namespace {

template <typename T>
T Payload(const Variant& value) {
    return static_cast<T>(value.bits);
}

std::wstring Decimal(std::int64_t number) { return std::to_wstring(number); }
std::wstring Decimal(std::uint64_t number) { return std::to_wstring(number); }

// Up to `digits` significant digits, no trailing zeros, an exponent only
// where the plain form would be longer than the digits allow.
std::wstring Real(double number, int digits) {
    if (std::isnan(number)) return L"NAN";
    if (std::isinf(number)) return number < 0 ? L"-INF" : L"INF";
    if (number == 0) return L"0";  // negative zero too
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*G", digits, number);
    std::wstring text(buffer, buffer + std::char_traits<char>::length(buffer));
    return text;
}

}  // namespace

HRESULT VariantToText(const Variant& value, std::wstring& text) {
    switch (value.vt) {
        case kVT_EMPTY: text.clear(); return kS_OK;
        case kVT_BSTR: text = value.StringOrEmpty(); return kS_OK;
        case kVT_BOOL: text = Decimal(static_cast<std::int64_t>(Payload<std::int16_t>(value))); return kS_OK;
        case kVT_I1: text = Decimal(static_cast<std::int64_t>(Payload<std::int8_t>(value))); return kS_OK;
        case kVT_I2: text = Decimal(static_cast<std::int64_t>(Payload<std::int16_t>(value))); return kS_OK;
        case kVT_I4:
        case kVT_INT: text = Decimal(static_cast<std::int64_t>(Payload<std::int32_t>(value))); return kS_OK;
        case kVT_I8: text = Decimal(Payload<std::int64_t>(value)); return kS_OK;
        case kVT_UI1: text = Decimal(static_cast<std::uint64_t>(Payload<std::uint8_t>(value))); return kS_OK;
        case kVT_UI2: text = Decimal(static_cast<std::uint64_t>(Payload<std::uint16_t>(value))); return kS_OK;
        case kVT_UI4:
        case kVT_UINT: text = Decimal(static_cast<std::uint64_t>(Payload<std::uint32_t>(value))); return kS_OK;
        case kVT_UI8: text = Decimal(Payload<std::uint64_t>(value)); return kS_OK;
        case kVT_R4:
            text = Real(std::bit_cast<float>(Payload<std::uint32_t>(value)), 7);
            return kS_OK;
        case kVT_R8:
            text = Real(std::bit_cast<double>(value.bits), 15);
            return kS_OK;
        default:
            return kDISP_E_TYPEMISMATCH;
    }
}

}  // namespace Arvek
