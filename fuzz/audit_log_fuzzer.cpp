// The fuzzer's bytes as the text of the "EmbeddedController.AuditLog"
// answer, mirrored by CTarnwallLog::AddLogsToEventViewer through the
// simulated XML DOM into an event log that only counts: whatever the
// firmware says, the walk ends, touches no memory it should not, writes each
// entry at most once, writes every message whole in one insertion string,
// and a second pass over the same text writes nothing.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "agent/audit_log/tarnwall_log.h"
#include "agent/core/globals.h"
#include "common/strings.h"
#include "sim/machine/scenario.h"
#include "sim/machine/sim_machine.h"
#include "tolm/xml_document.h"

namespace {

// ReportEventW takes no insertion string longer than this.
constexpr std::size_t kLongestInsertion = 31839;

class CountingEventLog final : public Arvek::Ports::IEventLog {
public:
    std::unique_ptr<Arvek::Ports::IEventSource> RegisterSource(const std::wstring&) override {
        return std::make_unique<Source>(*this);
    }
    std::uint32_t OpenLog(const std::wstring&, std::unique_ptr<Arvek::Ports::IEventLogReader>& log) override {
        log.reset();
        return 5;
    }
    std::set<std::string> keys;  // of what was written
    std::size_t written = 0;

private:
    struct Source final : Arvek::Ports::IEventSource {
        explicit Source(CountingEventLog& log) : log(log) {}
        std::uint32_t Report(std::uint16_t, std::uint16_t, std::uint32_t eventId,
                             const std::vector<std::wstring>& strings) override {
            using namespace Notifications::ArvekWmiEvents;
            if (strings.size() != 1 || strings[0].size() > kLongestInsertion) __builtin_trap();
            const auto timestamp = TimestampOfDescription(strings[0]);
            if (!timestamp) __builtin_trap();
            // The same key twice would be the same entry written again; a
            // timestamp holding a "\r\nTimestamp: " line of its own reads
            // back otherwise (and is the one text that may).
            const std::wstring upper = Arvek::ToUpperInvariant(strings[0]);
            const std::size_t line = upper.find(L"\r\nTIMESTAMP: ");
            const bool plain = upper.find(L"\r\nTIMESTAMP: ", line + 1) == std::wstring::npos;
            if (plain && !log.keys.insert(TarnwallKey(*timestamp, static_cast<std::int32_t>(eventId))).second)
                __builtin_trap();
            ++log.written;
            return 0;
        }
        CountingEventLog& log;
    };
};

Arvek::Sim::SimMachine& Machine() {
    static const std::filesystem::path root = std::filesystem::temp_directory_path() / "arvek-audit-log-fuzzer";
    static Arvek::Sim::SimMachine machine(Arvek::Sim::ParseScenario("", "fuzz.scenario", root), root);
    return machine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Arvek;
    Ports::Platform& sim = Machine().Platform();
    CountingEventLog eventLog;
    Ports::Platform platform{sim.registry, sim.process,  sim.clock,     sim.files,   sim.namedObjects,
                             eventLog,     sim.debugOutput, sim.console, sim.windowing, sim.resources,
                             sim.com,      sim.tolm,     sim.xml,       sim.wmi,     sim.toasts,
                             sim.shell,    sim.devices,  sim.threads,   sim.wmiEvents, sim.dialogs};
    Notifications::Tidewatch::AgentGlobals globals;
    Notifications::ArvekWmiEvents::CTarnwallLog log(platform, globals);

    const std::wstring text = WidenUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    for (int pass = 0; pass < 2; ++pass) {
        Tolm::CXmlDocument document(platform.xml);
        document.LoadXml(text);
        const std::size_t before = eventLog.written;
        log.AddLogsToEventViewer(document);
        if (pass == 1 && eventLog.written != before) __builtin_trap();
    }
    return 0;
}
