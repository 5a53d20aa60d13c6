// One writer process of the log stress test: writes numbered lines
// (stress_lines.h) through a direct and a queued file listener at the same
// time, to the log file every writer of the test shares.
//
//   log_stress_writer --program NAME --writer ID --direct N --queued N --max-kib K
//                     [--root DIR] [--archive DIR] [--block-after N --ready FILE]
//
//   --program      the program's base name: the log is %APPDATA%\arqLog\NAME.log
//   --root         (Linux) the host folder of the simulated notebook's drive C:
//   --archive      a host folder that keeps every file a rotation deletes (as a
//                  hard link made just before the delete), so that the test
//                  can account for every line ever written
//   --block-after  after N lines through the queued listener, flush them, create
//                  the --ready file and stop inside the batch, holding the
//                  log's mutex, until killed
//
// Exit code 0 when every line was handed over and the queue drained; 2 for
// bad arguments; 3 when the queue did not drain within a minute.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "common/hresult.h"
#include "common/strings.h"
#include "shared/file_listener.h"
#include "stress_lines.h"

#ifdef _WIN32
#include <process.h>
#include "win32/files_win32.h"
#include "win32/named_objects_win32.h"
#else
#include <unistd.h>
#include "sim/os/sim_files.h"
#include "sim/os/sim_named_objects.h"
#endif

namespace {

using namespace Arvek;
namespace fs = std::filesystem;

int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(::getpid());
#endif
}

// A policy key holding DWORD values only.
class DwordKey final : public Ports::IRegistryKey {
public:
    explicit DwordKey(std::map<std::wstring, std::uint32_t> values) : m_values(std::move(values)) {}
    std::uint32_t QueryValue(const std::wstring& name, std::uint32_t* type, std::uint8_t* data,
                             std::uint32_t* size) override {
        auto it = m_values.find(name);
        if (it == m_values.end()) return kERROR_FILE_NOT_FOUND;
        if (type) *type = Ports::kREG_DWORD;
        if (data && size) {
            if (*size < 4) {
                *size = 4;
                return kERROR_MORE_DATA;
            }
            std::memcpy(data, &it->second, 4);
        }
        if (size) *size = 4;
        return kERROR_SUCCESS;
    }
    std::uint32_t OpenSubKey(const std::wstring&, std::uint32_t, std::unique_ptr<Ports::IRegistryKey>&) override {
        return kERROR_FILE_NOT_FOUND;
    }

private:
    std::map<std::wstring, std::uint32_t> m_values;
};

// A file that stops for good after a number of lines, holding whatever the
// writer holds at that moment.
class BlockingFile final : public Ports::ITextFile {
public:
    BlockingFile(std::unique_ptr<Ports::ITextFile> inner, std::atomic<long>& linesLeft, std::string readyFile)
        : m_inner(std::move(inner)), m_linesLeft(linesLeft), m_readyFile(std::move(readyFile)) {}
    ReadStatus ReadFromStart(std::size_t maxChars, std::wstring& text) override {
        return m_inner->ReadFromStart(maxChars, text);
    }
    bool Write(std::wstring_view text) override {
        // Lines are counted by their line ends: the listener may hand over a
        // line and its end separately, or several lines in one write.
        std::size_t allowed = 0;
        while (allowed < text.size() && m_linesLeft.load() > 0) {
            const std::size_t end = text.find(L'\n', allowed);
            if (end == std::wstring_view::npos) {
                allowed = text.size();
                break;
            }
            allowed = end + 1;
            --m_linesLeft;
        }
        const bool ok = allowed == 0 || m_inner->Write(text.substr(0, allowed));
        if (allowed < text.size() || (text.empty() && m_linesLeft.load() <= 0)) {
            m_inner->Flush();
            std::ofstream(m_readyFile) << "holding\n";
            for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        return ok;
    }
    bool Flush() override { return m_inner->Flush(); }

private:
    std::unique_ptr<Ports::ITextFile> m_inner;
    std::atomic<long>& m_linesLeft;
    std::string m_readyFile;
};

// The platform's file system, keeping a hard link of every file a rotation
// deletes, and optionally blocking.
class StressFiles final : public Ports::IFileSystem {
public:
    StressFiles(Ports::IFileSystem& inner, std::function<fs::path(const std::wstring&)> hostPath, fs::path archive)
        : m_inner(inner), m_hostPath(std::move(hostPath)), m_archive(std::move(archive)) {}

    void BlockAfter(long lines, std::string readyFile) {
        m_linesLeft = lines;
        m_readyFile = std::move(readyFile);
        m_blocking = true;
    }

    std::wstring TempPath() override { return m_inner.TempPath(); }
    std::optional<std::wstring> RoamingAppDataFolder() override { return m_inner.RoamingAppDataFolder(); }
    bool CreateFolder(const std::wstring& path) override { return m_inner.CreateFolder(path); }
    std::unique_ptr<Ports::ITextFile> OpenTextForAppend(const std::wstring& path) override {
        auto file = m_inner.OpenTextForAppend(path);
        if (!file || !m_blocking) return file;
        return std::make_unique<BlockingFile>(std::move(file), m_linesLeft, m_readyFile);
    }
    std::optional<Ports::FileInfo> GetFileInfo(const std::wstring& path) override { return m_inner.GetFileInfo(path); }
    std::vector<Ports::FoundFile> FindFiles(const std::wstring& pattern) override { return m_inner.FindFiles(pattern); }
    bool RemoveFile(const std::wstring& path) override {
        if (!m_archive.empty() && m_inner.GetFileInfo(path)) {
            std::error_code ignored;
            const fs::path source = m_hostPath(path);
            fs::create_hard_link(source, m_archive / (std::to_string(ProcessId()) + "-" + std::to_string(++m_kept) +
                                                      "-" + source.filename().string()),
                                 ignored);
        }
        return m_inner.RemoveFile(path);
    }
    bool RenameFile(const std::wstring& from, const std::wstring& to) override { return m_inner.RenameFile(from, to); }
    bool CanOpenForReading(const std::wstring& path) override { return m_inner.CanOpenForReading(path); }
    bool WriteBinaryFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) override {
        return m_inner.WriteBinaryFile(path, bytes);
    }

private:
    Ports::IFileSystem& m_inner;
    std::function<fs::path(const std::wstring&)> m_hostPath;
    fs::path m_archive;
    long m_kept = 0;
    bool m_blocking = false;
    std::atomic<long> m_linesLeft{0};
    std::string m_readyFile;
};

Shared::CArvekLogListener::LogData Record(int writer, char stream, long seq) {
    Ports::SystemTime time{2026, 12, 3, 9, 1, 58, 47, static_cast<std::uint16_t>(seq % 1000)};
    const std::string message = Testing::Stress::Message(writer, stream, seq);
    return Shared::CArvekLogListener::LogData(Shared::Information, "Stress", WidenUtf8(message), time,
                                              static_cast<std::uint32_t>(writer));
}

int Usage() {
    std::fprintf(stderr,
                 "usage: log_stress_writer --program NAME --writer ID --direct N --queued N --max-kib K "
                 "[--root DIR] [--archive DIR] [--block-after N --ready FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strncmp(argv[i], "--", 2) != 0) return Usage();
        options[argv[i] + 2] = argv[i + 1];
    }
    if (argc % 2 == 0 || !options.count("program") || !options.count("writer")) return Usage();
    auto number = [&](const char* name) { return options.count(name) ? std::atol(options[name].c_str()) : 0L; };
    const int writer = static_cast<int>(number("writer"));
    const long directLines = number("direct");
    const long queuedLines = number("queued");

#ifdef _WIN32
    Win32::Win32FileSystem platformFiles;
    Win32::Win32NamedObjects namedObjects;
    auto hostPath = [](const std::wstring& path) { return fs::path(path); };
#else
    if (!options.count("root")) return Usage();
    Sim::SimFileSystem platformFiles(options["root"]);
    Sim::SimNamedObjects namedObjects;
    auto hostPath = [&platformFiles](const std::wstring& path) { return platformFiles.HostPath(path).value_or(fs::path()); };
#endif
    StressFiles files(platformFiles, hostPath, options.count("archive") ? fs::path(options["archive"]) : fs::path());
    if (options.count("block-after")) files.BlockAfter(number("block-after"), options["ready"]);

    Shared::LogConfigKeys keys;
    keys.programName = WidenUtf8(options["program"]);
    if (options.count("max-kib"))
        keys.product = std::make_unique<DwordKey>(
            std::map<std::wstring, std::uint32_t>{{L"MaxLogSize", static_cast<std::uint32_t>(number("max-kib"))}});

    Shared::CArvekLogListenerFile direct(Shared::Information, false, keys, files, namedObjects);
    Shared::CArvekLogListenerFile queued(Shared::Information, true, keys, files, namedObjects);
    if (direct.Path().empty()) {
        std::fprintf(stderr, "log_stress_writer: no log file\n");
        return 1;
    }

    std::thread directThread([&] {
        for (long seq = 0; seq < directLines; ++seq) {
            auto data = Record(writer, 'd', seq);
            direct.Log(data);
        }
    });
    for (long seq = 0; seq < queuedLines; ++seq) {
        auto data = Record(writer, 'q', seq);
        queued.Log(data);
    }
    directThread.join();

    // The listener waits only so long for its writer when it goes: let the
    // queue drain first.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (queued.PendingRecords() != 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "log_stress_writer: %zu records still queued\n", queued.PendingRecords());
            return 3;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return 0;
}
