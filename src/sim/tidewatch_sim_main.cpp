// tidewatch-sim: runs the Tidewatch agent on a simulated Arvek notebook
// described by a scenario file and prints what happened.
//
//   tidewatch-sim SCENARIO [--root DIR]
//
// DIR holds the notebook's drive C: (a fresh temporary folder by default,
// removed afterwards). The exit code is the agent's, or 2 when the scenario
// cannot be used.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "sim/os/reg_file.h"
#include "sim/machine/scenario.h"
#include "sim/machine/sim_machine.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::string scenarioPath;
    fs::path root;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--root" && i + 1 < argc) {
            root = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            std::printf("usage: tidewatch-sim SCENARIO [--root DIR]\n");
            return 0;
        } else if (scenarioPath.empty() && arg.rfind("--", 0) != 0) {
            scenarioPath = arg;
        } else {
            std::fprintf(stderr, "tidewatch-sim: unexpected argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (scenarioPath.empty()) {
        std::fprintf(stderr, "usage: tidewatch-sim SCENARIO [--root DIR]\n");
        return 2;
    }

    bool temporaryRoot = false;
    if (root.empty()) {
        std::string pattern = (fs::temp_directory_path() / "tidewatch-sim-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("tidewatch-sim: cannot make a temporary folder");
            return 2;
        }
        root = pattern;
        temporaryRoot = true;
    }

    int code = 2;
    try {
        // The process's machine: the log keeps using it until the process ends.
        Arvek::Sim::SimMachine& machine = Arvek::Sim::MakeProcessMachine(Arvek::Sim::LoadScenario(scenarioPath), root);
        machine.Log().SetEcho(true);
        code = machine.RunAgent();
    } catch (const Arvek::Sim::ScenarioError& e) {
        std::fprintf(stderr, "tidewatch-sim: %s\n", e.what());
    } catch (const Arvek::Sim::RegFileError& e) {
        std::fprintf(stderr, "tidewatch-sim: %s\n", e.what());
    }
    if (temporaryRoot) {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    return code;
}
