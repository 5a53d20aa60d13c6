#include "contract/files_contract.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <set>

#include "common/strings.h"

namespace Arvek::Testing {

namespace fs = std::filesystem;
using ReadStatus = Ports::ITextFile::ReadStatus;

void FilesContract::SetUp() {
    backend = GetParam()();
    folder = backend->ScratchFolder();
}

void FilesContract::TearDown() { backend.reset(); }

void FilesContract::Put(const std::wstring& name, const std::string& bytes) {
    std::ofstream out(backend->HostPath(In(name)), std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good());
}

std::string FilesContract::Bytes(const std::wstring& name) {
    std::ifstream in(backend->HostPath(In(name)), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

namespace {

constexpr const char* kBom = "\xEF\xBB\xBF";

// The C runtime may hand back the byte-order mark it wrote as U+FEFF.
std::wstring WithoutBom(std::wstring text) {
    if (!text.empty() && text.front() == L'\uFEFF') text.erase(0, 1);
    return text;
}

}  // namespace

TEST_P(FilesContract, ANewTextFileIsUtf8WithByteOrderMarkAndCrLf) {
    {
        auto file = Files().OpenTextForAppend(In(L"new.log"));
        ASSERT_TRUE(file);
        EXPECT_EQ(kBom, Bytes(L"new.log"));  // written on opening
        EXPECT_TRUE(file->Write(L"a\nb \u00e4\u20ac"));
        EXPECT_TRUE(file->Write(L"\n"));
    }
    EXPECT_EQ(std::string(kBom) + "a\r\nb \xC3\xA4\xE2\x82\xAC\r\n", Bytes(L"new.log"));
    {
        auto file = Files().OpenTextForAppend(In(L"new.log"));
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->Write(L"c\n"));
        EXPECT_TRUE(file->Flush());
        EXPECT_EQ(std::string(kBom) + "a\r\nb \xC3\xA4\xE2\x82\xAC\r\nc\r\n", Bytes(L"new.log"));  // appended, once
    }
}

TEST_P(FilesContract, EveryCharacterOfALongLineIsEncodedWhereverItFalls) {
    // A character that is not plain ASCII, at every place within eight
    // characters of plain text, in one write.
    const struct {
        std::wstring character;
        std::string bytes;
    } cases[] = {
        {L"\n", "\r\n"},
        {std::wstring(1, L'\0'), ""},
        {L"\u00e9", "\xC3\xA9"},
        {L"\u20ac", "\xE2\x82\xAC"},
        {L"\U0001F600", "\xF0\x9F\x98\x80"},
        {L"\x7f", "\x7f"},
    };
    std::wstring text;
    std::string expected = kBom;
    for (const auto& c : cases) {
        for (std::size_t at = 0; at < 9; ++at) {
            const std::wstring before(at, L'a'), after(17 - at, L'b');
            text += before + c.character + after;
            expected += std::string(at, 'a') + c.bytes + std::string(17 - at, 'b');
        }
    }
    {
        auto file = Files().OpenTextForAppend(In(L"long.log"));
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->Write(text));
    }
    EXPECT_EQ(expected, Bytes(L"long.log"));
}

TEST_P(FilesContract, AnExistingFileGetsAByteOrderMarkOnlyWhenEmpty) {
    Put(L"empty.log", "");
    Put(L"old.log", "abc\r\n");
    for (const wchar_t* name : {L"empty.log", L"old.log"}) {
        auto file = Files().OpenTextForAppend(In(name));
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->Write(L"d\n"));
    }
    EXPECT_EQ(std::string(kBom) + "d\r\n", Bytes(L"empty.log"));
    EXPECT_EQ("abc\r\nd\r\n", Bytes(L"old.log"));
}

TEST_P(FilesContract, ReadingFromTheStartStopsAfterTheFirstLineOrTheLimit) {
    const struct {
        std::string content;
        std::size_t maxChars;
        std::wstring text;
    } cases[] = {
        // The mark may count as a character read (Wine's C runtime does that).
        {std::string(kBom) + "2026/12/09 01:58:47.123|00001A2C|x\r\n", 25, L"2026/12/09 01:58:47.123|"},
        {"2026/12/09 01:58:47.123|00001A2C|x\r\n", 24, L"2026/12/09 01:58:47.123|"},
        {"abc\r\ndef\r\n", 25, L"abc\n"},
        {"\xC3\xA4\xE2\x82\xAC", 25, L"\u00e4\u20ac"},
    };
    for (const auto& c : cases) {
        Put(L"read.log", c.content);
        auto file = Files().OpenTextForAppend(In(L"read.log"));
        ASSERT_TRUE(file);
        std::wstring text;
        EXPECT_EQ(ReadStatus::Read, file->ReadFromStart(c.maxChars, text));
        EXPECT_LE(text.size(), c.maxChars);
        const bool bom = c.content.rfind(kBom, 0) == 0;
        EXPECT_EQ(c.text, bom ? WithoutBom(text).substr(0, c.text.size()) : text) << NarrowUtf8(c.text);
    }
}

TEST_P(FilesContract, AFileWithOnlyItsByteOrderMarkReadsAsEmpty) {
    auto file = Files().OpenTextForAppend(In(L"fresh.log"));
    ASSERT_TRUE(file);
    std::wstring text;
    const ReadStatus status = file->ReadFromStart(25, text);
    EXPECT_TRUE(status == ReadStatus::EndOfFile || (status == ReadStatus::Read && text == L"\uFEFF"))
        << static_cast<int>(status) << " " << text.size();
}

TEST_P(FilesContract, AWriteAfterAReadIsAppendedNotLost) {
    Put(L"both.log", "first\r\n");
    {
        auto file = Files().OpenTextForAppend(In(L"both.log"));
        ASSERT_TRUE(file);
        std::wstring text;
        EXPECT_EQ(ReadStatus::Read, file->ReadFromStart(25, text));
        EXPECT_TRUE(file->Write(L"second\n"));
    }
    EXPECT_EQ("first\r\nsecond\r\n", Bytes(L"both.log"));
}

TEST_P(FilesContract, OpeningFailsWhereNoFileCanBe) {
    EXPECT_FALSE(Files().OpenTextForAppend(In(L"missing\\x.log")));
    ASSERT_TRUE(Files().CreateFolder(In(L"dir.log")));
    EXPECT_FALSE(Files().OpenTextForAppend(In(L"dir.log")));
}

TEST_P(FilesContract, FileInfoGivesSizeTimeAndKind) {
    Put(L"a.log", std::string(5000, 'x'));
    auto info = Files().GetFileInfo(In(L"a.log"));
    ASSERT_TRUE(info);
    EXPECT_EQ(5000u, info->size);
    EXPECT_FALSE(info->isFolder);
    ASSERT_TRUE(Files().GetFileInfo(folder));
    EXPECT_TRUE(Files().GetFileInfo(folder)->isFolder);
    EXPECT_FALSE(Files().GetFileInfo(In(L"none.log")));

    // Times in FILETIME units, the same through both calls.
    const auto base = fs::file_time_type::clock::now();
    fs::last_write_time(backend->HostPath(In(L"a.log")), base - std::chrono::seconds(100));
    Put(L"b.log", "b");
    fs::last_write_time(backend->HostPath(In(L"b.log")), base - std::chrono::seconds(40));
    const auto a = Files().GetFileInfo(In(L"a.log"))->lastWriteTime;
    const auto b = Files().GetFileInfo(In(L"b.log"))->lastWriteTime;
    EXPECT_EQ(600000000u, b - a);
    const auto found = Files().FindFiles(In(L"?.log"));
    ASSERT_EQ(2u, found.size());
    for (const auto& file : found) EXPECT_EQ(file.name == L"a.log" ? a : b, file.lastWriteTime) << NarrowUtf8(file.name);
}

TEST_P(FilesContract, FindFilesMatchesThePatternWithoutRegardToCase) {
    for (const wchar_t* name : {L"T_0001.log", L"t_0002.LOG", L"T_x.log", L"T_.log", L"T_0001.log.bak", L"Other.log", L"T0001.log"})
        Put(name, "x");
    ASSERT_TRUE(Files().CreateFolder(In(L"T_dir.log")));
    std::set<std::wstring> names;
    for (const auto& file : Files().FindFiles(In(L"T_*.log"))) names.insert(file.name);
    EXPECT_EQ((std::set<std::wstring>{L"T_0001.log", L"t_0002.LOG", L"T_x.log", L"T_.log"}), names);
    EXPECT_TRUE(Files().FindFiles(In(L"none_*.log")).empty());
    EXPECT_TRUE(Files().FindFiles(In(L"missing\\T_*.log")).empty());
}

TEST_P(FilesContract, RemoveDeletesFilesOnly) {
    Put(L"gone.log", "x");
    EXPECT_TRUE(Files().RemoveFile(In(L"gone.log")));
    EXPECT_FALSE(Files().GetFileInfo(In(L"gone.log")));
    EXPECT_FALSE(Files().RemoveFile(In(L"gone.log")));
    ASSERT_TRUE(Files().CreateFolder(In(L"sub")));
    EXPECT_FALSE(Files().RemoveFile(In(L"sub")));
}

TEST_P(FilesContract, RenameNeverReplacesAFile) {
    Put(L"from.log", "from");
    Put(L"taken.log", "taken");
    EXPECT_FALSE(Files().RenameFile(In(L"from.log"), In(L"taken.log")));
    EXPECT_EQ("from", Bytes(L"from.log"));
    EXPECT_EQ("taken", Bytes(L"taken.log"));
    EXPECT_TRUE(Files().RenameFile(In(L"from.log"), In(L"_log_2")));
    EXPECT_EQ("from", Bytes(L"_log_2"));
    EXPECT_FALSE(Files().GetFileInfo(In(L"from.log")));
    EXPECT_FALSE(Files().RenameFile(In(L"from.log"), In(L"again.log")));
}

// Binary files as the agent's icon is written: made or truncated, written in
// one piece; and whether a file can be opened for reading.
TEST_P(FilesContract, BinaryFilesAreWrittenWholeAndTruncated) {
    const std::wstring path = In(L"Arvek.ico");
    EXPECT_FALSE(Files().CanOpenForReading(path));
    ASSERT_TRUE(Files().WriteBinaryFile(path, {0, 0, 1, 0, 0x0D, 0x0A, 0xFF}));
    EXPECT_EQ(Bytes(L"Arvek.ico"), std::string("\0\0\1\0\r\n\xFF", 7)) << "no text translation";
    EXPECT_TRUE(Files().CanOpenForReading(path));
    ASSERT_TRUE(Files().WriteBinaryFile(path, {0x41}));
    EXPECT_EQ(Bytes(L"Arvek.ico"), "A");
    ASSERT_TRUE(Files().WriteBinaryFile(path, {}));
    EXPECT_EQ(Bytes(L"Arvek.ico"), "");

    EXPECT_FALSE(Files().WriteBinaryFile(In(L"missing\\Arvek.ico"), {1}));
    EXPECT_TRUE(Files().CreateFolder(In(L"folder")));
    EXPECT_FALSE(Files().CanOpenForReading(In(L"folder")));
}

TEST_P(FilesContract, FoldersAreMadeOneLevelAtATime) {
    EXPECT_TRUE(Files().CreateFolder(In(L"one")));
    EXPECT_TRUE(Files().CreateFolder(In(L"one")));  // an existing one is fine
    EXPECT_FALSE(Files().CreateFolder(In(L"two\\three")));
    EXPECT_TRUE(Files().GetFileInfo(In(L"one"))->isFolder);
}

TEST_P(FilesContract, SpecialFolders) {
    const std::wstring temp = Files().TempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(L'\\', temp.back());
    const auto roaming = Files().RoamingAppDataFolder();
    ASSERT_TRUE(roaming);
    EXPECT_NE(L'\\', roaming->back());
    EXPECT_TRUE(Files().GetFileInfo(*roaming)->isFolder);
    EXPECT_TRUE(Files().CreateFolder(*roaming));
}

}  // namespace Arvek::Testing
