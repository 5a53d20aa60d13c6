// The file port's contract: one suite of cases that runs against every
// adapter (the simulated notebook's files natively, the real ones under
// Wine), so that the log file behaves the same in the simulation as on a
// notebook: the C runtime's text files, the byte-order mark, CR LF, and the
// file operations of a rotation.
//
// An adapter's test file provides a backend and instantiates the suite:
//   INSTANTIATE_TEST_SUITE_P(Sim, FilesContract, testing::Values(&MakeSimBackend));
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "ports/files.h"

namespace Arvek::Testing {

class FilesContractBackend {
public:
    virtual ~FilesContractBackend() = default;  // removes the scratch folder
    virtual Ports::IFileSystem& Files() = 0;
    // An empty folder of its own for one case, as a Windows path without a
    // trailing backslash.
    virtual std::wstring ScratchFolder() = 0;
    // Where a Windows path lies for the test itself, which reads and writes
    // raw bytes and sets times with std::filesystem.
    virtual std::filesystem::path HostPath(const std::wstring& path) = 0;
};

using FilesBackendFactory = std::unique_ptr<FilesContractBackend> (*)();
// Stable test names: the factory's address changes from run to run.
inline void PrintTo(FilesBackendFactory, std::ostream* out) { *out << "file system backend"; }

class FilesContract : public testing::TestWithParam<FilesBackendFactory> {
protected:
    void SetUp() override;
    void TearDown() override;

    Ports::IFileSystem& Files() { return backend->Files(); }
    std::wstring In(const std::wstring& name) const { return folder + L"\\" + name; }
    void Put(const std::wstring& name, const std::string& bytes);
    std::string Bytes(const std::wstring& name);

    std::unique_ptr<FilesContractBackend> backend;
    std::wstring folder;
};

}  // namespace Arvek::Testing
