// portolan-sim: runs the Portolan viewer's port query on a simulated Arvek
// notebook described by a scenario file and prints its dialog as text.
//
//   portolan-sim SCENARIO
//
// The user's language is the one of the environment (LC_ALL, LC_MESSAGES,
// LANG, the first one set) when it names a language the programs know of,
// else the scenario's `language`. The exit code is 0, 2 when the scenario
// cannot be used, 1 when the query itself raised an error (out of memory).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/strings.h"
#include "shared/log.h"
#include "sim/os/reg_file.h"
#include "sim/machine/scenario.h"
#include "sim/machine/sim_machine.h"
#include "tolm/usbc_bios_info.h"
#include "viewer/port_table.h"

namespace fs = std::filesystem;

namespace {

// A POSIX locale name ("de_DE.UTF-8", "sr_RS@latin", "pt_BR") as a Windows
// language id: the exact language and territory when known, else the
// language's main territory. Nothing for "C", "POSIX" or an unknown language.
std::optional<std::uint16_t> LanguageFromLocale(std::string_view locale) {
    std::string_view script;
    if (const auto at = locale.find('@'); at != std::string_view::npos) {
        script = locale.substr(at + 1);
        locale = locale.substr(0, at);
    }
    if (const auto dot = locale.find('.'); dot != std::string_view::npos) locale = locale.substr(0, dot);
    std::string_view language = locale;
    std::string_view territory;
    if (const auto bar = locale.find_first_of("_-"); bar != std::string_view::npos) {
        language = locale.substr(0, bar);
        territory = locale.substr(bar + 1);
    }

    struct Exact {
        std::string_view language, territory, script;
        std::uint16_t id;
    };
    static constexpr Exact kExact[] = {
        {"zh", "TW", "", 0x0404}, {"zh", "HK", "", 0x0C04}, {"zh", "MO", "", 0x1404}, {"zh", "CN", "", 0x0804},
        {"zh", "SG", "", 0x1004}, {"pt", "BR", "", 0x0416}, {"pt", "PT", "", 0x0816}, {"en", "GB", "", 0x0809},
        {"en", "AU", "", 0x0C09}, {"en", "CA", "", 0x1009}, {"fr", "CA", "", 0x0C0C}, {"fr", "BE", "", 0x080C},
        {"fr", "CH", "", 0x100C}, {"de", "AT", "", 0x0C07}, {"de", "CH", "", 0x0807}, {"es", "MX", "", 0x080A},
        {"nl", "BE", "", 0x0813}, {"sr", "RS", "latin", 0x241A}, {"sr", "RS", "", 0x281A},
        {"sr", "", "latin", 0x241A},
    };
    for (const auto& entry : kExact)
        if (entry.language == language && (entry.territory.empty() || entry.territory == territory) &&
            entry.script == script)
            return entry.id;

    struct Primary {
        std::string_view language;
        std::uint16_t id;
    };
    static constexpr Primary kPrimary[] = {
        {"ar", 0x0401}, {"bg", 0x0402}, {"ca", 0x0403}, {"zh", 0x0804}, {"cs", 0x0405}, {"da", 0x0406},
        {"de", 0x0407}, {"el", 0x0408}, {"en", 0x0409}, {"es", 0x0C0A}, {"fi", 0x040B}, {"fr", 0x040C},
        {"he", 0x040D}, {"hu", 0x040E}, {"it", 0x0410}, {"ja", 0x0411}, {"ko", 0x0412}, {"nl", 0x0413},
        {"nb", 0x0414}, {"no", 0x0414}, {"pl", 0x0415}, {"pt", 0x0416}, {"ro", 0x0418}, {"ru", 0x0419},
        {"hr", 0x041A}, {"sk", 0x041B}, {"sv", 0x041D}, {"th", 0x041E}, {"tr", 0x041F}, {"uk", 0x0422},
        {"sl", 0x0424}, {"et", 0x0425}, {"lv", 0x0426}, {"lt", 0x0427}, {"sr", 0x281A},
    };
    for (const auto& entry : kPrimary)
        if (entry.language == language) return entry.id;
    return std::nullopt;
}

// The language the user's environment asks for, as setlocale would pick it.
std::optional<std::uint16_t> EnvironmentLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return LanguageFromLocale(value);
    }
    return std::nullopt;
}

// Columns a character takes in a terminal: two for the wide East Asian
// scripts, one for everything else the string table holds.
int CharacterColumns(wchar_t c) {
    const auto u = static_cast<std::uint32_t>(c);
    const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                      (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                      (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                      (u >= 0xFFE0 && u <= 0xFFE6);
    return wide ? 2 : 1;
}

int TextColumns(const std::wstring& text) {
    int columns = 0;
    for (wchar_t c : text) columns += CharacterColumns(c);
    return columns;
}

void PrintRow(const std::wstring& feature, const std::wstring& status, int featureColumns) {
    std::wstring line = L"  " + feature;
    line.append(static_cast<std::size_t>(featureColumns - TextColumns(feature) + 2), L' ');
    line += status;
    std::printf("%s\n", Arvek::NarrowUtf8(line).c_str());
}

void PrintDialog(const Portolan::PortTable& table) {
    int featureColumns = TextColumns(table.featureHeading);
    for (const auto& row : table.rows) featureColumns = std::max(featureColumns, TextColumns(row.feature));

    std::printf("%s\n\n", Arvek::NarrowUtf8(table.caption).c_str());
    std::printf("%s\n", Arvek::NarrowUtf8(table.label).c_str());
    PrintRow(table.featureHeading, table.statusHeading, featureColumns);
    for (const auto& row : table.rows) PrintRow(row.feature, row.status, featureColumns);
    std::printf("\n  [ OK ]\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string scenarioPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::printf("usage: portolan-sim SCENARIO\n");
            return 0;
        }
        if (!scenarioPath.empty() || arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "portolan-sim: unexpected argument %s\n", arg.c_str());
            return 2;
        }
        scenarioPath = arg;
    }
    if (scenarioPath.empty()) {
        std::fprintf(stderr, "usage: portolan-sim SCENARIO\n");
        return 2;
    }

    // The query touches no file of the notebook, but the machine wants a
    // drive C:; an empty temporary folder stands in for it.
    std::string pattern = (fs::temp_directory_path() / "portolan-sim-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("portolan-sim: cannot make a temporary folder");
        return 2;
    }
    const fs::path root = pattern;

    int code = 2;
    try {
        Arvek::Sim::Scenario scenario = Arvek::Sim::LoadScenario(scenarioPath);
        if (const auto language = EnvironmentLanguage()) scenario.language = *language;
        Arvek::Sim::SimMachine& machine =
            Arvek::Sim::MakeProcessMachine(std::move(scenario), root, Arvek::Sim::ProcessProgram::Viewer);
        Arvek::Ports::Platform& viewer = machine.ViewerPlatform();

        PrintDialog(Portolan::BuildPortTable(Portolan::ReadPortConfiguration(viewer), viewer.resources));
        code = 0;
    } catch (const Arvek::Sim::ScenarioError& e) {
        std::fprintf(stderr, "portolan-sim: %s\n", e.what());
    } catch (const Arvek::Sim::RegFileError& e) {
        std::fprintf(stderr, "portolan-sim: %s\n", e.what());
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return code;
}
