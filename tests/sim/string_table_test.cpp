// The simulation's string table must say what the Windows program's resource
// script says, so a transcript shows the texts a user of the real program sees.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "common/strings.h"
#include "sim/sim_ports.h"

namespace {

// The English STRINGTABLE entries of a resource script: `id "text"` lines.
std::map<std::uint32_t, std::wstring> ReadStringTable(const std::string& path) {
    std::ifstream in(path);
    std::map<std::uint32_t, std::wstring> table;
    const std::regex entry(R"re(^\s*(\d+)\s+"((?:[^"]|"")*)")re");
    bool inTable = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("STRINGTABLE", 0) == 0) inTable = true;
        if (inTable && line.rfind("END", 0) == 0) inTable = false;
        std::smatch match;
        if (inTable && std::regex_search(line, match, entry))
            table[static_cast<std::uint32_t>(std::stoul(match[1]))] =
                Arvek::WidenUtf8(std::regex_replace(match[2].str(), std::regex("\"\""), "\""));
    }
    return table;
}

TEST(StringTable, SimulationMatchesTheResourceScript) {
    const auto script = ReadStringTable(ARVEK_SOURCE_DIR "/resources/tidewatch.rc");
    ASSERT_FALSE(script.empty());
    EXPECT_EQ(script, Arvek::Sim::SimResources::EnglishTable());
}

TEST(StringTable, LoadsCutToTheCallersBuffer) {
    Arvek::Sim::SimResources resources(1033);
    EXPECT_EQ(L"Arvek Notifications", resources.LoadText(500, 100));
    EXPECT_EQ(L"TIDE", resources.LoadText(505, 5));
    EXPECT_EQ(L"", resources.LoadText(505, 0));
    EXPECT_EQ(L"", resources.LoadText(499, 100));
}

}  // namespace
