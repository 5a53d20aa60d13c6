#include <gtest/gtest.h>

#include "common/hresult.h"
#include "common/strings.h"
#include "common/variant.h"

namespace {

TEST(ParseDecimal, ReadsLikeTheCRuntime) {
    const struct {
        const wchar_t* text;
        std::int32_t value;
    } cases[] = {
        {L"42", 42},   {L"  \t7", 7},  {L"-3", -3},   {L"+8", 8},     {L"12abc", 12}, {L"abc", 0},
        {L"", 0},      {L"-", 0},      {L" - 5", 0},  {L"0x1F", 0},   {L"2147483647", 2147483647},
        {L"\n\r 5", 5}, {L"3.9", 3},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value, Arvek::ParseDecimal(c.text)) << c.text;
}

TEST(InvariantCase, UpperCasesAndComparesWithoutCulture) {
    EXPECT_EQ(L"IMAGE_STATE_COMPLETE", Arvek::ToUpperInvariant(L"image_State_complete"));
    EXPECT_EQ(L"\u00C4\u00D6\u00DC \u0391 \u0416 \u0130", Arvek::ToUpperInvariant(L"\u00E4\u00F6\u00FC \u03B1 \u0436 \u0130"));
    // No Turkish dotted-I rule: "i" upper-cases to "I" whatever the user's language.
    EXPECT_TRUE(Arvek::EqualsIgnoreCase(L"8042", L"8042"));
    EXPECT_TRUE(Arvek::EqualsIgnoreCase(L"Verbose", L"VERBOSE"));
    EXPECT_TRUE(Arvek::EqualsIgnoreCase(L"information", L"INFORMATION"));
    EXPECT_FALSE(Arvek::EqualsIgnoreCase(L"8042 ", L"8042"));
    EXPECT_FALSE(Arvek::EqualsIgnoreCase(L"Error", L"Errors"));
}

TEST(Utf, RoundTripsAndReplacesBadInput) {
    const std::wstring text = L"USB Type-C\u2122 Connector \u00A0 \u20AC";
    EXPECT_EQ(text, Arvek::WidenUtf8(Arvek::NarrowUtf8(text)));
    EXPECT_EQ(L"a\uFFFDb", Arvek::WidenUtf8("a\xFF" "b"));
    EXPECT_EQ(L"\uFFFD", Arvek::WidenUtf8("\xE2\x84"));  // cut short
    const auto bytes = Arvek::ToUtf16Le(L"TRUE", true);
    ASSERT_EQ(10u, bytes.size());
    EXPECT_EQ(L"TRUE", Arvek::FromUtf16Le(bytes.data(), bytes.size()));
    EXPECT_EQ(L"TR", Arvek::FromUtf16Le(bytes.data(), 5));  // an odd byte count stops at the last whole unit
}

TEST(Hresult, FromWin32AndSuccess) {
    EXPECT_EQ(static_cast<Arvek::HRESULT>(0x80070103u), Arvek::HresultFromWin32(259));
    EXPECT_EQ(static_cast<Arvek::HRESULT>(0x800700B7u), Arvek::HresultFromWin32(0x000100B7));  // low 16 bits
    EXPECT_EQ(0, Arvek::HresultFromWin32(0));
    EXPECT_EQ(Arvek::kE_FAIL, Arvek::HresultFromWin32(static_cast<std::uint32_t>(Arvek::kE_FAIL)));
    EXPECT_TRUE(Arvek::Succeeded(Arvek::kS_FALSE));
    EXPECT_TRUE(Arvek::Failed(Arvek::kE_INVALID_COMMAND));
}

TEST(Variant, ReadsLowBitsWhateverTheTag) {
    using Arvek::Variant;
    EXPECT_TRUE(Variant::Bool(true).IsVariantTrue());
    EXPECT_FALSE(Variant::Bool(false).IsVariantTrue());
    // A 32-bit -1 carries 0xFFFF in its low 16 bits: true, tag not looked at.
    EXPECT_TRUE(Variant::I4(-1).IsVariantTrue());
    // Only exactly VARIANT_TRUE counts: 1 is not true.
    EXPECT_FALSE(Variant::I4(1).IsVariantTrue());
    EXPECT_FALSE(Variant::Raw(Arvek::kVT_BOOL, 0x7FFF).IsVariantTrue());
    EXPECT_EQ(-2, Variant::Raw(Arvek::kVT_I8, 0x12345678FFFFFFFEull).LowInt32());
    EXPECT_EQ(1, Variant::Raw(Arvek::kVT_I4, 257).LowByte());
    EXPECT_EQ(L"", Variant::Raw(Arvek::kVT_BSTR, 0).StringOrEmpty());
}

}  // namespace
