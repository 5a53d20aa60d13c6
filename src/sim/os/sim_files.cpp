#include "sim/os/sim_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <fstream>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "common/strings.h"

namespace Arvek::Sim {
namespace {

namespace fs = std::filesystem;

// FILETIME of 1970-01-01: seconds from 1601 to 1970.
constexpr std::uint64_t kUnixEpochSeconds = 11644473600ull;

std::uint64_t FileTimeOf(const struct timespec& time) {
    return (static_cast<std::uint64_t>(time.tv_sec) + kUnixEpochSeconds) * 10000000ull +
           static_cast<std::uint64_t>(time.tv_nsec) / 100;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Characters Windows refuses in a file name (wildcards are allowed where a
// pattern is expected).
bool IsValidNameChar(wchar_t c, bool wildcards) {
    if (c < 0x20) return false;
    switch (c) {
        case L'<': case L'>': case L':': case L'"': case L'|':
            return false;
        case L'*': case L'?':
            return wildcards;
        default:
            return true;
    }
}

// Copies plain ASCII (no NUL, no line end) from text[i] to `p` in blocks
// while whole blocks are plain; returns where it stopped and moves `p` on.
std::size_t CopyPlainBlocks(std::wstring_view text, std::size_t i, char*& p) {
#if defined(__SSE2__)
    if constexpr (sizeof(wchar_t) == 4) {
        const __m128i high = _mm_set1_epi32(~0x7F);
        const __m128i zero = _mm_setzero_si128();
        const __m128i lineEnd = _mm_set1_epi32(L'\n');
        while (i + 16 <= text.size()) {
            const auto* in = reinterpret_cast<const __m128i*>(text.data() + i);
            const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1);
            const __m128i c = _mm_loadu_si128(in + 2), d = _mm_loadu_si128(in + 3);
            const __m128i all = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
            __m128i special = _mm_xor_si128(_mm_cmpeq_epi32(_mm_and_si128(all, high), zero), _mm_set1_epi32(-1));
            for (const __m128i v : {a, b, c, d})
                special = _mm_or_si128(special, _mm_or_si128(_mm_cmpeq_epi32(v, zero), _mm_cmpeq_epi32(v, lineEnd)));
            if (_mm_movemask_epi8(special) != 0) break;
            // Every value is 1..127: packing cannot saturate.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                             _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
            p += 16;
            i += 16;
        }
    }
#endif
    constexpr std::size_t kBlock = 8;
    while (i + kBlock <= text.size()) {
        bool plain = true;
        for (std::size_t k = 0; k < kBlock; ++k) {
            const auto c = static_cast<std::uint32_t>(text[i + k]);
            plain &= c - 1 < 0x7F && c != L'\n';
        }
        if (!plain) break;
        for (std::size_t k = 0; k < kBlock; ++k) p[k] = static_cast<char>(text[i + k]);
        p += kBlock;
        i += kBlock;
    }
    return i;
}

// Appends UTF-8 of `text` to `out` as the C runtime's text mode writes it:
// L'\n' becomes CR LF; NUL characters are dropped (fputws stops at them).
void AppendTextModeUtf8(std::string& out, std::wstring_view text) {
    std::size_t at = out.size();
    out.resize(at + text.size() * 4 + 1);  // the most any character takes (CR LF: 2 for 1)
    char* p = out.data() + at;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Log lines are mostly plain ASCII: take a block of characters at a
        // time while none of them is a NUL, a line end or beyond ASCII.
        i = CopyPlainBlocks(text, i, p);
        if (i == text.size()) break;
        auto cp = static_cast<std::uint32_t>(text[i]);
        if (cp < 0x80) {
            if (cp == L'\n') {
                *p++ = '\r';
            } else if (cp == 0) {
                continue;
            }
            *p++ = static_cast<char>(cp);
            continue;
        }
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
                const auto low = static_cast<std::uint32_t>(text[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        if (cp < 0x800) {
            *p++ = static_cast<char>(0xC0 | (cp >> 6));
            *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *p++ = static_cast<char>(0xE0 | (cp >> 12));
            *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *p++ = static_cast<char>(0xF0 | (cp >> 18));
            *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

class SimTextFile final : public Ports::ITextFile {
public:
    explicit SimTextFile(int fd) : m_fd(fd) {}
    ~SimTextFile() override {
        Flush();
        ::close(m_fd);
    }
    SimTextFile(const SimTextFile&) = delete;
    SimTextFile& operator=(const SimTextFile&) = delete;

    ReadStatus ReadFromStart(std::size_t maxChars, std::wstring& text) override {
        text.clear();
        if (!Flush()) return ReadStatus::Error;
        // The first maxChars characters fit in 4 bytes each, plus one CR.
        std::string bytes(maxChars * 4 + 1, '\0');
        std::size_t have = 0;
        while (have < bytes.size()) {
            const ssize_t got = ::pread(m_fd, bytes.data() + have, bytes.size() - have, static_cast<off_t>(have));
            if (got < 0) {
                if (errno == EINTR) continue;
                return ReadStatus::Error;
            }
            if (got == 0) break;
            have += static_cast<std::size_t>(got);
        }
        bytes.resize(have);
        const std::wstring decoded = WidenUtf8(bytes);
        for (std::size_t i = 0; i < decoded.size() && text.size() < maxChars; ++i) {
            if (decoded[i] == L'\r' && i + 1 < decoded.size() && decoded[i + 1] == L'\n') continue;
            text.push_back(decoded[i]);
            if (decoded[i] == L'\n') break;
        }
        return text.empty() ? ReadStatus::EndOfFile : ReadStatus::Read;
    }

    bool Write(std::wstring_view text) override {
        if (m_failed) return false;
        if (m_buffer.capacity() < kBufferSize * 2) m_buffer.reserve(kBufferSize * 2);
        AppendTextModeUtf8(m_buffer, text);
        if (m_buffer.size() >= kBufferSize) return Flush();
        return true;
    }

    bool Flush() override {
        if (m_buffer.empty()) return !m_failed;
        if (!WriteAll(m_fd, m_buffer.data(), m_buffer.size())) m_failed = true;
        m_buffer.clear();
        return !m_failed;
    }

private:
    static constexpr std::size_t kBufferSize = 4096;  // the C runtime's stream buffer
    int m_fd;
    bool m_failed = false;
    std::string m_buffer;
};

}  // namespace

bool MatchesFilePattern(std::wstring_view name, std::wstring_view pattern) {
    // Iterative wildcard match with one backtracking point for the last '*'.
    std::size_t n = 0, p = 0, starP = std::wstring_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == L'?' || ToUpperInvariant(pattern[p]) == ToUpperInvariant(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::wstring_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

SimFileSystem::SimFileSystem(std::filesystem::path hostRoot, SimFaults* faults)
    : m_hostRoot(std::move(hostRoot)), m_faults(faults) {
    // The drive's root folder is always there.
    std::error_code ignored;
    fs::create_directories(m_hostRoot / "C", ignored);
}

std::optional<fs::path> SimFileSystem::HostPath(const std::wstring& windowsPath) const {
    if (windowsPath.size() < 3 || (windowsPath[0] != L'C' && windowsPath[0] != L'c') || windowsPath[1] != L':' ||
        !IsSeparator(windowsPath[2]))
        return std::nullopt;
    fs::path host = m_hostRoot / "C";
    std::size_t start = 3;
    while (start <= windowsPath.size()) {
        std::size_t end = start;
        while (end < windowsPath.size() && !IsSeparator(windowsPath[end])) ++end;
        const std::wstring_view part(windowsPath.data() + start, end - start);
        start = end + 1;
        if (part.empty() || part == L".") continue;
        if (part == L"..") return std::nullopt;
        for (wchar_t c : part)
            if (!IsValidNameChar(c, false)) return std::nullopt;
        host /= NarrowUtf8(part);
    }
    return host;
}

std::wstring SimFileSystem::TempPath() {
    std::error_code ignored;
    fs::create_directories(*HostPath(kTempPath), ignored);
    return kTempPath;
}

std::optional<std::wstring> SimFileSystem::RoamingAppDataFolder() {
    std::error_code error;
    const fs::path host = *HostPath(kRoamingPath);
    fs::create_directories(host, error);
    if (!fs::is_directory(host, error)) return std::nullopt;
    return std::wstring(kRoamingPath);
}

bool SimFileSystem::CreateFolder(const std::wstring& path) {
    if (TakeFault(m_faults, "files.create-folder")) return false;
    const auto host = HostPath(path);
    if (!host) return false;
    return ::mkdir(host->c_str(), 0755) == 0 || errno == EEXIST;
}

std::unique_ptr<Ports::ITextFile> SimFileSystem::OpenTextForAppend(const std::wstring& path) {
    if (TakeFault(m_faults, "files.open-text")) return nullptr;
    const auto host = HostPath(path);
    if (!host) return nullptr;
    const int fd = ::open(host->c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    if (info.st_size == 0 && !WriteAll(fd, "\xEF\xBB\xBF", 3)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<SimTextFile>(fd);
}

std::optional<Ports::FileInfo> SimFileSystem::GetFileInfo(const std::wstring& path) {
    const auto host = HostPath(path);
    struct stat info {};
    if (!host || ::stat(host->c_str(), &info) != 0) return std::nullopt;
    Ports::FileInfo result;
    result.size = static_cast<std::uint64_t>(info.st_size);
    result.lastWriteTime = FileTimeOf(info.st_mtim);
    result.isFolder = S_ISDIR(info.st_mode);
    return result;
}

std::vector<Ports::FoundFile> SimFileSystem::FindFiles(const std::wstring& pattern) {
    std::vector<Ports::FoundFile> files;
    std::size_t slash = pattern.size();
    while (slash > 0 && !IsSeparator(pattern[slash - 1])) --slash;
    if (slash == 0) return files;
    const std::wstring namePattern = pattern.substr(slash);
    for (wchar_t c : namePattern)
        if (!IsValidNameChar(c, true)) return files;
    const auto folder = HostPath(pattern.substr(0, slash));
    if (!folder || namePattern.empty()) return files;

    std::error_code error;
    for (fs::directory_iterator it(*folder, error), end; !error && it != end; it.increment(error)) {
        const std::wstring name = WidenUtf8(it->path().filename().string());
        if (!MatchesFilePattern(name, namePattern)) continue;
        struct stat info {};
        if (::stat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        files.push_back({name, FileTimeOf(info.st_mtim), static_cast<std::uint64_t>(info.st_size)});
    }
    // NTFS lists a folder in the order of its upper-cased names.
    std::sort(files.begin(), files.end(), [](const Ports::FoundFile& a, const Ports::FoundFile& b) {
        return ToUpperInvariant(a.name) < ToUpperInvariant(b.name);
    });
    return files;
}

bool SimFileSystem::CanOpenForReading(const std::wstring& path) {
    if (TakeFault(m_faults, "files.open-read")) return false;
    const auto host = HostPath(path);
    if (!host) return false;
    std::error_code error;
    if (fs::is_directory(*host, error)) return false;  // the C runtime opens files only
    return std::ifstream(*host, std::ios::binary).is_open();
}

bool SimFileSystem::WriteBinaryFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    if (TakeFault(m_faults, "files.write-binary")) return false;
    const auto host = HostPath(path);
    if (!host) return false;
    std::ofstream out(*host, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return true;
}

bool SimFileSystem::RemoveFile(const std::wstring& path) {
    const auto host = HostPath(path);
    return host && ::unlink(host->c_str()) == 0;
}

bool SimFileSystem::RenameFile(const std::wstring& from, const std::wstring& to) {
    const auto hostFrom = HostPath(from);
    const auto hostTo = HostPath(to);
    if (!hostFrom || !hostTo) return false;
    if (::renameat2(AT_FDCWD, hostFrom->c_str(), AT_FDCWD, hostTo->c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A host file system without RENAME_NOREPLACE: check, then rename.
    struct stat info {};
    if (::lstat(hostTo->c_str(), &info) == 0) return false;
    return ::rename(hostFrom->c_str(), hostTo->c_str()) == 0;
}

}  // namespace Arvek::Sim
