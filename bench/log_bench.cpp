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
// The queued benchmarks measure a batch of calls plus the wait until the
// writer has written the last one, so that they report what the writer
// sustains, not how fast a queue grows; their counters (QueuedCosts) say what
// the calls cost the calling thread and what the writer spends. Each runs
// with bursts of 1000 lines, where the writer's start and the wait's last nap
// weigh on every burst, and with streams of 10,000, which come closer to the
// rate the writer keeps up.
//
// Every benchmark counts the allocations made while it runs (alloc_count.h):
// "allocs" per line on the calling thread, "allocs_all" on all threads (with
// the writer's).
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <spdlog/async.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

#include <time.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "alloc_count.h"
#include "shared/file_listener.h"
#include "shared/log.h"
#include "sim/machine/scenario.h"
#include "sim/os/sim_files.h"
#include "sim/os/sim_named_objects.h"
#include "sim/machine/sim_machine.h"

namespace {

using namespace Arvek;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kFunction = "BatteryMonitor::OnStatusChange";
constexpr const wchar_t* kFormat = L"Battery status changed: charge %d percent, AC adapter %d W, docking state %d";
constexpr const char* kSpdlogFormat = "Battery status changed: charge {} percent, AC adapter {} W, docking state {}";
constexpr const char* kSpdlogPattern = "%Y/%m/%d %H:%M:%S.%e|%8t|%-11l|BatteryMonitor::OnStatusChange|%v";
constexpr std::size_t kRotateBytes = 2048 * 1024;
constexpr std::size_t kKeptFiles = 9;
// Lines per batch of the queued benchmarks: a burst and a longer stream.
constexpr int kBurst = 1000;
constexpr int kStream = 10000;

// Allocations per line while it lives, on this thread and on all threads.
class AllocationCount {
public:
    AllocationCount() : m_thread(Bench::ThreadAllocations()), m_all(Bench::AllAllocations()) {}
    void Report(benchmark::State& state, std::int64_t lines) const {
        const double n = lines > 0 ? static_cast<double>(lines) : 1.0;
        state.counters["allocs"] = static_cast<double>(Bench::ThreadAllocations() - m_thread) / n;
        state.counters["allocs_all"] = static_cast<double>(Bench::AllAllocations() - m_all) / n;
    }

private:
    std::uint64_t m_thread;
    std::uint64_t m_all;
};

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
    Notebook(const std::string& what, bool queued, const char* minLevel = "Information")
        : folder(BenchFolder(what)),
          machine(Sim::ParseScenario(
                      "[machine]\n[registry]\nWindows Registry Editor Version 5.00\n\n"
                      "[HKEY_LOCAL_MACHINE\\Software\\Policies\\Arvek\\Tidewatch Application]\n"
                      "\"LoggingType\"=\"FILE\"\n\"MinLogLevel\"=\"" +
                          std::string(minLevel) + "\"\n\"QueuedWrites\"=dword:0000000" + std::string(queued ? "1" : "0") +
                          "\n",
                      "bench.scenario", folder),
                  folder),
          log(machine.Platform(), Shared::Error, Shared::Event) {}

    fs::path folder;
    Sim::SimMachine machine;
    Shared::CArvekLog log;
};

// The queued cases wait for their writer asleep, in short naps: a caller
// spinning on yield keeps one of the machine's two processors busy, and the
// writer then waits for the other one, shared with whatever else runs.
void Nap() { std::this_thread::sleep_for(std::chrono::microseconds(50)); }

void WaitUntilWritten(const Shared::CArvekLogListenerFile& listener) {
    while (listener.PendingRecords() != 0) Nap();
}

void WaitUntilWritten(Shared::CArvekLog& log) {
    WaitUntilWritten(*static_cast<Shared::CArvekLogListenerFile*>(log.FileListener()));
}

// Processor time of the process or of the calling thread, in nanoseconds.
double CpuNs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// What the queued benchmarks report besides the rate, per line or call:
// "call_ns", the calling thread's time in the calls (without the waits),
// "call_cpu_ns" its processor time there, and "writer_cpu_ns" the processor
// time of every other thread of the process (the writers). Processor times
// hold up better than times when others load the machine.
class QueuedCosts {
public:
    QueuedCosts() : m_process(CpuNs(CLOCK_PROCESS_CPUTIME_ID)), m_thread(CpuNs(CLOCK_THREAD_CPUTIME_ID)) {}
    void StartCalls() {
        m_start = Clock::now();
        m_startCpu = CpuNs(CLOCK_THREAD_CPUTIME_ID);
    }
    void EndCalls() {
        m_calls += Clock::now() - m_start;
        m_callCpu += CpuNs(CLOCK_THREAD_CPUTIME_ID) - m_startCpu;
    }
    void Report(benchmark::State& state, std::int64_t count) const {
        const double n = count > 0 ? static_cast<double>(count) : 1.0;
        const double others =
            (CpuNs(CLOCK_PROCESS_CPUTIME_ID) - m_process) - (CpuNs(CLOCK_THREAD_CPUTIME_ID) - m_thread);
        state.counters["call_ns"] =
            static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(m_calls).count()) / n;
        state.counters["call_cpu_ns"] = m_callCpu / n;
        state.counters["writer_cpu_ns"] = others / n;
    }

private:
    double m_process;
    double m_thread;
    Clock::time_point m_start{};
    double m_startCpu = 0;
    Clock::duration m_calls{};
    double m_callCpu = 0;
};

std::shared_ptr<spdlog::logger> Configure(std::shared_ptr<spdlog::logger> logger,
                                          spdlog::level::level_enum level = spdlog::level::info) {
    logger->set_pattern(kSpdlogPattern);
    logger->set_level(level);
    return logger;
}

// --- The call the level filters out ---------------------------------------

void BM_FilteredCall(benchmark::State& state) {
    Notebook notebook("filtered", false);
    int value = 0;
    const AllocationCount allocations;
    for (auto _ : state) {
        notebook.log.Log(Shared::Verbose, kFunction, kFormat, ++value, 65, 1);
        benchmark::ClobberMemory();  // the level is read again each time, as in real code
    }
    allocations.Report(state, state.iterations());
}
BENCHMARK(BM_FilteredCall);

void BM_SpdlogFilteredCall(benchmark::State& state) {
    auto logger = spdlog::rotating_logger_mt("filtered", (BenchFolder("spdlog-filtered") / "Tidewatch.log").string(),
                                             kRotateBytes, kKeptFiles);
    logger->set_level(spdlog::level::info);
    int value = 0;
    const AllocationCount allocations;
    for (auto _ : state) {
        logger->debug(kSpdlogFormat, ++value, 65, 1);
        benchmark::ClobberMemory();
    }
    allocations.Report(state, state.iterations());
    spdlog::drop("filtered");
}
BENCHMARK(BM_SpdlogFilteredCall);

// --- The formatter and the record's line ----------------------------------

// The message alone, as every log call formats it: into the log's buffer.
void BM_FormatMessage(benchmark::State& state) {
    wchar_t buffer[Shared::CArvekLog::kMessageBufferSize];
    int value = 0;
    const AllocationCount allocations;
    for (auto _ : state) {
        const FormatArg args[] = {++value % 100, 65, 1};
        benchmark::DoNotOptimize(FormatToBuffer(buffer, std::size(buffer) - 1, kFormat, args));
        benchmark::ClobberMemory();
    }
    allocations.Report(state, state.iterations());
}
BENCHMARK(BM_FormatMessage);

// The same message through Arvek::Format, which returns a new string, as
// the programs' own messages (dialog texts, event-log strings) are made.
void BM_FormatToString(benchmark::State& state) {
    int value = 0;
    const AllocationCount allocations;
    for (auto _ : state) benchmark::DoNotOptimize(Format(kFormat, ++value % 100, 65, 1));
    allocations.Report(state, state.iterations());
}
BENCHMARK(BM_FormatToString);

// spdlog's formatter (fmt) with the same message into a memory buffer.
void BM_FmtFormatMessage(benchmark::State& state) {
    int value = 0;
    const AllocationCount allocations;
    for (auto _ : state) {
        fmt::memory_buffer buffer;
        fmt::format_to(std::back_inserter(buffer), kSpdlogFormat, ++value % 100, 65, 1);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    allocations.Report(state, state.iterations());
}
BENCHMARK(BM_FmtFormatMessage);

// A record and its line, from the function name, the message, the time and
// the thread id: what the log call builds for its listeners.
void BM_BuildLine(benchmark::State& state) {
    const std::wstring message = Format(kFormat, 87, 65, 1);
    const Ports::SystemTime time{2026, 12, 3, 9, 1, 58, 47, 123};
    std::size_t bytes = 0;
    const AllocationCount allocations;
    for (auto _ : state) {
        Shared::CArvekLogListener::LogData data(Shared::Information, kFunction, message, time, 0x1A2C);
        bytes += data.GetLine().size();
        benchmark::DoNotOptimize(data.GetLine().data());
    }
    state.SetItemsProcessed(state.iterations());
    allocations.Report(state, state.iterations());
    benchmark::DoNotOptimize(bytes);
}
BENCHMARK(BM_BuildLine);

// --- Lines into the rotating file -----------------------------------------

void BM_DirectFileListener(benchmark::State& state) {
    Notebook notebook("direct", false);
    int value = 0;
    const AllocationCount allocations;
    for (auto _ : state) notebook.log.Log(Shared::Information, kFunction, kFormat, ++value % 100, 65, 1);
    state.SetItemsProcessed(state.iterations());
    allocations.Report(state, state.iterations());
}
BENCHMARK(BM_DirectFileListener)->UseRealTime();

void BM_QueuedFileListener(benchmark::State& state) {
    const int batch = static_cast<int>(state.range(0));
    Notebook notebook("queued", true);
    int value = 0;
    QueuedCosts costs;
    const AllocationCount allocations;
    for (auto _ : state) {
        costs.StartCalls();
        for (int i = 0; i < batch; ++i) notebook.log.Log(Shared::Information, kFunction, kFormat, ++value % 100, 65, 1);
        costs.EndCalls();
        WaitUntilWritten(notebook.log);
    }
    state.SetItemsProcessed(state.iterations() * batch);
    costs.Report(state, state.iterations() * batch);
    allocations.Report(state, state.iterations() * batch);
}
BENCHMARK(BM_QueuedFileListener)->Arg(kBurst)->Arg(kStream)->UseRealTime();

// The listeners alone: a record whose line is built already (as when another
// listener asked for it first), straight to the listener, without the log's
// formatting, clock and thread id. What the file machinery itself sustains.
struct ListenerOnly {
    explicit ListenerOnly(const std::string& what, bool queued)
        : files(BenchFolder(what)),
          listener(Shared::Information, queued, Keys(), files, namedObjects),
          record(Shared::Information, kFunction, Format(kFormat, 87, 65, 1), Ports::SystemTime{2026, 12, 3, 9, 1, 58, 47, 123},
                 0x1A2C) {}
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
    const AllocationCount allocations;
    for (auto _ : state) only.listener.Log(only.record);
    state.SetItemsProcessed(state.iterations());
    allocations.Report(state, state.iterations());
}
BENCHMARK(BM_DirectListenerPrebuiltLine)->UseRealTime();

void BM_QueuedListenerPrebuiltLine(benchmark::State& state) {
    const int batch = static_cast<int>(state.range(0));
    ListenerOnly only("queued-only", true);
    QueuedCosts costs;
    const AllocationCount allocations;
    for (auto _ : state) {
        costs.StartCalls();
        for (int i = 0; i < batch; ++i) only.listener.Log(only.record);
        costs.EndCalls();
        WaitUntilWritten(only.listener);
    }
    state.SetItemsProcessed(state.iterations() * batch);
    costs.Report(state, state.iterations() * batch);
    allocations.Report(state, state.iterations() * batch);
}
BENCHMARK(BM_QueuedListenerPrebuiltLine)->Arg(kBurst)->Arg(kStream)->UseRealTime();

void BM_SpdlogRotatingSync(benchmark::State& state) {
    auto logger = Configure(spdlog::rotating_logger_mt(
        "sync", (BenchFolder("spdlog-sync") / "Tidewatch.log").string(), kRotateBytes, kKeptFiles));
    int value = 0;
    const AllocationCount allocations;
    for (auto _ : state) logger->info(kSpdlogFormat, ++value % 100, 65, 1);
    logger->flush();
    state.SetItemsProcessed(state.iterations());
    allocations.Report(state, state.iterations());
    spdlog::drop("sync");
}
BENCHMARK(BM_SpdlogRotatingSync)->UseRealTime();

void BM_SpdlogRotatingAsync(benchmark::State& state) {
    const int batch = static_cast<int>(state.range(0));
    spdlog::init_thread_pool(8192, 1);
    auto logger = Configure(spdlog::rotating_logger_mt<spdlog::async_factory>(
        "async", (BenchFolder("spdlog-async") / "Tidewatch.log").string(), kRotateBytes, kKeptFiles));
    int value = 0;
    QueuedCosts costs;
    const AllocationCount allocations;
    for (auto _ : state) {
        costs.StartCalls();
        for (int i = 0; i < batch; ++i) logger->info(kSpdlogFormat, ++value % 100, 65, 1);
        costs.EndCalls();
        while (spdlog::thread_pool()->queue_size() != 0) Nap();
    }
    state.SetItemsProcessed(state.iterations() * batch);
    costs.Report(state, state.iterations() * batch);
    allocations.Report(state, state.iterations() * batch);
    spdlog::drop("async");
}
BENCHMARK(BM_SpdlogRotatingAsync)->Arg(kBurst)->Arg(kStream)->UseRealTime();

// --- A traced function -----------------------------------------------------
//
// What support engineers see when they turn the file log to TraceIn: every
// function of the agent logs its entry and its exit. One call of a traced
// function, through the process's log (GetLog) with queued writes, next to
// spdlog's synchronous sink writing the same two lines. Items are calls; two
// lines each.

__attribute__((noinline)) void TracedFunction() {
    Shared::CArvekLogTrace trace(kFunction);
    benchmark::ClobberMemory();
}

// The process's log is made once, on first use, from the platform named
// before it; this notebook lives as long as the process's log does.
Shared::CArvekLog& ProcessLogAtTraceIn() {
    static Notebook* const notebook = [] {
        auto* made = new Notebook("traced", true, "TraceIn");
        Shared::SetProcessPlatform(made->machine.Platform());
        return made;
    }();
    (void)notebook;
    return Shared::GetLog();
}

void BM_TracedFunctionQueued(benchmark::State& state) {
    const int calls = static_cast<int>(state.range(0)) / 2;  // two lines each
    Shared::CArvekLog& log = ProcessLogAtTraceIn();
    if (!log.IsEnabled(Shared::TraceIn) || !log.FileListener()) {
        state.SkipWithError("the process's log was made before the traced notebook");
        return;
    }
    QueuedCosts costs;
    const AllocationCount allocations;
    for (auto _ : state) {
        costs.StartCalls();
        for (int i = 0; i < calls; ++i) TracedFunction();
        costs.EndCalls();
        WaitUntilWritten(log);
    }
    state.SetItemsProcessed(state.iterations() * calls);
    costs.Report(state, state.iterations() * calls);
    allocations.Report(state, state.iterations() * calls * 2);
}
BENCHMARK(BM_TracedFunctionQueued)->Arg(kBurst)->Arg(kStream)->UseRealTime();

void BM_SpdlogTracedFunctionSync(benchmark::State& state) {
    auto logger = Configure(spdlog::rotating_logger_mt("traced", (BenchFolder("spdlog-traced") / "Tidewatch.log").string(),
                                                       kRotateBytes, kKeptFiles),
                            spdlog::level::trace);
    auto traced = [&logger] {
        logger->trace("");
        benchmark::ClobberMemory();
        logger->debug("");
    };
    const AllocationCount allocations;
    for (auto _ : state) traced();
    logger->flush();
    state.SetItemsProcessed(state.iterations());
    allocations.Report(state, state.iterations() * 2);
    spdlog::drop("traced");
}
BENCHMARK(BM_SpdlogTracedFunctionSync)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
