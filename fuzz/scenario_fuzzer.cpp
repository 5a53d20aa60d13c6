// The fuzzer's bytes as a scenario file, read as tidewatch-sim reads one: the
// reading either gives a scenario or refuses the text with an error that
// names the file and the line; it never crashes, hangs or takes memory
// without bound. Files the scenario names are looked for in a folder that
// does not exist.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/machine/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const Arvek::Sim::Scenario scenario = Arvek::Sim::ParseScenario(text, "fuzz.scenario", "/nonexistent");
        for (const auto& entry : scenario.timeline) {
            if (!entry.stimulus) __builtin_trap();
            entry.stimulus->Describe();
        }
    } catch (const Arvek::Sim::ScenarioError& e) {
        if (std::string(e.what()).rfind("fuzz.scenario:", 0) != 0) __builtin_trap();
    }
    return 0;
}
