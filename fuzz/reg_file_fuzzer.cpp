// The fuzzer's bytes as a .reg file, read by the simulated notebook's reader
// and imported into a simulated registry: whatever the file holds, the
// reading ends, touches no memory it should not, and either gives operations
// that each name a line of the text or refuses the text with an error that
// names the file and such a line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/os/reg_file.h"
#include "sim/os/sim_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Arvek;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A text has at most one line more than it has bytes.
    const auto lineOf = [size](int line) { return line >= 1 && static_cast<std::size_t>(line) <= size + 1; };
    try {
        const auto ops = Sim::ParseRegText(bytes, "fuzz.reg");
        for (const auto& op : ops)
            if (!lineOf(op.line)) __builtin_trap();
        Sim::SimRegistry registry;
        registry.Import(ops);
    } catch (const Sim::RegFileError& e) {
        const std::string prefix = "fuzz.reg:" + std::to_string(e.Line()) + ": ";
        if (!lineOf(e.Line()) || std::string_view(e.what()).substr(0, prefix.size()) != prefix) __builtin_trap();
    }
    return 0;
}
