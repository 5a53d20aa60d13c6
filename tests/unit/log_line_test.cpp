// The record's line and the level names: pure, no platform.
#include <gtest/gtest.h>

#include <optional>

#include "common/format.h"
#include "shared/log.h"

using namespace Arvek::Shared;

namespace {

CArvekLogListener::LogData Record(std::int32_t level, std::uint32_t thread, std::string function,
                                  std::wstring message) {
    return {level, std::move(function), std::move(message), {2026, 12, 3, 9, 1, 58, 47, 123}, thread};
}

TEST(LogLine, HasTheDocumentedShape) {
    const struct {
        std::int32_t level;
        const wchar_t* expected;
    } cases[] = {
        {Verbose, L"2026/12/09 01:58:47.123|00001A2C|Verbose    |CSettingsControl::GetRegistrySetting|Found in Arvek, native location"},
        {Information, L"2026/12/09 01:58:47.123|00001A2C|Information|CSettingsControl::GetRegistrySetting|Found in Arvek, native location"},
        {Diag, L"2026/12/09 01:58:47.123|00001A2C|Diag       |CSettingsControl::GetRegistrySetting|Found in Arvek, native location"},
        {7, L"2026/12/09 01:58:47.123|00001A2C|Undefined  |CSettingsControl::GetRegistrySetting|Found in Arvek, native location"},
        {-1, L"2026/12/09 01:58:47.123|00001A2C|Undefined  |CSettingsControl::GetRegistrySetting|Found in Arvek, native location"},
    };
    for (const auto& c : cases) {
        auto data = Record(c.level, 0x1A2C, "CSettingsControl::GetRegistrySetting", L"Found in Arvek, native location");
        EXPECT_EQ(c.expected, data.GetLine());
    }
}

TEST(LogLine, IsBuiltOnceAndKeptThroughCopies) {
    auto data = Record(Error, 0xDEADBEEF, "f", L"% not a format %s");
    const std::wstring& first = data.GetLine();
    EXPECT_EQ(L"2026/12/09 01:58:47.123|DEADBEEF|Error      |f|% not a format %s", first);
    EXPECT_EQ(&first, &data.GetLine());
    CArvekLogListener::LogData copy = data;
    EXPECT_EQ(first, copy.GetLine());
}

TEST(LogLine, PrefixIsWhatTheDocumentedFormatGives) {
    // The prefix is written by hand; it must match the format it stands for,
    // also for values no valid time has.
    const std::uint16_t values[] = {0, 7, 9, 10, 59, 99, 100, 999, 1000, 9999, 10000, 65535};
    for (const std::uint16_t v : values) {
        const Arvek::Ports::SystemTime time{v, v, 0, v, v, v, v, v};
        for (const std::int32_t level : {std::int32_t{TraceIn}, std::int32_t{Information}, std::int32_t{Diag}, 7, -1}) {
            const std::uint32_t thread = v * 0x10001u + 0xF;
            wchar_t prefix[kLinePrefixMax];
            const std::wstring_view made(prefix, FormatLinePrefix(prefix, time, thread, level));
            EXPECT_EQ(Arvek::Format(L"%04d/%02d/%02d %02d:%02d:%02d.%03d|%08X|%-11s|", v, v, v, v, v, v, v, thread,
                                    LevelName(level)),
                      made)
                << v << " " << level;
        }
    }
}

TEST(LogLine, FunctionAndMessageArePartsOfTheLine) {
    // 8-bit function names are read as UTF-8, whatever the message holds.
    auto data = Record(Warning, 1, "Ma\xC3\x9F::F\xFF", L"two\nlines |%s|");
    EXPECT_EQ(L"Ma\u00DF::F\uFFFD", data.FunctionName());
    EXPECT_EQ(L"two\nlines |%s|", data.Message());
    EXPECT_EQ(L"2026/12/09 01:58:47.123|00000001|Warning    |Ma\u00DF::F\uFFFD|two\nlines |%s|", data.GetLine());
    // A copy keeps its own line: the original may go.
    std::optional<CArvekLogListener::LogData> original = Record(Error, 2, "Fn", L"kept");
    CArvekLogListener::LogData copy = *original;
    original.reset();
    EXPECT_EQ(L"Fn", copy.FunctionName());
    EXPECT_EQ(L"kept", copy.Message());
    EXPECT_EQ(L"2026/12/09 01:58:47.123|00000002|Error      |Fn|kept", copy.GetLine());
    // A record made empty builds its line when asked.
    CArvekLogListener::LogData empty;
    EXPECT_EQ(L"0000/00/00 00:00:00.000|00000000|TraceIn    ||", empty.GetLine());
    EXPECT_EQ(L"", empty.Message());
}

TEST(ParseLogLevel, NamesIgnoringCaseAndEverythingElseIsNever) {
    const struct {
        const wchar_t* name;
        LogLevel level;
    } cases[] = {
        {L"TraceIn", TraceIn}, {L"traceout", TraceOut}, {L"VERBOSE", Verbose}, {L"Information", Information},
        {L"warning", Warning}, {L"Error", Error},      {L"DIAG", Diag},       {L"Never", Never},
        {L"", Never},          {L"Verbos", Never},      {L"Error ", Never},   {L"5", Never},
    };
    for (const auto& c : cases) EXPECT_EQ(c.level, ParseLogLevel(c.name)) << c.name;
    EXPECT_EQ(Never, ParseLogLevel(static_cast<const wchar_t*>(nullptr)));
}

TEST(ProgramBaseName, IsTheFileNameWithoutItsLastExtension) {
    EXPECT_EQ(L"Tidewatch", ProgramBaseName(L"C:\\Program Files\\Arvek\\Tidewatch\\Tidewatch.exe"));
    EXPECT_EQ(L"Portolan", ProgramBaseName(L"Portolan.exe"));
    EXPECT_EQ(L"my.tool", ProgramBaseName(L"C:\\x.y\\my.tool.exe"));
    EXPECT_EQ(L"noext", ProgramBaseName(L"C:\\bin\\noext"));
}

}  // namespace
