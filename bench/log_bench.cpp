// What a log call costs, from the call that the level filters out to a line
// in the rotating file, next to spdlog's rotating file sink doing the same.
//
// Every logging benchmark makes the same record: the function name
// "BatteryMonitor::OnStatusChange" and the message
// "Battery status changed: charge 87 percent, AC adapter 65 W, docking state 1"
// (formatted from three numbers each time): lines of 151 characters in our
// format and in the spdlog pattern used below, which copies ours, plus the
// line end (CR LF in ours, LF in spdlog's).
// Both write to the same folder, rotate at 2 MiB and keep nine old files.
//
// Our listeners run on the simulated notebook (its file system and its
// host-wide "Global\" mutex), through the whole CArvekLog::Log path:
// formatting, the clock, the thread id, the record and the listener.
//
// The queued benchmarks measure a batch of 1000 calls plus the wait until
// the writer has taken the last one from the queue, so that they report what
// the writer sustains, not how fast a queue grows.
#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "shared/file_listener.h"
#include "shared/log.h"
#include "sim/machine/scenario.h"
#include "sim/os/sim_files.h"
#include "sim/os/sim_named_objects.h"
#include "sim/machine/sim_machine.h"

namespace {

using namespace Arvek;
namespace fs = std::filesystem;

constexpr const char* kFunction = "BatteryMonitor::OnStatusChange";
constexpr const wchar_t* kFormat = L"Battery status changed: charge %d percent, AC adapter %d W, docking state %d";
constexpr const char* kSpdlogFormat = "Battery status changed: charge {} percent, AC adapter {} W, docking state {}";
constexpr std::size_t kRotateBytes = 2048 * 1024;
constexpr std::size_t kKeptFiles = 9;
constexpr int kBatch = 1000;

// A temporary folder for the run, removed at the end.
struct BenchRoot {
    BenchRoot() {
        std::random_device random;
        path = fs::temp_directory_path() / ("arvek-bench-" + std::to_string(random()));
        fs::create_directories(path);
    }
    ~BenchRoot() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

fs::path BenchFolder(const std::string& what) {
    static const BenchRoot root;
    const fs::path folder = root.path / what;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// A simulated notebook whose policy turns the file log on.
struct Notebook {
    explicit Notebook(const std::string& what, bool queued)
        : folder(BenchFolder(what)),
          machine(Sim::ParseScenario(
                      "[machine]\n[registry]\nWindows Registry Editor Version 5.00\n\n"
                      "[HKEY_LOCAL_MACHINE\\Software\\Policies\\Arvek\\Tidewatch Application]\n"
                      "\"LoggingType\"=\"FILE\"\n\"MinLogLevel\"=\"Information\"\n\"QueuedWrites\"=dword:0000000" +
                          std::string(queued ? "1" : "0") + "\n",
                      "bench.scenario", folder),
                  folder),
          log(machine.Platform(), Shared::Error, Shared::Event) {}

    fs::path folder;
    Sim::SimMachine machine;
    Shared::CArvekLog log;
};

void WaitUntilWritten(Shared::CArvekLog& log) {
    auto* listener = static_cast<Shared::CArvekLogListenerFile*>(log.FileListener());
    while (listener->PendingRecords() != 0) std::this_thread::yield();
}

// --- The call the level filters out ---------------------------------------

void BM_FilteredCall(benchmark::State& state) {
    Notebook notebook("filtered", false);
    int value = 0;
    for (auto _ : state) {
        notebook.log.Log(Shared::Verbose, kFunction, kFormat, ++value, 65, 1);
        benchmark::ClobberMemory();  // the level is read again each time, as in real code
    }
}
BENCHMARK(BM_FilteredCall);

void BM_SpdlogFilteredCall(benchmark::State& state) {
    auto logger = spdlog::rotating_logger_mt("filtered", (BenchFolder("spdlog-filtered") / "Tidewatch.log").string(),
                                             kRotateBytes, kKeptFiles);
    logger->set_level(spdlog::level::info);
    int value = 0;
    for (auto _ : state) {
        logger->debug(kSpdlogFormat, ++value, 65, 1);
        benchmark::ClobberMemory();
    }
    spdlog::drop("filtered");
}
BENCHMARK(BM_SpdlogFilteredCall);

// --- Building a record's line ---------------------------------------------

void BM_BuildLine(benchmark::State& state) {
    const std::wstring message =
        Format(kFormat, 87, 65, 1);
    const Ports::SystemTime time{2026, 12, 3, 9, 1, 58, 47, 123};
    std::size_t bytes = 0;
    for (auto _ : state) {
        Shared::CArvekLogListener::LogData data(Shared::Information, kFunction, message, time, 0x1A2C);
        bytes += data.GetLine().size();
        benchmark::DoNotOptimize(data.GetLine().data());
    }
    state.SetItemsProcessed(state.iterations());
    benchmark::DoNotOptimize(bytes);
}
BENCHMARK(BM_BuildLine);

// --- Lines into the rotating file -----------------------------------------

void BM_DirectFileListener(benchmark::State& state) {
    Notebook notebook("direct", false);
    int value = 0;
    for (auto _ : state) notebook.log.Log(Shared::Information, kFunction, kFormat, ++value % 100, 65, 1);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DirectFileListener)->UseRealTime();

void BM_QueuedFileListener(benchmark::State& state) {
    Notebook notebook("queued", true);
    int value = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) notebook.log.Log(Shared::Information, kFunction, kFormat, ++value % 100, 65, 1);
        WaitUntilWritten(notebook.log);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_QueuedFileListener)->UseRealTime();

// The listeners alone: a record whose line is built already (as when another
// listener asked for it first), straight to the listener, without the log's
// formatting, clock and thread id. What the file machinery itself sustains.
struct ListenerOnly {
    explicit ListenerOnly(const std::string& what, bool queued)
        : files(BenchFolder(what)),
          listener(Shared::Information, queued, Keys(), files, namedObjects),
          record(Shared::Information, kFunction, Format(kFormat, 87, 65, 1), Ports::SystemTime{2026, 12, 3, 9, 1, 58, 47, 123},
                 0x1A2C) {
        record.GetLine();
    }
    static Shared::LogConfigKeys Keys() {
        Shared::LogConfigKeys keys;
        keys.programName = L"Tidewatch";
        return keys;
    }
    Sim::SimFileSystem files;
    Sim::SimNamedObjects namedObjects;
    Shared::CArvekLogListenerFile listener;
    Shared::CArvekLogListener::LogData record;
};

void BM_DirectListenerPrebuiltLine(benchmark::State& state) {
    ListenerOnly only("direct-only", false);
    for (auto _ : state) only.listener.Log(only.record);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DirectListenerPrebuiltLine)->UseRealTime();

void BM_QueuedListenerPrebuiltLine(benchmark::State& state) {
    ListenerOnly only("queued-only", true);
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) only.listener.Log(only.record);
        while (only.listener.PendingRecords() != 0) std::this_thread::yield();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_QueuedListenerPrebuiltLine)->UseRealTime();

std::shared_ptr<spdlog::logger> Configure(std::shared_ptr<spdlog::logger> logger) {
    logger->set_pattern("%Y/%m/%d %H:%M:%S.%e|%8t|%-11l|BatteryMonitor::OnStatusChange|%v");
    logger->set_level(spdlog::level::info);
    return logger;
}

void BM_SpdlogRotatingSync(benchmark::State& state) {
    auto logger = Configure(spdlog::rotating_logger_mt(
        "sync", (BenchFolder("spdlog-sync") / "Tidewatch.log").string(), kRotateBytes, kKeptFiles));
    int value = 0;
    for (auto _ : state) logger->info(kSpdlogFormat, ++value % 100, 65, 1);
    logger->flush();
    state.SetItemsProcessed(state.iterations());
    spdlog::drop("sync");
}
BENCHMARK(BM_SpdlogRotatingSync)->UseRealTime();

void BM_SpdlogRotatingAsync(benchmark::State& state) {
    spdlog::init_thread_pool(8192, 1);
    auto logger = Configure(spdlog::rotating_logger_mt<spdlog::async_factory>(
        "async", (BenchFolder("spdlog-async") / "Tidewatch.log").string(), kRotateBytes, kKeptFiles));
    int value = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) logger->info(kSpdlogFormat, ++value % 100, 65, 1);
        while (spdlog::thread_pool()->queue_size() != 0) std::this_thread::yield();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    spdlog::drop("async");
}
BENCHMARK(BM_SpdlogRotatingAsync)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
