// The Windows shell: ShellExecuteW, the ShellLink object with its property
// store, SHGetFolderPathW. CreateShortcut needs a thread that has entered a
// COM apartment.
#pragma once

#include "ports/shell.h"

namespace Arvek::Win32 {

class Win32Shell final : public Ports::IShell {
public:
    std::intptr_t Execute(const std::wstring& verb, const std::wstring& file, const std::wstring& parameters,
                          const std::wstring& directory, int showCommand) override;
    HRESULT CreateShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments,
                           const std::wstring& appUserModelId) override;
    std::optional<std::wstring> ProgramFilesX86Folder() override;
};

}  // namespace Arvek::Win32
