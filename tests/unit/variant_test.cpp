#include <gtest/gtest.h>

#include <bit>

#include "common/variant.h"

namespace Arvek {
namespace {

TEST(VariantToText, GivesTheStandardTextOfEachType) {
    const struct {
        Variant value;
        const wchar_t* text;
    } cases[] = {
        {Variant::Empty(), L""},
        {Variant::Bstr(L"10.0.22631"), L"10.0.22631"},
        {Variant{kVT_BSTR, 0, std::nullopt}, L""},  // a null BSTR
        {Variant::I4(-2147483647 - 1), L"-2147483648"},
        {Variant::Raw(kVT_I4, 0xFFFFFFFF00000007ull), L"7"},  // only the low 32 bits count
        {Variant::Raw(kVT_I2, 0xFFFF), L"-1"},
        {Variant::Raw(kVT_I1, 0x80), L"-128"},
        {Variant::UI1(255), L"255"},
        {Variant::Raw(kVT_UI2, 65535), L"65535"},
        {Variant::Raw(kVT_UI4, 0xFFFFFFFFu), L"4294967295"},
        {Variant::Raw(kVT_I8, 0x8000000000000000ull), L"-9223372036854775808"},
        {Variant::Raw(kVT_UI8, 0xFFFFFFFFFFFFFFFFull), L"18446744073709551615"},
        {Variant::Bool(true), L"-1"},
        {Variant::Bool(false), L"0"},
        {Variant::Raw(kVT_R8, std::bit_cast<std::uint64_t>(0.5)), L"0.5"},
        {Variant::Raw(kVT_R8, std::bit_cast<std::uint64_t>(1.0 / 3)), L"0.333333333333333"},
        {Variant::Raw(kVT_R8, std::bit_cast<std::uint64_t>(1e20)), L"1E+20"},
        {Variant::Raw(kVT_R8, std::bit_cast<std::uint64_t>(-0.0)), L"0"},
        {Variant::Raw(kVT_R8, std::bit_cast<std::uint64_t>(-1.0 / 0.0)), L"-INF"},
        {Variant::Raw(kVT_R4, std::bit_cast<std::uint32_t>(2.5f)), L"2.5"},
    };
    for (const auto& c : cases) {
        std::wstring text = L"unchanged";
        EXPECT_EQ(kS_OK, VariantToText(c.value, text)) << c.text;
        EXPECT_EQ(c.text, text);
    }
}

TEST(VariantToText, RefusesNullAndTypesWithoutText) {
    for (auto vt : {kVT_NULL, kVT_ERROR, static_cast<VarType>(0x2003) /* VT_ARRAY | VT_I4 */}) {
        std::wstring text = L"unchanged";
        EXPECT_EQ(kDISP_E_TYPEMISMATCH, VariantToText(Variant::Raw(vt, 1), text)) << vt;
        EXPECT_EQ(L"unchanged", text);
    }
}

}  // namespace
}  // namespace Arvek
