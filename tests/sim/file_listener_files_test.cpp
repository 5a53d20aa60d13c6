// The simulated notebook's files: the file port's contract, and how Windows
// paths map onto the host folder that holds its drive C:.
#include <gtest/gtest.h>

#include <atomic>

#include "common/strings.h"
#include "contract/files_contract.h"
#include "sim/os/sim_files.h"
#include "sim_fixture.h"

namespace Arvek::Testing {
namespace {

namespace fs = std::filesystem;

class SimFilesBackend final : public FilesContractBackend {
public:
    Ports::IFileSystem& Files() override { return m_files; }
    std::wstring ScratchFolder() override {
        const std::wstring path = L"C:\\scratch";
        EXPECT_TRUE(m_files.CreateFolder(path));
        return path;
    }
    fs::path HostPath(const std::wstring& path) override { return *m_files.HostPath(path); }

private:
    TempFolder m_folder;
    Sim::SimFileSystem m_files{m_folder.Path()};
};

std::unique_ptr<FilesContractBackend> MakeSimBackend() { return std::make_unique<SimFilesBackend>(); }

INSTANTIATE_TEST_SUITE_P(Sim, FilesContract, testing::Values(&MakeSimBackend),
                         [](const auto&) { return std::string("SimFileSystem"); });

TEST(SimFileSystem, MapsDriveCOntoTheHostFolderAndRefusesTheRest) {
    Sim::SimFileSystem files("/host/root");
    const struct {
        const wchar_t* path;
        std::optional<fs::path> host;
    } cases[] = {
        {L"C:\\Users\\user\\AppData\\Roaming", fs::path("/host/root/C/Users/user/AppData/Roaming")},
        {L"c:/Users//user\\.\\x.log", fs::path("/host/root/C/Users/user/x.log")},
        {L"C:\\", fs::path("/host/root/C")},
        {L"C:\\Users\\..\\..\\etc\\passwd", std::nullopt},
        {L"C:\\a\\..", std::nullopt},
        {L"D:\\Logs\\x.log", std::nullopt},
        {L"Users\\x.log", std::nullopt},
        {L"\\\\server\\share\\x.log", std::nullopt},
        {L"C:relative.log", std::nullopt},
        {L"C:\\a\\b:stream", std::nullopt},
        {L"C:\\a\\what?.log", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(c.host, files.HostPath(c.path)) << NarrowUtf8(c.path);
}

TEST(SimFileSystem, RefusedPathsFailEveryOperation) {
    TempFolder folder;
    Sim::SimFileSystem files(folder.Path());
    fs::create_directories(folder.Path() / "outside");
    const std::wstring escape = L"C:\\..\\outside\\x.log";
    EXPECT_FALSE(files.OpenTextForAppend(escape));
    EXPECT_FALSE(files.CreateFolder(L"C:\\..\\outside\\dir"));
    EXPECT_FALSE(files.GetFileInfo(L"C:\\..\\outside"));
    EXPECT_TRUE(files.FindFiles(L"C:\\..\\outside\\*").empty());
    EXPECT_FALSE(files.RenameFile(L"C:\\..\\outside\\x.log", L"C:\\x.log"));
    EXPECT_TRUE(fs::is_empty(folder.Path() / "outside"));
}

TEST(SimFileSystem, PatternsMatchLikeFindFirstFile) {
    const struct {
        const wchar_t* name;
        const wchar_t* pattern;
        bool matches;
    } cases[] = {
        {L"Tidewatch_0001.log", L"Tidewatch_*.log", true}, {L"TIDEWATCH_1.LOG", L"tidewatch_*.log", true},
        {L"Tidewatch_.log", L"Tidewatch_*.log", true},     {L"Tidewatch.log", L"Tidewatch_*.log", false},
        {L"Tidewatch_1.log.old", L"Tidewatch_*.log", false}, {L"a.log", L"?.log", true},
        {L"ab.log", L"?.log", false},                      {L"x_a_b.log", L"x*_*.log", true},
        {L"anything", L"*", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.matches, Sim::MatchesFilePattern(c.name, c.pattern)) << NarrowUtf8(c.name) << " ~ " << NarrowUtf8(c.pattern);
}

}  // namespace
}  // namespace Arvek::Testing
