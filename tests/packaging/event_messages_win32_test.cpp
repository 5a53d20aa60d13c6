// The event message file (ArvekEventMessages.dll, found beside this test
// program), read as Event Viewer reads it: loaded as a data file, each id
// formatted with FormatMessageW and the event's one insertion string.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/strings.h"
#include "win32/process_win32.h"

namespace {

constexpr std::uint32_t kFirstId = ARVEK_EVENT_MESSAGE_FIRST_ID;
constexpr std::uint32_t kLastId = ARVEK_EVENT_MESSAGE_LAST_ID;
static_assert(kFirstId == 0 && kLastId >= 6, "the programs' own sources write the level numbers 0-6");

std::wstring MessageFilePath() {
    const std::wstring self = Arvek::Win32::Win32Process().ModuleFileName();
    return self.substr(0, self.rfind(L'\\') + 1) + L"ArvekEventMessages.dll";
}

class Win32EventMessages : public testing::Test {
protected:
    void SetUp() override {
        m_module = ::LoadLibraryExW(MessageFilePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr) << "LoadLibraryExW failed with " << ::GetLastError();
    }
    void TearDown() override {
        if (m_module) ::FreeLibrary(m_module);
    }

    // The formatted message of `id` with one insertion string; false and the
    // error when there is none.
    bool Format(std::uint32_t id, const std::wstring& insertion, std::wstring& text, DWORD& error) const {
        DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insertion.c_str())};
        wchar_t buffer[4096];
        const DWORD length =
            ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, m_module, id, 0, buffer,
                             static_cast<DWORD>(std::size(buffer)), reinterpret_cast<va_list*>(arguments));
        error = length == 0 ? ::GetLastError() : 0;
        text.assign(buffer, length);
        return length != 0;
    }

    HMODULE m_module = nullptr;
};

TEST_F(Win32EventMessages, EveryIdOfTheRangeShowsItsInsertionStringUnchanged) {
    // What the sources write: a line of the diagnostic log (ids 0-6) and a
    // mirrored audit entry, with line breaks and characters FormatMessage
    // would take as directives if it read them as a format.
    const std::wstring logLine =
        L"2026/12/09 01:58:47.123|00001A2C|Error      |CSettingsControl::GetRegistrySetting|100% sure, %1 %% %n";
    const std::wstring auditEntry =
        L"Tarnwall log entry: Recovery %2 done\r\nSource: EC\r\nTimestamp: 2026-12-09T01:58:47Z";
    std::vector<std::uint32_t> failed;
    for (std::uint64_t id = kFirstId; id <= kLastId; ++id) {
        const std::wstring& insertion = id <= 6 ? logLine : auditEntry;
        std::wstring text;
        DWORD error = 0;
        if (!Format(static_cast<std::uint32_t>(id), insertion, text, error) || text != insertion)
            failed.push_back(static_cast<std::uint32_t>(id));
    }
    EXPECT_TRUE(failed.empty()) << failed.size() << " ids without their text, the first " << failed.front();
}

TEST_F(Win32EventMessages, IdsOutsideTheRangeHaveNoMessage) {
    const std::uint32_t outside[] = {
        kLastId + 1,
        0x00020001,  // Event ID 1 with qualifiers 2
        0x80000005,  // an "event_id" of -2147483643
        0xFFFFFFFF,  // an "event_id" of -1
    };
    for (std::uint32_t id : outside) {
        std::wstring text;
        DWORD error = 0;
        EXPECT_FALSE(Format(id, L"x", text, error)) << std::hex << id << ": " << Arvek::NarrowUtf8(text);
        EXPECT_EQ(static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND), error) << std::hex << id;
    }
}

TEST_F(Win32EventMessages, CarriesTheProgramsVersion) {
    // The test program carries Tidewatch.exe's resource script.
    Arvek::Win32::Win32Process process;
    for (const wchar_t* name : {L"ProductName", L"ProductVersion", L"FileVersion"}) {
        const std::wstring block = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        SCOPED_TRACE(Arvek::NarrowUtf8(block));
        const auto expected = process.VersionString(process.ModuleFileName(), block);
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(expected, process.VersionString(MessageFilePath(), block));
    }
}

}  // namespace
