// IFileSystem over the real Windows API and the C runtime.
#pragma once

#include "ports/files.h"

namespace Arvek::Win32 {

class Win32FileSystem final : public Ports::IFileSystem {
public:
    Win32FileSystem() = default;

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
};

}  // namespace Arvek::Win32
