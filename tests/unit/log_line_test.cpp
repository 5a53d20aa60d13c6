// The record's line and the level names: pure, no platform.
#include <gtest/gtest.h>

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
