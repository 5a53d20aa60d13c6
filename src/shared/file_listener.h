// The rotating log file, shared by every process of the program on the
// machine: %APPDATA%\arqLog\<program>.log, with up to nine older files
// <program>_0001.log (newest) ... <program>_0009.log (oldest).
//
// Every write happens while holding a "Global\" mutex named after the file
// (LogMutexName), so the processes of all sessions append whole lines and
// rotate without stepping on each other. The file is UTF-8 with CR LF line
// ends, one record per line.
//
// Direct mode (type File) writes each record on the caller's thread. Queued
// mode (type QueuedFile) copies the record into a queue and returns; one
// writer thread at a time drains the queue, in the order of the records.
//
// Waiting for the mutex is bounded (kMutexWaitMs): any process of any session
// can hold a mutex of that name, and the agent logs on its main thread, so a
// stuck or hostile holder must not freeze it. A direct record whose wait runs
// out is dropped; queued records stay queued and the next record starts a
// writer that tries again.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ports/files.h"
#include "ports/named_objects.h"
#include "shared/log.h"

namespace Arvek::Shared {

// Names of the log's files and mutex, from the log folder
// ("C:\Users\user\AppData\Roaming\arqLog") and the program's base name.
namespace LogFileNames {
constexpr std::size_t kMaxPath = 259;  // characters, as MAX_PATH allows with its terminator
constexpr const wchar_t* kFolderName = L"arqLog";

std::wstring LogFile(std::wstring_view folder, std::wstring_view program);                 // folder\B.log
std::wstring RotatedFile(std::wstring_view folder, std::wstring_view program, unsigned number);  // folder\B_0001.log
std::wstring SearchPattern(std::wstring_view folder, std::wstring_view program);           // folder\B_*.log
std::wstring TemporaryFile(std::wstring_view folder, unsigned number);                     // folder\_log_N
// The rotation number in a file name "B_<digits>.log" (any case); nullopt otherwise.
std::optional<unsigned> RotationNumber(std::wstring_view fileName, std::wstring_view program);
}  // namespace LogFileNames

// "Global\" + the log file's path without its drive part (up to and including
// the first ':' when that is not the first character), with every '\'
// replaced by '.':
// C:\Users\user\AppData\Roaming\arqLog\Tidewatch.log ->
// Global\.Users.user.AppData.Roaming.arqLog.Tidewatch.log
std::wstring LogMutexName(std::wstring_view logFilePath);

// The first characters of a file read as one of our lines:
// "yyyy/mm/dd hh:mm:ss.mmm|": '/' at 4 and 7, ' ' at 10, ':' at 13 and 16,
// '.' at 19, '|' at 23.
bool StartsLikeLogLine(std::wstring_view text);

// What a rotation does with the files matching the search pattern.
struct RotationPlan {
    struct Move {
        std::wstring name;  // the file's current name
        unsigned number;    // its new rotation number
    };
    std::optional<std::wstring> remove;  // the oldest of exactly nine, deleted
    std::vector<Move> moves;             // oldest first: with k files, k+1 down to 2
};

// Orders the files by last-write time, oldest first, and numbers them.
// Files with equal times all take part: among them a higher rotation number
// counts as older (numbers are handed out by age), a name without a number
// as older still, and the name settles the rest.
RotationPlan PlanRotation(std::vector<Ports::FoundFile> files, std::wstring_view program);

class CArvekLogListenerFile final : public CArvekLogListener {
public:
    static constexpr std::uint32_t kDefaultMaxLogSizeKiB = 2048;
    static constexpr unsigned kKeptFiles = 9;

    // The longest wait for the log file's mutex. A well-behaved writer holds
    // it for one record, or one batch of at most kMaxBatchHoldMs, plus now and
    // then a rotation: milliseconds, even on a slow disk or with a virus
    // scanner looking at every renamed file. A second is far beyond that, and
    // a caller stalled for a second is slow but not hung.
    static constexpr std::uint32_t kMutexWaitMs = 1000;
    // Once a direct write's wait has run out, the holder is taken to be
    // stuck: until a wait succeeds again, direct writes wait only this long,
    // so a thread that logs a lot is not stalled a second per record. (The
    // queued writer has its own thread and always waits kMutexWaitMs.)
    static constexpr std::uint32_t kMutexRetryWaitMs = 100;
    // How long the queued writer keeps the mutex before it lets the others
    // in and takes it again. Without a limit a writer fed as fast as it
    // writes would hold the mutex for as long as the program keeps logging,
    // and the bounded waits of the other processes would run out against a
    // healthy writer.
    static constexpr std::uint32_t kMaxBatchHoldMs = 20;
    // When the queue runs dry, the writer waits up to this long with the
    // file still open, within its hold, before it closes the file and ends.
    // A program that logs steadily, only slower than the writer writes, would
    // otherwise have its lines written a few at a time, each few with an open
    // and a close of the file and a new writer thread. The first record
    // queued meanwhile wakes the writer at once. (Timed waits are coarser on
    // Windows, up to the system timer's period; the hold still bounds them.)
    static constexpr std::uint32_t kLingerMicroseconds = 200;

    // Reads "MaxLogSize" and "QueuedWrites", creates the log folder and the
    // mutex, and checks the file's first line.
    CArvekLogListenerFile(LogLevel defaultLevel, bool queued, const LogConfigKeys& keys, Ports::IFileSystem& files,
                          Ports::INamedObjects& namedObjects);
    ~CArvekLogListenerFile() override;
    CArvekLogListenerFile(const CArvekLogListenerFile&) = delete;
    CArvekLogListenerFile& operator=(const CArvekLogListenerFile&) = delete;

    void Log(LogData& data) override;
    ListenerType GetType() const override;

    const std::wstring& Path() const;  // empty: disabled
    const std::wstring& MutexName() const;
    std::uint32_t MaxLogSizeKiB() const;
    bool Queued() const;
    // Records not in the file yet (queued mode): queued, or taken by the
    // writer and not written yet.
    std::size_t PendingRecords() const;
    // Whether a writer thread is at work on the queue.
    bool WriterRunning() const;

    struct State;  // shared with the writer thread, which may outlive a stuck shutdown

private:
    std::shared_ptr<State> m_state;
    std::thread m_writer;
};

}  // namespace Arvek::Shared
