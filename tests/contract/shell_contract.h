// The shell port's contract: one suite of cases that runs against every
// adapter (the simulated notebook's shell natively, the real shell under
// Wine), so that starting the help program and writing the Start-menu
// shortcut behave the same in the simulation as on a notebook.
//
// An adapter's test file provides a backend and instantiates the suite:
//   INSTANTIATE_TEST_SUITE_P(Sim, ShellContract, testing::Values(&MakeSimBackend));
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "ports/files.h"
#include "ports/shell.h"

namespace Arvek::Testing {

class ShellContractBackend {
public:
    virtual ~ShellContractBackend() = default;  // removes the scratch folder
    virtual Ports::IShell& Shell() = 0;
    virtual Ports::IFileSystem& Files() = 0;
    // An empty folder of its own for one case, as a Windows path without a
    // trailing backslash.
    virtual std::wstring ScratchFolder() = 0;
    // Puts at `path` a program that ends at once when started.
    virtual void PutProgram(const std::wstring& path) = 0;
};

using ShellBackendFactory = std::unique_ptr<ShellContractBackend> (*)();
// Stable test names: the factory's address changes from run to run.
inline void PrintTo(ShellBackendFactory, std::ostream* out) { *out << "shell backend"; }

class ShellContract : public testing::TestWithParam<ShellBackendFactory> {
protected:
    void SetUp() override {
        backend = GetParam()();
        folder = backend->ScratchFolder();
    }
    void TearDown() override { backend.reset(); }
    std::wstring In(const std::wstring& name) const { return folder + L"\\" + name; }

    std::unique_ptr<ShellContractBackend> backend;
    std::wstring folder;
};

}  // namespace Arvek::Testing
