// The simulated notebook's files: its drive C: is a folder on the host
// (hostRoot/"C"), and Windows paths ("C:\Users\user\AppData\Roaming") map
// onto it component by component. Paths on other drives, relative paths and
// paths that would climb out of the drive ("..") are refused: every
// operation on them fails.
//
// Text files behave as the C runtime's "a+,ccs=UTF-8" streams do on Windows
// (see ports/files.h): a byte-order mark on a new or empty file, CR LF line
// ends, appends only, a 4 KiB write buffer. Appends use O_APPEND, so several
// processes writing one file under the log's mutex never overwrite each
// other. Renames never replace an existing file (MoveFileW).
//
// Thread-safe; open files do not depend on this object's lifetime.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "ports/files.h"
#include "sim/machine/faults.h"

namespace Arvek::Sim {

class SimFileSystem final : public Ports::IFileSystem {
public:
    // Steps fail as `faults` says ("files.*").
    explicit SimFileSystem(std::filesystem::path hostRoot, SimFaults* faults = nullptr);

    std::wstring TempPath() override;
    std::optional<std::wstring> RoamingAppDataFolder() override;
    bool CreateFolder(const std::wstring& path) override;
    std::unique_ptr<Ports::ITextFile> OpenTextForAppend(const std::wstring& path) override;
    std::optional<Ports::FileInfo> GetFileInfo(const std::wstring& path) override;
    std::vector<Ports::FoundFile> FindFiles(const std::wstring& pattern) override;
    bool RemoveFile(const std::wstring& path) override;
    bool CanOpenForReading(const std::wstring& path) override;
    bool WriteBinaryFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) override;
    bool RenameFile(const std::wstring& from, const std::wstring& to) override;

    // The host path of a path on the simulated drive C:; nullopt for a path
    // this file system refuses.
    std::optional<std::filesystem::path> HostPath(const std::wstring& windowsPath) const;

    static constexpr const wchar_t* kTempPath = L"C:\\Users\\user\\AppData\\Local\\Temp\\";
    static constexpr const wchar_t* kRoamingPath = L"C:\\Users\\user\\AppData\\Roaming";

private:
    std::filesystem::path m_hostRoot;
    SimFaults* m_faults;
};

// A file-name pattern with * and ? as FindFirstFileW matches it, without
// regard to case.
bool MatchesFilePattern(std::wstring_view name, std::wstring_view pattern);

}  // namespace Arvek::Sim
