// Files and folders: the user's special folders and the few file operations
// the programs need. Paths are Windows paths on every platform
// ("C:\Users\user\AppData\Roaming"), so that names derived from them (the
// log file's mutex name, say) come out the same in the simulation.
//
// Implementations: win32/files_win32, sim/os/sim_files (maps the simulated
// notebook's drive C: to a real folder on the host).
//
// Nothing here throws but std::bad_alloc when memory runs out (a path or a
// list of files that cannot be held).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Arvek::Ports {

// A file opened by the C runtime in text mode with UTF-8 encoding
// (_wfopen(path, L"a+,ccs=UTF-8")): wide text in, UTF-8 bytes on disk, every
// L'\n' written as CR LF, every write appended at the end. Opening a new or
// empty file writes a UTF-8 byte-order mark (that is what the C runtime does).
// Writes are buffered; the destructor flushes and closes (fclose).
class ITextFile {
public:
    enum class ReadStatus {
        Read,       // at least one character was read
        EndOfFile,  // nothing to read
        Error,      // the read failed
    };

    virtual ~ITextFile() = default;

    // fseek to the start, then fgetws: at most maxChars characters, stopping
    // after the first L'\n' (a CR LF on disk reads as L'\n'). A byte-order
    // mark at the start of the file may come back as U+FEFF.
    virtual ReadStatus ReadFromStart(std::size_t maxChars, std::wstring& text) = 0;

    // fputws at the end of the file; false when the stream reports an error.
    // NUL characters are not written (fputws would stop at the first).
    virtual bool Write(std::wstring_view text) = 0;

    // fflush.
    virtual bool Flush() = 0;
};

// Times are FILETIME values: 100-nanosecond units since 1601-01-01 (UTC).
struct FileInfo {
    std::uint64_t size = 0;
    std::uint64_t lastWriteTime = 0;
    bool isFolder = false;
};

struct FoundFile {
    std::wstring name;  // the name only, without the folder
    std::uint64_t lastWriteTime = 0;
    std::uint64_t size = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;

    // GetTempPathW: the user's temporary folder, ending with a backslash;
    // empty on failure.
    virtual std::wstring TempPath() = 0;

    // SHGetFolderPathW(CSIDL_APPDATA | CSIDL_FLAG_CREATE): the user's roaming
    // application-data folder, created when missing; nullopt on failure.
    virtual std::optional<std::wstring> RoamingAppDataFolder() = 0;

    // CreateDirectoryW; an existing folder counts as success.
    virtual bool CreateFolder(const std::wstring& path) = 0;

    // _wfopen(path, L"a+,ccs=UTF-8"): creates the file when missing; null on
    // failure. The file object does not depend on this object's lifetime.
    virtual std::unique_ptr<ITextFile> OpenTextForAppend(const std::wstring& path) = 0;

    // GetFileAttributesExW; nullopt when the file is missing or its
    // attributes cannot be read.
    virtual std::optional<FileInfo> GetFileInfo(const std::wstring& path) = 0;

    // FindFirstFileW / FindNextFileW over a pattern whose last part may hold
    // the wildcards * and ? (matched without regard to case): the files (not
    // folders) that match, in the order the system lists them; empty when
    // none match or the folder cannot be read.
    virtual std::vector<FoundFile> FindFiles(const std::wstring& pattern) = 0;

    // Whether the file can be opened for reading (_wfopen "rb"); it is
    // closed again at once.
    virtual bool CanOpenForReading(const std::wstring& path) = 0;

    // Creates or truncates the file ("w+b") and writes `bytes` in one write,
    // whose result is not checked; false only when the file cannot be made.
    virtual bool WriteBinaryFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) = 0;

    // DeleteFileW.
    virtual bool RemoveFile(const std::wstring& path) = 0;

    // MoveFileW: fails when `to` exists.
    virtual bool RenameFile(const std::wstring& from, const std::wstring& to) = 0;
};

}  // namespace Arvek::Ports
