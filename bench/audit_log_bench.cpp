// Benchmarks of the audit log's mirroring on the simulated notebook: a run
// over 10,000 and 100,000 entries the event log does not hold yet, a run
// over 100,000 entries it holds all of, and the key table's build from
// 100,000 stored events; next to them, the simulated event log's own write
// of the same events, the part of a run that is not ours.
//
// The process's log is as on a notebook without a logging policy (errors to
// the event log only): the mirroring's Information lines are filtered out.
// A program of its own, so that no other benchmark's log settings reach it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "agent/audit_log/tarnwall_log.h"
#include "agent/core/globals.h"
#include "sim/machine/scenario.h"
#include "sim/machine/sim_machine.h"
#include "tolm/xml_document.h"

namespace {

using Notifications::ArvekWmiEvents::CTarnwallLog;
using Notifications::ArvekWmiEvents::kTarnwallSource;
using Notifications::ArvekWmiEvents::TarnwallEntry;
using Notifications::ArvekWmiEvents::TarnwallMessage;
using Notifications::Tidewatch::AgentGlobals;

// An audit log of `count` entries of the size the firmware writes them.
std::wstring AuditLog(int count) {
    std::wstring xml = L"<AuditLog>";
    for (int i = 0; i < count; ++i) {
        xml += L"<Entry><timestamp>2026-12-10T08:15:" + std::to_wstring(i) +
               L"Z</timestamp><source>EC</source><event_id>" + std::to_wstring(i % 60) +
               L"</event_id><description>Boot block restored after an intrusion was detected</description>"
               L"<logtype>WARN</logtype></Entry>";
    }
    return xml + L"</AuditLog>";
}

TarnwallEntry EntryOf(int i) {
    return {L"2026-12-10T08:15:" + std::to_wstring(i) + L"Z", L"EC", std::to_wstring(i % 60),
            L"Boot block restored after an intrusion was detected", L"WARN"};
}

// A notebook of its own for each measured run: its event log holds what the
// run wrote.
struct Notebook {
    Notebook() : machine(Arvek::Sim::ParseScenario("", "bench.scenario", Root()), Root()) {}
    static std::filesystem::path Root() {
        static const std::filesystem::path root = [] {
            auto path = std::filesystem::temp_directory_path() / "arvek-audit-log-bench";
            std::filesystem::create_directories(path);
            return path;
        }();
        return root;
    }
    Arvek::Ports::Platform& Platform() { return machine.Platform(); }
    Arvek::Sim::SimMachine machine;
};

void Mirror(CTarnwallLog& log, Arvek::Ports::Platform& platform, const std::wstring& xml) {
    Arvek::Tolm::CXmlDocument document(platform.xml);
    document.LoadXml(xml);
    log.AddLogsToEventViewer(document);
}

// A run over entries the event log does not hold: fetch aside, the whole
// walk (parsing included), a key look-up, a write and a key each.
void BM_MirrorNewEntries(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::wstring xml = AuditLog(count);
    for (auto _ : state) {
        state.PauseTiming();
        auto notebook = std::make_unique<Notebook>();
        auto globals = std::make_unique<AgentGlobals>();
        CTarnwallLog log(notebook->Platform(), *globals);
        state.ResumeTiming();
        Mirror(log, notebook->Platform(), xml);
        state.PauseTiming();
        if (notebook->machine.EventLog().Records(L"Application").size() != static_cast<std::size_t>(count))
            state.SkipWithError("not every entry was written");
        notebook.reset();
        globals.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_MirrorNewEntries)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same run when the event log holds every entry already: a look-up each.
void BM_MirrorKnownEntries(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::wstring xml = AuditLog(count);
    Notebook notebook;
    AgentGlobals globals;
    CTarnwallLog log(notebook.Platform(), globals);
    Mirror(log, notebook.Platform(), xml);
    for (auto _ : state) Mirror(log, notebook.Platform(), xml);
    if (notebook.machine.EventLog().Records(L"Application").size() != static_cast<std::size_t>(count))
        state.SkipWithError("a known entry was written again");
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_MirrorKnownEntries)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The key table from the event log at start-up: read back newest first in
// 64 KiB reads, each record parsed and keyed.
void BM_KeyTableBuild(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Notebook notebook;
    for (int i = 0; i < count; ++i)
        notebook.machine.EventLog().Add(L"Application", {kTarnwallSource, 2, 0, static_cast<std::uint32_t>(i % 60),
                                                         {TarnwallMessage(EntryOf(i))}});
    for (auto _ : state) {
        state.PauseTiming();
        auto globals = std::make_unique<AgentGlobals>();
        state.ResumeTiming();
        CTarnwallLog(notebook.Platform(), *globals).ThreadProcCreateHashKeysForTarnwallEventLogs();
        state.PauseTiming();
        if (globals->g_tarnwallLogKeys.size() != static_cast<std::size_t>(count))
            state.SkipWithError("not every stored event was keyed");
        globals.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_KeyTableBuild)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The peer: the simulated event log writing the same events through a
// registered source, as each write of a run does; what a run over new
// entries costs beyond this is the mirroring's own.
void BM_SimulatedWrites(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::vector<std::wstring> messages;
    for (int i = 0; i < count; ++i) messages.push_back(TarnwallMessage(EntryOf(i)));
    for (auto _ : state) {
        state.PauseTiming();
        auto notebook = std::make_unique<Notebook>();
        state.ResumeTiming();
        for (int i = 0; i < count; ++i) {
            const auto source = notebook->machine.EventLog().RegisterSource(kTarnwallSource);
            source->Report(2, 0, static_cast<std::uint32_t>(i % 60), {messages[static_cast<std::size_t>(i)]});
        }
        state.PauseTiming();
        notebook.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_SimulatedWrites)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
