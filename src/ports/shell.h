// Shell port: the Windows shell's services the agent uses: starting a
// program by a verb, Start-menu shortcuts that carry an application user
// model id, and the shell's known folders.
//
// Implementations: win32/shell_win32 (ShellExecuteW, the ShellLink object
// with its property store, SHGetFolderPathW), sim/os/sim_toast SimShell (starts nothing:
// records what was started into the transcript and writes shortcut files
// into the simulated drive).
//
// Nothing here throws but std::bad_alloc when memory runs out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/hresult.h"

namespace Arvek::Ports {

constexpr int kSW_SHOW = 5;

class IShell {
public:
    virtual ~IShell() = default;

    // ShellExecuteW(no window, verb, file, parameters, directory, show
    // command), with empty texts passed as null: the value the shell reports,
    // above 32 on success, else an error value (2: file not found).
    virtual std::intptr_t Execute(const std::wstring& verb, const std::wstring& file, const std::wstring& parameters,
                                  const std::wstring& directory, int showCommand) = 0;

    // A shell link (CLSID_ShellLink, IShellLinkW) to `target` with
    // `arguments`, its property PKEY_AppUserModel_ID set to `appUserModelId`
    // as a VT_LPWSTR and committed, saved through IPersistFile to `path` as
    // the current file. The first failing step's HRESULT.
    virtual HRESULT CreateShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments,
                                   const std::wstring& appUserModelId) = 0;

    // SHGetFolderPathW(CSIDL_PROGRAM_FILESX86): the 32-bit programs' folder
    // ("C:\Program Files (x86)"), without a trailing backslash; nullopt on
    // failure.
    virtual std::optional<std::wstring> ProgramFilesX86Folder() = 0;
};

}  // namespace Arvek::Ports
