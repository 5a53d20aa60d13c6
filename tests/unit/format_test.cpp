// The formatter must give the same text on every platform for every
// directive the programs' messages use.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "common/format.h"

using Arvek::Format;

namespace {

struct Case {
    const wchar_t* expected;
    std::wstring actual;
};

TEST(Format, DirectivesUsedByTheMessages) {
    const std::string narrow = "CSettingsControl::GetRegistrySetting";
    const std::wstring wide = L"Found in Arvek, native location";
    const Case cases[] = {
        {L"-42 7", Format(L"%d %u", -42, 7u)},
        {L"2026/12/09", Format(L"%04d/%02d/%02d", 2026, 12, 9)},
        {L"00001A2C", Format(L"%08X", 0x1A2Cu)},
        {L"80004005", Format(L"%08X", static_cast<std::int32_t>(0x80004005u))},
        {L"0x8000FFFF", Format(L"0x%X", static_cast<std::int32_t>(0x8000FFFFu))},
        {L"ff", Format(L"%x", 255)},
        {L"34AB", Format(L"%02hX", 0x1234AB)},
        {L"0A", Format(L"%02hX", 10)},
        {L"4294967295", Format(L"%lu", 0xFFFFFFFFu)},
        {L"4294967295", Format(L"%u", -1)},
        {L"Diag       |", Format(L"%-11s|", L"Diag")},
        {L"Information|", Format(L"%-11s|", L"Information")},
        {L"   Verbose", Format(L"%10s", L"Verbose")},
        {L"   12.3 ms.", Format(L"%7.1Lf ms.", 12.34L)},
        {L"1234567.9", Format(L"%7.1Lf", 1234567.89L)},
        {L"    0.0", Format(L"%7.1Lf", 0.0L)},
        {L"100%", Format(L"%d%%", 100)},
        {L"CSettingsControl::GetRegistrySetting|Found in Arvek, native location",
         Format(L"%S|%s", narrow, wide)},
        // %s and %S both take either kind of string.
        {L"abc abc abc abc", Format(L"%s %S %s %S", "abc", "abc", L"abc", L"abc")},
        {L"Stra\u00DFe \u2122", Format(L"%S %s", "Stra\xC3\x9F" "e", "\xE2\x84\xA2")},
        {L"+5 -5  5", Format(L"%+d %+d % d", 5, -5, 5)},
        {L"00042|   42|42   ", Format(L"%05d|%5d|%-5d", 42, 42, 42)},
        {L"0x1f 0X1F 017", Format(L"%#x %#X %#o", 31, 31, 15)},
        {L"  007", Format(L"%5.3d", 7)},
        {L"ab", Format(L"%.2s", L"abcdef")},
        {L"   42", Format(L"%*d", 5, 42)},
        {L"x", Format(L"%c", L'x')},
        {L"-1", Format(L"%hd", 0xFFFF)},
        {L"18446744073709551615", Format(L"%llu", ~0ull)},
        {L"1.500000e+00", Format(L"%e", 1.5)},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, c.actual);
}

TEST(Format, ArgumentsNeverActAsFormats) {
    // A firmware text full of directives is data, not a format.
    EXPECT_EQ(L"Title: %s%n%x", Format(L"Title: %s", L"%s%n%x"));
    EXPECT_EQ(L"(null)", Format(L"%s", static_cast<const wchar_t*>(nullptr)));
}

TEST(Format, MismatchedOrMissingArgumentsAreHarmless) {
    EXPECT_EQ(L"id   end", Format(L"id %d %s end"));    // nothing to format: nothing written
    EXPECT_EQ(L"7 text", Format(L"%s %d", 7, L"text"));  // number to %s, text to %d
    EXPECT_EQ(L"abc", Format(L"abc%"));                  // a lone % at the end
    EXPECT_EQ(L"q", Format(L"%q"));                      // unknown conversion
}

TEST(Format, CutsAtTheLimit) {
    const std::wstring longText(600, L'x');
    std::wstring out;
    Arvek::FormatTo(out, L"%s tail", std::array<Arvek::FormatArg, 1>{std::wstring_view(longText)}, 511);
    EXPECT_EQ(511u, out.size());
    out.clear();
    Arvek::FormatTo(out, L"%08X%08X", std::array<Arvek::FormatArg, 2>{1u, 2u}, 12);
    EXPECT_EQ(L"000000010000", out);
}

TEST(Format, LongOutputAndCutsAcrossTheChunksAppended) {
    // The string is filled a chunk at a time; what it already holds stays and
    // does not count towards the cut.
    const std::wstring text(1000, L'x');
    const std::array<Arvek::FormatArg, 2> args{std::wstring_view(text), 42};
    for (const std::size_t cut : {std::size_t{0}, std::size_t{255}, std::size_t{256}, std::size_t{257}, std::size_t{700},
                                  std::size_t{1003}, std::size_t{1004}, std::wstring::npos}) {
        std::wstring out = L"kept:";
        Arvek::FormatTo(out, L"%s|%d|", args, cut);
        EXPECT_EQ((L"kept:" + text + L"|42|").substr(0, 5 + std::min<std::size_t>(cut, 1004)), out) << cut;
    }
}

TEST(Format, IntoABufferAsIntoAString) {
    const std::wstring text(300, L'y');
    const std::array<Arvek::FormatArg, 4> args{-12, std::string_view("Stra\xC3\x9F" "e"), std::wstring_view(text), 2.5};
    const std::wstring_view format = L"%d %S %.3s %5.1f %s|%08X";
    const std::wstring whole = Arvek::FormatV(format, args);
    wchar_t buffer[400];
    for (const std::size_t capacity : {std::size_t{0}, std::size_t{1}, std::size_t{9}, std::size_t{30}, std::size_t{400}}) {
        const std::size_t written = Arvek::FormatToBuffer(buffer, capacity, format, args);
        EXPECT_EQ(whole.substr(0, capacity), std::wstring_view(buffer, written)) << capacity;
    }
}

}  // namespace
