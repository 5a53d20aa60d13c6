// Builds a simulated notebook from scenario text for one test, over a fresh
// host folder that is removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "sim/machine/scenario.h"
#include "sim/machine/sim_machine.h"

namespace Arvek::Testing {

class TempFolder {
public:
    TempFolder() {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 ("arvek-test-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// .reg lines (without the header) saying the maker's image is finished,
// which the firmware-event subscriptions look at.
inline constexpr char kImageCompleteReg[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\State]\n"
    "\"ImageState\"=\"IMAGE_STATE_COMPLETE\"\n";

// A machine from scenario text; `policy` is .reg text appended as the
// scenario's registry (without its header line).
struct SimNotebook {
    explicit SimNotebook(const std::string& scenarioText)
        : machine(Sim::ParseScenario(scenarioText, "test.scenario", folder.Path()), folder.Path()) {}

    static std::string WithPolicy(const std::string& machineSettings, const std::string& policy) {
        return "[machine]\n" + machineSettings + "\n[registry]\nWindows Registry Editor Version 5.00\n\n" + policy;
    }

    // A file of the notebook's drive, as raw bytes.
    std::string ReadFile(const std::wstring& path) {
        std::ifstream in(*machine.Files().HostPath(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void WriteFile(const std::wstring& path, const std::string& bytes) {
        std::ofstream(*machine.Files().HostPath(path), std::ios::binary) << bytes;
    }

    TempFolder folder;
    Sim::SimMachine machine;
};

// The scenario text is refused, with an error that begins with `error`
// ("s.scenario:LINE: what").
inline void ExpectScenarioRefused(const std::string& text, const std::string& error) {
    try {
        Sim::ParseScenario(text, "s.scenario", "/nonexistent");
        ADD_FAILURE() << "accepted: " << text;
    } catch (const Sim::ScenarioError& e) {
        EXPECT_EQ(0u, std::string(e.what()).find(error)) << e.what();
    }
}

}  // namespace Arvek::Testing
