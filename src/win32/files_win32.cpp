// IFileSystem over the real Windows API and the C runtime.
#include "win32/files_win32.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>

#include "win32/handles.h"
#include "win32/result.h"

namespace Arvek::Win32 {
namespace {

std::uint64_t FileTimeValue(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A C runtime stream opened "a+,ccs=UTF-8". What the C runtime does with it
// (seen with Wine 8's msvcrt, and pinned by the file port's contract tests):
// - opening a new or empty file writes the UTF-8 byte-order mark EF BB BF at
//   once, before anything is written; a non-empty file without one gets none;
// - after opening, the read position is at the end; after fseek to 0 the
//   first character fgetws returns is the mark, as U+FEFF, so a first-line
//   check has to look past it (the listener does);
// - in text mode L'\n' is written as CR LF and CR LF reads back as L'\n';
// - a write that follows a read without a seek in between is lost without
//   an error, so a write after a read first moves to the end.
class CrtTextFile final : public Ports::ITextFile {
public:
    explicit CrtTextFile(FILE* stream) : m_stream(stream) {}
    ~CrtTextFile() override { std::fclose(m_stream); }
    CrtTextFile(const CrtTextFile&) = delete;
    CrtTextFile& operator=(const CrtTextFile&) = delete;

    ReadStatus ReadFromStart(std::size_t maxChars, std::wstring& text) override {
        text.clear();
        m_afterRead = true;
        if (std::fseek(m_stream, 0, SEEK_SET) != 0) return ReadStatus::Error;
        std::wstring buffer(maxChars + 1, L'\0');
        if (!std::fgetws(buffer.data(), static_cast<int>(buffer.size()), m_stream)) {
            const bool end = std::feof(m_stream) != 0;
            std::clearerr(m_stream);
            return end ? ReadStatus::EndOfFile : ReadStatus::Error;
        }
        text.assign(buffer.c_str());
        return text.empty() ? ReadStatus::EndOfFile : ReadStatus::Read;
    }

    bool Write(std::wstring_view text) override {
        if (m_afterRead) {
            m_afterRead = false;
            if (std::fseek(m_stream, 0, SEEK_END) != 0) return false;
        }
        // fputws stops at a NUL; write the text piece by piece around any.
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t nul = text.find(L'\0', start);
            const std::size_t end = nul == std::wstring_view::npos ? text.size() : nul;
            if (end > start) {
                const std::wstring piece(text.substr(start, end - start));
                if (std::fputws(piece.c_str(), m_stream) < 0) return false;
            }
            if (nul == std::wstring_view::npos) break;
            start = nul + 1;
        }
        return std::ferror(m_stream) == 0;
    }

    bool Flush() override { return std::fflush(m_stream) == 0; }

private:
    FILE* m_stream;
    bool m_afterRead = false;
};

}  // namespace

std::wstring Win32FileSystem::TempPath() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return {};
    return std::wstring(buffer, length);
}

std::optional<std::wstring> Win32FileSystem::RoamingAppDataFolder() {
    wchar_t buffer[MAX_PATH] = {};
    const HRESULT hr = ::SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, buffer);
    if (FAILED(hr)) return std::nullopt;
    return std::wstring(buffer);
}

bool Win32FileSystem::CreateFolder(const std::wstring& path) {
    if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
    return LastErrorAsWin32() == ERROR_ALREADY_EXISTS;
}

std::unique_ptr<Ports::ITextFile> Win32FileSystem::OpenTextForAppend(const std::wstring& path) {
    FILE* stream = ::_wfopen(path.c_str(), L"a+,ccs=UTF-8");
    if (!stream) return nullptr;
    return std::make_unique<CrtTextFile>(stream);
}

std::optional<Ports::FileInfo> Win32FileSystem::GetFileInfo(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    Ports::FileInfo info;
    info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.lastWriteTime = FileTimeValue(data.ftLastWriteTime);
    info.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return info;
}

std::vector<Ports::FoundFile> Win32FileSystem::FindFiles(const std::wstring& pattern) {
    std::vector<Ports::FoundFile> files;
    WIN32_FIND_DATAW data{};
    UniqueFindFile find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find) return files;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        Ports::FoundFile file;
        file.name = data.cFileName;
        file.lastWriteTime = FileTimeValue(data.ftLastWriteTime);
        file.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        files.push_back(std::move(file));
    } while (::FindNextFileW(find.Get(), &data));
    return files;
}

bool Win32FileSystem::RemoveFile(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != 0; }

bool Win32FileSystem::CanOpenForReading(const std::wstring& path) {
    FILE* file = ::_wfopen(path.c_str(), L"rb");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

bool Win32FileSystem::WriteBinaryFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    FILE* file = ::_wfopen(path.c_str(), L"w+b");
    if (file == nullptr) return false;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return true;
}

bool Win32FileSystem::RenameFile(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileW(from.c_str(), to.c_str()) != 0;
}

}  // namespace Arvek::Win32
