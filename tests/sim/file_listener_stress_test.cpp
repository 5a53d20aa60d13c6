// Several processes write one log file at once, through direct and queued
// listeners, with a size limit so small that the file rotates all the time.
// Every line any of them wrote must be found exactly once, whole, in the log
// files or in the files the rotations deleted (the writers keep a hard link
// of each, see log_stress_writer.cpp), and each writer's lines in order.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim_fixture.h"
#include "tools/stress_lines.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace Stress = Arvek::Testing::Stress;
using Arvek::Testing::TempFolder;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long kLines = 1500;  // per stream and writer; sanitizers are slow
#else
constexpr long kLines = 5000;
#endif

fs::path WriterProgram() { return fs::read_symlink("/proc/self/exe").parent_path() / "log_stress_writer"; }

class LogStress : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(WriterProgram())) << WriterProgram() << " is built with the tests (tests/tools)";
        fs::create_directories(archive);
    }

    pid_t Start(int writer, long direct, long queued, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {WriterProgram().string(), "--program", program, "--writer",
                                         std::to_string(writer), "--direct", std::to_string(direct), "--queued",
                                         std::to_string(queued), "--max-kib", "4", "--root", folder.Path().string(),
                                         "--archive", archive.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(0, ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ));
        return pid;
    }

    static int Wait(pid_t pid) {
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    fs::path LogFolder() const { return folder.Path() / "C/Users/user/AppData/Roaming/arqLog"; }

    Stress::Report Collect() const { return Stress::CollectRun(LogFolder(), program, archive); }

    static void ExpectNoProblems(const std::vector<std::string>& problems) {
        for (std::size_t i = 0; i < problems.size() && i < 20; ++i) ADD_FAILURE() << problems[i];
        EXPECT_TRUE(problems.empty()) << problems.size() << " problems";
    }

    const std::string program = "Stress" + std::to_string(::getpid());
    TempFolder folder;
    fs::path archive = folder.Path() / "deleted";
};

TEST_F(LogStress, FourProcessesRotatingAllTheTimeLoseAndTearNothing) {
    constexpr int kWriters = 4;
    std::vector<pid_t> writers;
    for (int w = 1; w <= kWriters; ++w) writers.push_back(Start(w, kLines, kLines));
    for (pid_t pid : writers) EXPECT_EQ(0, Wait(pid));

    const Stress::Report report = Collect();
    ExpectNoProblems(report.problems);
    for (int w = 1; w <= kWriters; ++w)
        for (char stream : {'d', 'q'}) ExpectNoProblems(Stress::CheckComplete(report, w, stream, kLines));
    ExpectNoProblems(Stress::CheckOrderWithinFiles(report));
    // The limit is 4 KiB: the file rotated hundreds of times and the oldest
    // files were deleted all along.
    EXPECT_GT(std::distance(fs::directory_iterator(archive), fs::directory_iterator()), 50);
}

TEST_F(LogStress, AWriterKilledInTheMiddleOfABatchHarmsNothing) {
    // The victim stops writing after 1000 queued lines, in the middle of a
    // batch, holding the log's mutex; it is killed there. The others are
    // waiting for the mutex at that moment and take it over, abandoned.
    constexpr long kVictimLines = 1000;
    const fs::path ready = folder.Path() / "victim-holds-the-mutex";
    std::vector<pid_t> others;
    const pid_t victim = Start(9, 0, kLines * 100, {"--block-after", std::to_string(kVictimLines), "--ready", ready.string()});
    for (int w = 1; w <= 3; ++w) others.push_back(Start(w, kLines, kLines));

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!fs::exists(ready) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(fs::exists(ready));
    ::kill(victim, SIGKILL);
    EXPECT_EQ(128 + SIGKILL, Wait(victim));
    for (pid_t pid : others) EXPECT_EQ(0, Wait(pid));

    const Stress::Report report = Collect();
    ExpectNoProblems(report.problems);
    for (int w = 1; w <= 3; ++w)
        for (char stream : {'d', 'q'}) ExpectNoProblems(Stress::CheckComplete(report, w, stream, kLines));
    // Everything the victim had written before it stopped is there, once.
    ExpectNoProblems(Stress::CheckComplete(report, 9, 'q', kVictimLines));
    EXPECT_EQ(report.count.end(), report.count.find({9, 'q', kVictimLines}));
    ExpectNoProblems(Stress::CheckOrderWithinFiles(report));
}

}  // namespace
