// The simulated notebook's shell: the shell port's contract.
#include <gtest/gtest.h>

#include <fstream>

#include "contract/shell_contract.h"
#include "sim/os/sim_files.h"
#include "sim/os/sim_clock.h"
#include "sim/os/sim_toast.h"
#include "sim_fixture.h"

namespace Arvek::Testing {
namespace {

class SimShellBackend final : public ShellContractBackend {
public:
    Ports::IShell& Shell() override { return m_shell; }
    Ports::IFileSystem& Files() override { return m_files; }
    std::wstring ScratchFolder() override {
        const std::wstring path = L"C:\\scratch";
        EXPECT_TRUE(m_files.CreateFolder(path));
        return path;
    }
    void PutProgram(const std::wstring& path) override {
        std::ofstream out(*m_files.HostPath(path), std::ios::binary);
        out << "MZ";
    }

private:
    TempFolder m_folder;
    Sim::SimFileSystem m_files{m_folder.Path()};
    Sim::Transcript m_transcript;
    Sim::SimClock m_clock{Ports::SystemTime{2026, 12, 3, 9, 8, 0, 0, 0}};
    Sim::SimShell m_shell{m_transcript, m_clock, m_files};
};

std::unique_ptr<ShellContractBackend> MakeSimBackend() { return std::make_unique<SimShellBackend>(); }

INSTANTIATE_TEST_SUITE_P(Sim, ShellContract, testing::Values(&MakeSimBackend),
                         [](const auto&) { return std::string("SimShell"); });

}  // namespace
}  // namespace Arvek::Testing
