// The rotating log file: names, configuration, the first-line check,
// rotation, the bounded mutex wait and the queued writer, on the simulated
// notebook's files and its host-wide "Global\" mutex.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "common/hresult.h"
#include "common/strings.h"
#include "shared/file_listener.h"
#include "shared/listeners.h"
#include "sim/os/host_mutex.h"
#include "sim/os/sim_files.h"
#include "sim/os/sim_named_objects.h"
#include "sim/os/sim_registry.h"
#include "sim_fixture.h"

using namespace Arvek;
using namespace Arvek::Shared;
namespace fs = std::filesystem;
using Arvek::Testing::TempFolder;

namespace {

// ---------------------------------------------------------------------------
// Names and plans: pure functions

TEST(LogFileNames, FilesAndPatternFollowTheProgramName) {
    const std::wstring folder = L"C:\\Users\\user\\AppData\\Roaming\\arqLog";
    EXPECT_EQ(folder + L"\\Tidewatch.log", LogFileNames::LogFile(folder, L"Tidewatch"));
    EXPECT_EQ(folder + L"\\Portolan_0001.log", LogFileNames::RotatedFile(folder, L"Portolan", 1));
    EXPECT_EQ(folder + L"\\Tidewatch_0011.log", LogFileNames::RotatedFile(folder, L"Tidewatch", 11));
    EXPECT_EQ(folder + L"\\Tidewatch_12345.log", LogFileNames::RotatedFile(folder, L"Tidewatch", 12345));
    EXPECT_EQ(folder + L"\\Tidewatch_*.log", LogFileNames::SearchPattern(folder, L"Tidewatch"));
    EXPECT_EQ(folder + L"\\_log_10", LogFileNames::TemporaryFile(folder, 10));
}

TEST(LogFileNames, RotationNumberReadsOnlyNumberedNames) {
    const struct {
        const wchar_t* name;
        std::optional<unsigned> number;
    } cases[] = {
        {L"Tidewatch_0001.log", 1u}, {L"tidewatch_0009.LOG", 9u}, {L"Tidewatch_12.log", 12u},
        {L"Tidewatch_.log", std::nullopt}, {L"Tidewatch_00a1.log", std::nullopt},
        {L"Tidewatch_0001.log.bak", std::nullopt}, {L"Portolan_0001.log", std::nullopt},
        {L"Tidewatch.log", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(c.number, LogFileNames::RotationNumber(c.name, L"Tidewatch")) << c.name;
}

TEST(LogMutexName, DropsTheDriveAndTurnsBackslashesIntoDots) {
    const struct {
        const wchar_t* path;
        const wchar_t* name;
    } cases[] = {
        {L"C:\\Users\\user\\AppData\\Roaming\\arqLog\\Tidewatch.log",
         L"Global\\.Users.user.AppData.Roaming.arqLog.Tidewatch.log"},
        {L"D:\\Logs\\Portolan.log", L"Global\\.Logs.Portolan.log"},
        {L"Tidewatch.log", L"Global\\Tidewatch.log"},                          // the disabled listener's name
        {L"\\\\server\\share\\arqLog\\T.log", L"Global\\..server.share.arqLog.T.log"},  // no drive
        {L":odd\\T.log", L"Global\\:odd.T.log"},                               // a colon first is kept
        {L"C:\\a:b\\T.log", L"Global\\.a:b.T.log"},                            // only the first colon counts
    };
    for (const auto& c : cases) EXPECT_EQ(c.name, LogMutexName(c.path)) << c.path;
}

TEST(StartsLikeLogLine, ChecksTheSeparatorsOfTheTimeStamp) {
    EXPECT_TRUE(StartsLikeLogLine(L"2026/12/09 01:58:47.123|"));
    EXPECT_TRUE(StartsLikeLogLine(L"xxxx/xx/xx xx:xx:xx.xxx|00001A2C|"));
    EXPECT_FALSE(StartsLikeLogLine(L"2026/12/09 01:58:47.123"));   // 23 characters
    EXPECT_FALSE(StartsLikeLogLine(L"2026-12-09 01:58:47.123|"));
    EXPECT_FALSE(StartsLikeLogLine(L"2026/12/09T01:58:47.123|"));
    EXPECT_FALSE(StartsLikeLogLine(L"2026/12/09 01:58:47,123|"));
    EXPECT_FALSE(StartsLikeLogLine(L"\uFEFF2026/12/09 01:58:47.123|"));
    EXPECT_FALSE(StartsLikeLogLine(L""));
}

Ports::FoundFile Found(const wchar_t* name, std::uint64_t time) { return {name, time, 0}; }

struct PlanCase {
    const char* what;
    std::vector<Ports::FoundFile> files;
    std::optional<std::wstring> remove;
    std::vector<std::pair<std::wstring, unsigned>> moves;  // oldest first
};

TEST(PlanRotation, NumbersFilesByAgeAndKeepsNine) {
    const PlanCase cases[] = {
        {"nothing yet", {}, std::nullopt, {}},
        {"by time, not by name",
         {Found(L"T_0001.log", 30), Found(L"T_0002.log", 10), Found(L"T_0003.log", 20)},
         std::nullopt,
         {{L"T_0002.log", 4}, {L"T_0003.log", 3}, {L"T_0001.log", 2}}},
        {"nine: the oldest goes",
         {Found(L"T_0001.log", 9), Found(L"T_0002.log", 8), Found(L"T_0003.log", 7), Found(L"T_0004.log", 6),
          Found(L"T_0005.log", 5), Found(L"T_0006.log", 4), Found(L"T_0007.log", 3), Found(L"T_0008.log", 2),
          Found(L"T_0009.log", 1)},
         L"T_0009.log",
         {{L"T_0008.log", 9}, {L"T_0007.log", 8}, {L"T_0006.log", 7}, {L"T_0005.log", 6}, {L"T_0004.log", 5},
          {L"T_0003.log", 4}, {L"T_0002.log", 3}, {L"T_0001.log", 2}}},
        {"ten: none goes, the oldest becomes 11",
         {Found(L"T_0001.log", 10), Found(L"T_0002.log", 9), Found(L"T_0003.log", 8), Found(L"T_0004.log", 7),
          Found(L"T_0005.log", 6), Found(L"T_0006.log", 5), Found(L"T_0007.log", 4), Found(L"T_0008.log", 3),
          Found(L"T_0009.log", 2), Found(L"T_x.log", 1)},
         std::nullopt,
         {{L"T_x.log", 11}, {L"T_0009.log", 10}, {L"T_0008.log", 9}, {L"T_0007.log", 8}, {L"T_0006.log", 7},
          {L"T_0005.log", 6}, {L"T_0004.log", 5}, {L"T_0003.log", 4}, {L"T_0002.log", 3}, {L"T_0001.log", 2}}},
        {"equal times: all take part, the higher number is older, strays older still",
         {Found(L"T_0001.log", 5), Found(L"T_0003.log", 5), Found(L"T_0002.log", 5), Found(L"T_old.log", 5),
          Found(L"T_0004.log", 1)},
         std::nullopt,
         {{L"T_0004.log", 6}, {L"T_old.log", 5}, {L"T_0003.log", 4}, {L"T_0002.log", 3}, {L"T_0001.log", 2}}},
    };
    for (const auto& c : cases) {
        const RotationPlan plan = PlanRotation(c.files, L"T");
        EXPECT_EQ(c.remove, plan.remove) << c.what;
        std::vector<std::pair<std::wstring, unsigned>> moves;
        for (const auto& move : plan.moves) moves.emplace_back(move.name, move.number);
        EXPECT_EQ(c.moves, moves) << c.what;
    }
}

// ---------------------------------------------------------------------------
// The listener on the simulated notebook

// The simulated file system with failures on demand.
class FaultyFiles final : public Ports::IFileSystem {
public:
    explicit FaultyFiles(Sim::SimFileSystem& inner) : inner(inner) {}
    std::wstring TempPath() override { return inner.TempPath(); }
    std::optional<std::wstring> RoamingAppDataFolder() override {
        return noRoamingFolder ? std::nullopt : inner.RoamingAppDataFolder();
    }
    bool CreateFolder(const std::wstring& path) override { return !failCreateFolder && inner.CreateFolder(path); }
    std::unique_ptr<Ports::ITextFile> OpenTextForAppend(const std::wstring& path) override {
        return failOpen ? nullptr : inner.OpenTextForAppend(path);
    }
    std::optional<Ports::FileInfo> GetFileInfo(const std::wstring& path) override { return inner.GetFileInfo(path); }
    std::vector<Ports::FoundFile> FindFiles(const std::wstring& pattern) override { return inner.FindFiles(pattern); }
    bool RemoveFile(const std::wstring& path) override { return inner.RemoveFile(path); }
    bool CanOpenForReading(const std::wstring& path) override { return inner.CanOpenForReading(path); }
    bool WriteBinaryFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) override {
        return inner.WriteBinaryFile(path, bytes);
    }
    bool RenameFile(const std::wstring& from, const std::wstring& to) override {
        if (failRenameOf && from.ends_with(failRenameOf)) return false;
        return inner.RenameFile(from, to);
    }

    Sim::SimFileSystem& inner;
    bool noRoamingFolder = false;
    bool failCreateFolder = false;
    std::atomic<bool> failOpen{false};  // read by writer threads
    const wchar_t* failRenameOf = nullptr;
};

constexpr const wchar_t* kProductKey = L"Software\\Policies\\Arvek\\Test Product";
const std::wstring kFolder = L"C:\\Users\\user\\AppData\\Roaming\\arqLog";
const std::string kFirstLine = "2026/12/09 01:58:47.123|00001A2C|Information|Old|first\r\n";

class FileLog : public testing::Test {
protected:
    // A name of this process's own, so that the host-wide mutex of these
    // files is not shared with tests running in other processes.
    const std::wstring program = L"FlTest" + std::to_wstring(::getpid());
    TempFolder folder;
    Sim::SimFileSystem simFiles{folder.Path()};
    FaultyFiles files{simFiles};
    Sim::SimNamedObjects namedObjects;
    Sim::SimRegistry registry;

    void SetDword(bool programKey, const wchar_t* name, std::uint32_t value, std::uint32_t type = Ports::kREG_DWORD) {
        const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                       static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
        const std::wstring key = programKey ? std::wstring(kProductKey) + L"\\" + program : kProductKey;
        registry.SetValue(Ports::RegistryRoot::LocalMachine, key, name, type, {bytes, 4});
    }

    LogConfigKeys Keys() {
        LogConfigKeys keys;
        keys.programName = program;
        if (registry.OpenKey(Ports::RegistryRoot::LocalMachine, kProductKey, Ports::kKEY_READ, keys.product) !=
            kERROR_SUCCESS) {
            keys.product.reset();
        } else if (keys.product->OpenSubKey(program, Ports::kKEY_READ, keys.program) != kERROR_SUCCESS) {
            keys.program.reset();
        }
        return keys;
    }

    std::unique_ptr<CArvekLogListenerFile> Make(bool queued = false) {
        return std::make_unique<CArvekLogListenerFile>(Information, queued, Keys(), files, namedObjects);
    }

    std::wstring LogPath() const { return kFolder + L"\\" + program + L".log"; }
    std::wstring Rotated(unsigned number) const { return LogFileNames::RotatedFile(kFolder, program, number); }
    fs::path Host(const std::wstring& path) const { return *simFiles.HostPath(path); }

    void Put(const std::wstring& path, const std::string& bytes) {
        fs::create_directories(Host(kFolder));
        std::ofstream(Host(path), std::ios::binary) << bytes;
    }
    void SetTime(const std::wstring& path, int secondsAgo) {
        fs::last_write_time(Host(path), m_now - std::chrono::seconds(secondsAgo));
    }
    const fs::file_time_type m_now = fs::file_time_type::clock::now();
    std::string Read(const std::wstring& path) const {
        std::ifstream in(Host(path), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::wstring& path) const { return fs::exists(Host(path)); }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        if (fs::exists(Host(kFolder)))
            for (const auto& entry : fs::directory_iterator(Host(kFolder))) names.insert(entry.path().filename());
        return names;
    }
    std::string Name(unsigned number) const { return Host(Rotated(number)).filename(); }

    static CArvekLogListener::LogData Record(const std::wstring& message, std::uint16_t ms = 123) {
        return CArvekLogListener::LogData(Information, "Fn", message, Ports::SystemTime{2026, 12, 3, 9, 1, 58, 47, ms},
                                          0x1A2C);
    }
    static std::string Line(const std::string& message, const char* ms = "123") {
        return std::string("2026/12/09 01:58:47.") + ms + "|00001A2C|Information|Fn|" + message + "\r\n";
    }
    static void Log(CArvekLogListener& listener, const std::wstring& message) {
        auto data = Record(message);
        listener.Log(data);
    }
};

// Waits for a condition that a writer thread brings about.
bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TEST_F(FileLog, WritesUtf8LinesWithCrLfAfterAByteOrderMark) {
    auto listener = Make();
    EXPECT_EQ(LogPath(), listener->Path());
    EXPECT_EQ(File, listener->GetType());
    EXPECT_EQ(LogMutexName(LogPath()), listener->MutexName());
    Log(*listener, L"gr\u00fc\u00dfe \U0001F600");
    Log(*listener, L"two\nlines");
    EXPECT_EQ("\xEF\xBB\xBF" + Line("gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80") + Line("two\r\nlines"),
              Read(LogPath()));
}

TEST_F(FileLog, SizeLimitComesFromTheProgramKeyThenTheProductKey) {
    // The first write checks the size: the file rotates once it is larger than the limit.
    const struct {
        const char* what;
        std::optional<std::uint32_t> program, product;
        std::uint32_t limitKiB;
        std::uint32_t type = Ports::kREG_DWORD;
    } cases[] = {
        {"no keys", std::nullopt, std::nullopt, 2048},
        {"program 0, product 100", 0u, 100u, 100},
        {"program 50 wins", 50u, 100u, 50},
        {"product 0 means the default", std::nullopt, 0u, 2048},
        {"both 0", 0u, 0u, 2048},
        {"four bytes of any type", 64u, std::nullopt, 64, Ports::kREG_BINARY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        registry.DeleteTree(Ports::RegistryRoot::LocalMachine, kProductKey);
        registry.CreateKey(Ports::RegistryRoot::LocalMachine, kProductKey);
        if (c.program) SetDword(true, L"MaxLogSize", *c.program, c.type);
        if (c.product) SetDword(false, L"MaxLogSize", *c.product, c.type);
        EXPECT_EQ(c.limitKiB, Make()->MaxLogSizeKiB());
        const std::uint64_t limitBytes = std::uint64_t{c.limitKiB} * 1024;
        for (const std::uint64_t size : {limitBytes, limitBytes + 1}) {
            fs::remove_all(Host(kFolder));
            Put(LogPath(), kFirstLine + std::string(size - kFirstLine.size(), 'x'));
            auto listener = Make();
            Log(*listener, L"next");
            const bool rotated = size > limitBytes;
            EXPECT_EQ(rotated, Exists(Rotated(1))) << size;
            EXPECT_EQ(rotated ? "\xEF\xBB\xBF" + Line("next") : kFirstLine + std::string(size - kFirstLine.size(), 'x') + Line("next"),
                      Read(LogPath()))
                << size;
        }
    }
}

TEST_F(FileLog, SizeIsCheckedAgainAfterHalfTheCounter) {
    // 1 KiB: the counter starts at 11 and is halved after each check, so the
    // size is checked at writes 1, 7, 13, ...
    SetDword(false, L"MaxLogSize", 1);
    auto listener = Make();
    const std::wstring message(100, L'm');  // 150 bytes a line
    for (int i = 0; i < 12; ++i) Log(*listener, message);
    EXPECT_FALSE(Exists(Rotated(1)));  // 903 bytes at write 7; 1803 bytes now, but not looked at
    Log(*listener, message);
    EXPECT_EQ(3u + 12 * 150, fs::file_size(Host(Rotated(1))));
    EXPECT_EQ(3u + 150, fs::file_size(Host(LogPath())));
}

TEST_F(FileLog, QueuedWritesComesFromTheProgramKeyThenTheProductKey) {
    const struct {
        const char* what;
        std::optional<std::uint32_t> program, product;
        bool created, queued;
    } cases[] = {
        {"product 1, program 0: direct", 0u, 1u, true, false},
        {"product 1: queued", std::nullopt, 1u, false, true},
        {"program 7: queued", 7u, 0u, false, true},
        {"none: as created, direct", std::nullopt, std::nullopt, false, false},
        {"none: as created, queued", std::nullopt, std::nullopt, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        registry.DeleteTree(Ports::RegistryRoot::LocalMachine, kProductKey);
        registry.CreateKey(Ports::RegistryRoot::LocalMachine, kProductKey);
        if (c.program) SetDword(true, L"QueuedWrites", *c.program);
        if (c.product) SetDword(false, L"QueuedWrites", *c.product);
        auto listener = Make(c.created);
        EXPECT_EQ(c.queued, listener->Queued());
        EXPECT_EQ(c.queued ? QueuedFile : File, listener->GetType());
    }
}

TEST_F(FileLog, FirstLineDecidesWhetherTheOldFileIsMovedAside) {
    const struct {
        const char* what;
        std::string content;
        bool moved;
    } cases[] = {
        {"a log line", kFirstLine, false},
        {"a log line after a byte-order mark", "\xEF\xBB\xBF" + kFirstLine, false},
        {"empty", "", false},
        {"only a byte-order mark", "\xEF\xBB\xBF", false},
        {"not a log line", "hello world, this is not a log\r\n", true},
        {"a short first line", "2026/12/09\r\n" + kFirstLine, true},
        {"another time format", "2026-12-09 01:58:47.123|x\r\n", true},
        {"binary", std::string("\x00\x01\x02\xFF", 4), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Host(kFolder));
        Put(LogPath(), c.content);
        auto listener = Make();
        EXPECT_EQ(c.moved, Exists(Rotated(1)));
        if (c.moved) {
            EXPECT_EQ(c.content, Read(Rotated(1)));
            EXPECT_EQ("\xEF\xBB\xBF", Read(LogPath()));  // a new file; the C runtime gives it a BOM
        } else {
            EXPECT_EQ(c.content.empty() ? "\xEF\xBB\xBF" : c.content, Read(LogPath()));
        }
    }
}

// Old files with their age in seconds, a log file over the 1 KiB limit, and
// one record to rotate it.
class Rotation : public FileLog {
protected:
    void SetUp() override { SetDword(false, L"MaxLogSize", 1); }
    void Old(const std::wstring& path, int secondsAgo) {
        Put(path, Host(path).filename().string() + "\r\n");
        SetTime(path, secondsAgo);
    }
    void RotateOnce() {
        Put(LogPath(), kFirstLine + std::string(2000, 'x'));
        auto listener = Make();
        Log(*listener, L"after");
    }
    // Which old file (by its original name) now carries each number.
    std::string Carrier(unsigned number) const { return Read(Rotated(number)); }
};

TEST_F(Rotation, NineOldFilesTheOldestGoesTheRestMoveUpByAge) {
    // Ages deliberately out of step with the names.
    const unsigned byAge[] = {4, 9, 1, 7, 2, 8, 3, 6, 5};  // oldest first
    for (unsigned i = 0; i < 9; ++i) Old(Rotated(byAge[i]), 100 - static_cast<int>(i));
    RotateOnce();
    for (unsigned i = 1; i < 9; ++i) EXPECT_EQ(Name(byAge[i]) + "\r\n", Carrier(10 - i)) << i;
    EXPECT_EQ(kFirstLine + std::string(2000, 'x'), Carrier(1));
    EXPECT_EQ((std::set<std::string>{Name(1), Name(2), Name(3), Name(4), Name(5), Name(6), Name(7), Name(8),
                                     Name(9), Host(LogPath()).filename()}),
              Names());
}

TEST_F(Rotation, TenMatchingFilesNoneIsDeletedTheOldestBecomesEleven) {
    const std::wstring stray = kFolder + L"\\" + program + L"_copy.log";
    Old(stray, 200);
    for (unsigned n = 1; n <= 9; ++n) Old(Rotated(n), 100 - static_cast<int>(10 - n));  // _0009 oldest
    RotateOnce();
    EXPECT_EQ(Host(stray).filename().string() + "\r\n", Carrier(11));
    for (unsigned n = 1; n <= 9; ++n) EXPECT_EQ(Name(n) + "\r\n", Carrier(n + 1));
    EXPECT_EQ(12u, Names().size());  // 11 numbered and the new log
}

TEST_F(Rotation, FilesWithEqualTimesAllKeepTheirPlace) {
    for (unsigned n = 1; n <= 3; ++n) Old(Rotated(n), 50);
    Old(Rotated(4), 60);
    RotateOnce();
    for (unsigned n = 1; n <= 4; ++n) EXPECT_EQ(Name(n) + "\r\n", Carrier(n + 1));
}

TEST_F(Rotation, LeftoverTemporaryFilesAreReplaced) {
    Old(Rotated(1), 10);
    Put(LogFileNames::TemporaryFile(kFolder, 2), "leftover");
    RotateOnce();
    EXPECT_EQ(Name(1) + "\r\n", Carrier(2));
    EXPECT_FALSE(Exists(LogFileNames::TemporaryFile(kFolder, 2)));
}

TEST_F(Rotation, AFailedMoveStopsTheRenamingButLosesNoFile) {
    for (unsigned n = 1; n <= 4; ++n) Old(Rotated(n), 10 * static_cast<int>(n));  // _0004 oldest
    const std::wstring blocked = Rotated(2);
    files.failRenameOf = blocked.c_str();  // say, open in the viewer
    RotateOnce();
    // _0004 and _0003 had moved on to 5 and 4; _0002 and _0001 stay put, so
    // the log file cannot take number 1 and keeps growing.
    EXPECT_EQ(Name(4) + "\r\n", Carrier(5));
    EXPECT_EQ(Name(3) + "\r\n", Carrier(4));
    EXPECT_EQ(Name(2) + "\r\n", Carrier(2));
    EXPECT_EQ(Name(1) + "\r\n", Carrier(1));
    EXPECT_FALSE(Exists(Rotated(3)));
    EXPECT_EQ(kFirstLine + std::string(2000, 'x') + Line("after"), Read(LogPath()));
    for (const auto& name : Names()) EXPECT_EQ(std::string::npos, name.find("_log_")) << name;
}

TEST_F(Rotation, AMovedFileWhoseNewNumberIsTakenGoesBack) {
    // Numbers out of age order: _0003 is the newest, so it becomes 2, and
    // the oldest, _0001, would become 4 ... but _0002's move fails.
    Old(Rotated(1), 30);
    Old(Rotated(2), 20);
    Old(Rotated(3), 10);
    const std::wstring blocked = Rotated(2);
    files.failRenameOf = blocked.c_str();
    RotateOnce();
    EXPECT_EQ(Name(1) + "\r\n", Carrier(4));
    EXPECT_EQ(Name(2) + "\r\n", Carrier(2));
    EXPECT_EQ(Name(3) + "\r\n", Carrier(3));
    for (const auto& name : Names()) EXPECT_EQ(std::string::npos, name.find("_log_")) << name;
}

TEST_F(FileLog, WithoutAFolderTheListenerIsDisabled) {
    const struct {
        const char* what;
        bool noRoaming, failCreate;
    } cases[] = {{"no roaming folder", true, false}, {"arqLog cannot be made", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        files.noRoamingFolder = c.noRoaming;
        files.failCreateFolder = c.failCreate;
        for (bool queued : {false, true}) {
            auto listener = Make(queued);
            EXPECT_TRUE(listener->Path().empty());
            EXPECT_EQ(L"Global\\" + program + L".log", listener->MutexName());
            Log(*listener, L"dropped");
            EXPECT_EQ(0u, listener->PendingRecords());
        }
        EXPECT_FALSE(Exists(LogPath()));
    }
}

TEST_F(FileLog, AFileThatCannotBeOpenedDropsDirectRecordsAndKeepsQueuedOnes) {
    auto direct = Make();
    auto queued = Make(true);
    files.failOpen = true;
    Log(*direct, L"lost");
    Log(*queued, L"kept 1");
    Log(*queued, L"kept 2");
    // The writer that failed to open the file leaves both records queued for
    // the next one; until it has ended, a new record starts no writer.
    ASSERT_TRUE(Eventually([&] { return !queued->WriterRunning(); }));
    EXPECT_EQ(2u, queued->PendingRecords());
    files.failOpen = false;
    Log(*direct, L"direct");
    Log(*queued, L"kept 3");
    ASSERT_TRUE(Eventually([&] { return queued->PendingRecords() == 0; }));
    queued.reset();  // waits for the writer
    EXPECT_EQ("\xEF\xBB\xBF" + Line("direct") + Line("kept 1") + Line("kept 2") + Line("kept 3"), Read(LogPath()));
}

// ---------------------------------------------------------------------------
// The mutex

// Holds the log's mutex on a thread of its own (to the listener, a thread of
// this process is as foreign as another process) until told to let go.
class Holder {
public:
    explicit Holder(const std::wstring& name) : m_thread([this, name] { Run(name); }) {
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [&] { return m_holding; });
    }
    ~Holder() { Let(); }
    void Let() {
        {
            std::lock_guard guard(m_lock);
            m_letGo = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }
    // Ends its thread while still owning the mutex: abandons it.
    void Abandon() {
        m_abandon = true;
        Let();
    }

private:
    void Run(const std::wstring& name) {
        auto mutex = Sim::OpenHostMutex(name);
        mutex->Wait(Ports::kINFINITE);
        std::unique_lock guard(m_lock);
        m_holding = true;
        m_changed.notify_all();
        m_changed.wait(guard, [&] { return m_letGo; });
        if (!m_abandon) mutex->Release();
    }
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_holding = false, m_letGo = false;
    std::atomic<bool> m_abandon{false};
    std::thread m_thread;
};

TEST_F(FileLog, AHolderThatNeverLetsGoCostsDirectRecordsButNeverHangs) {
    auto listener = Make();
    Holder holder(listener->MutexName());
    Log(*listener, L"lost after a bounded wait");
    for (int i = 0; i < 5; ++i) Log(*listener, L"lost after a short wait");
    holder.Let();
    Log(*listener, L"written");
    EXPECT_EQ("\xEF\xBB\xBF" + Line("written"), Read(LogPath()));
}

TEST_F(FileLog, QueuedRecordsWaitOutAHolderAndALaterRecordWritesThem) {
    auto listener = Make(true);
    {
        Holder holder(listener->MutexName());
        Log(*listener, L"one");
        Log(*listener, L"two");
        // The writer gives up and ends; the records stay queued.
        std::this_thread::sleep_for(std::chrono::milliseconds(CArvekLogListenerFile::kMutexWaitMs + 200));
        EXPECT_EQ(2u, listener->PendingRecords());
        EXPECT_EQ("\xEF\xBB\xBF", Read(LogPath()));
    }
    Log(*listener, L"three");
    ASSERT_TRUE(Eventually([&] { return listener->PendingRecords() == 0; }));
    listener.reset();
    EXPECT_EQ("\xEF\xBB\xBF" + Line("one") + Line("two") + Line("three"), Read(LogPath()));
}

TEST_F(FileLog, AnAbandonedMutexIsTakenOver) {
    auto listener = Make();
    Holder(listener->MutexName()).Abandon();
    Log(*listener, L"after the holder died");
    EXPECT_EQ("\xEF\xBB\xBF" + Line("after the holder died"), Read(LogPath()));
}

TEST_F(FileLog, DestroyingAQueuedListenerWithAStuckWriterDiscardsItsQueue) {
    auto listener = Make(true);
    Holder holder(listener->MutexName());
    Log(*listener, L"never written");
    const auto start = std::chrono::steady_clock::now();
    listener.reset();  // the writer is still waiting for the mutex
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));  // not the writer's wait
    holder.Let();
    std::this_thread::sleep_for(std::chrono::milliseconds(CArvekLogListenerFile::kMutexWaitMs + 100));
    EXPECT_EQ("\xEF\xBB\xBF", Read(LogPath()));
}

TEST_F(FileLog, QueuedRecordsOfEverySizeComeOutWholeAndInOrder) {
    // Lines far longer than the queue's room for one burst, and more short
    // lines than it keeps track of at once, while the mutex is held and
    // while the writer is at work.
    SetDword(false, L"MaxLogSize", 100000);  // no rotation
    auto listener = Make(true);
    std::vector<std::wstring> messages;
    for (int i = 0; i < 3000; ++i) {
        const std::size_t size = i % 500 == 7 ? 300000 + static_cast<std::size_t>(i) : static_cast<std::size_t>(i % 40);
        messages.push_back(std::to_wstring(i) + L":" + std::wstring(size, i % 2 ? L'\u00e9' : L'x'));
    }
    {
        Holder holder(listener->MutexName());
        for (std::size_t i = 0; i < messages.size() / 2; ++i) Log(*listener, messages[i]);
    }
    for (std::size_t i = messages.size() / 2; i < messages.size(); ++i) Log(*listener, messages[i]);
    ASSERT_TRUE(Eventually([&] { return listener->PendingRecords() == 0; }));
    listener.reset();
    std::string expected = "\xEF\xBB\xBF";
    for (const auto& message : messages) expected += Line(NarrowUtf8(message));
    EXPECT_TRUE(Read(LogPath()) == expected);  // (megabytes: not printed)
}

TEST_F(FileLog, QueuedBatchesRotateAtTheSameRecordsAsDirectWrites) {
    // 1 KiB: a size check every six writes. The queued writer hands the file
    // runs of records at once; the checks, and so the rotations, must fall
    // between the same two records as when every record is written on its
    // own. A check sees what has reached the file, and the stream keeps up
    // to 4 KiB back: records longer than that reach it at once, and every
    // check after the first finds the file too large.
    SetDword(false, L"MaxLogSize", 1);
    constexpr int kRecords = 40;
    auto message = [](int i) { return std::to_wstring(i) + L":" + std::wstring(5000, L'm'); };
    auto contents = [&] {
        std::map<std::string, std::string> byName;
        for (const auto& name : Names()) byName[name] = Read(kFolder + L"\\" + WidenUtf8(name));
        return byName;
    };
    {
        auto direct = Make();
        for (int i = 0; i < kRecords; ++i) Log(*direct, message(i));
    }
    const auto expected = contents();
    ASSERT_EQ(7u, expected.size());  // rotations at writes 7, 13, 19, 25, 31 and 37

    fs::remove_all(Host(kFolder));
    auto queued = Make(true);
    {
        Holder holder(queued->MutexName());  // the records pile up for one batch
        for (int i = 0; i < kRecords; ++i) Log(*queued, message(i));
    }
    ASSERT_TRUE(Eventually([&] { return queued->PendingRecords() == 0; }));
    queued.reset();
    EXPECT_EQ(expected, contents());
}

// ---------------------------------------------------------------------------
// Threads (run under ThreadSanitizer in the linux-tsan build)

TEST_F(FileLog, ThreadsLoggingAtOnceKeepEveryLineWholeAndInOrder) {
    // 16 KiB: several rotations while the threads write, but no file deleted.
    SetDword(false, L"MaxLogSize", 16);
    constexpr int kThreads = 4, kLines = 400;
    for (bool queued : {false, true}) {
        SCOPED_TRACE(queued ? "queued" : "direct");
        fs::remove_all(Host(kFolder));
        auto listener = Make(queued);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < kLines; ++i) Log(*listener, std::to_wstring(t) + L":" + std::to_wstring(i));
            });
        for (auto& thread : threads) thread.join();
        ASSERT_TRUE(Eventually([&] { return listener->PendingRecords() == 0; }));
        listener.reset();

        ASSERT_TRUE(Exists(Rotated(2)));
        ASSERT_FALSE(Exists(Rotated(9)));
        // Oldest file first, each after its byte-order mark.
        std::string all;
        for (unsigned n = 9; n >= 1; --n)
            if (Exists(Rotated(n))) all += Read(Rotated(n)).substr(3);
        all += Read(LogPath()).substr(3);
        const std::string prefix = "2026/12/09 01:58:47.123|00001A2C|Information|Fn|";
        std::vector<int> next(kThreads, 0);
        for (std::size_t at = 0; at < all.size();) {
            const auto end = all.find("\r\n", at);
            ASSERT_NE(std::string::npos, end);
            const std::string line = all.substr(at, end - at);
            at = end + 2;
            ASSERT_EQ(0u, line.rfind(prefix, 0)) << line;
            int t = -1, i = -1;
            ASSERT_EQ(2, std::sscanf(line.c_str() + prefix.size(), "%d:%d", &t, &i)) << line;
            ASSERT_TRUE(t >= 0 && t < kThreads) << line;
            EXPECT_EQ(next[t], i) << line;
            next[t] = i + 1;
        }
        EXPECT_EQ(std::vector<int>(kThreads, kLines), next);
    }
}

TEST(FileLogPlatform, CreateFileListenerGivesTheFileListenerOfTheLog) {
    // Through the log, as the programs configure it.
    Testing::SimNotebook notebook(Testing::SimNotebook::WithPolicy(
        "", "[HKEY_LOCAL_MACHINE\\Software\\Policies\\Arvek\\Tidewatch Application]\n"
            "\"LoggingType\"=\"FILE\"\n\"MinLogLevel\"=\"Information\"\n\"QueuedWrites\"=dword:00000001\n"));
    {
        CArvekLog log(notebook.machine.Platform(), Error, Event);
        ASSERT_NE(nullptr, log.FileListener());
        EXPECT_EQ(QueuedFile, log.FileListener()->GetType());
        log.Log(Information, "Fn", L"via the log %d", 42);
    }
    std::ifstream in(notebook.folder.Path() / "C/Users/user/AppData/Roaming/arqLog/Tidewatch.log", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, text.find("|Information|Fn|via the log 42\r\n")) << text;
}

}  // namespace
