#include "shared/file_listener.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "common/format.h"
#include "common/policy_names.h"
#include "common/strings.h"
#include "shared/listeners.h"

namespace Arvek::Shared {

// ---------------------------------------------------------------------------
// Names

namespace LogFileNames {

std::wstring LogFile(std::wstring_view folder, std::wstring_view program) {
    std::wstring path(folder);
    path += L'\\';
    path += program;
    path += L".log";
    return path;
}

std::wstring RotatedFile(std::wstring_view folder, std::wstring_view program, unsigned number) {
    return Format(L"%s\\%s_%04d.log", folder, program, number);
}

std::wstring SearchPattern(std::wstring_view folder, std::wstring_view program) {
    std::wstring pattern(folder);
    pattern += L'\\';
    pattern += program;
    pattern += L"_*.log";
    return pattern;
}

std::wstring TemporaryFile(std::wstring_view folder, unsigned number) {
    return Format(L"%s\\_log_%u", folder, number);
}

std::optional<unsigned> RotationNumber(std::wstring_view fileName, std::wstring_view program) {
    constexpr std::wstring_view kExtension = L".log";
    if (fileName.size() < program.size() + 1 + kExtension.size() + 1) return std::nullopt;
    if (!EqualsIgnoreCase(fileName.substr(0, program.size()), program) || fileName[program.size()] != L'_' ||
        !EqualsIgnoreCase(fileName.substr(fileName.size() - kExtension.size()), kExtension))
        return std::nullopt;
    const std::wstring_view digits =
        fileName.substr(program.size() + 1, fileName.size() - program.size() - 1 - kExtension.size());
    if (digits.size() > 9) return std::nullopt;
    unsigned number = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        number = number * 10 + static_cast<unsigned>(c - L'0');
    }
    return number;
}

}  // namespace LogFileNames

std::wstring LogMutexName(std::wstring_view logFilePath) {
    const auto colon = logFilePath.find(L':');
    if (colon != std::wstring_view::npos && colon != 0) logFilePath.remove_prefix(colon + 1);
    std::wstring name = L"Global\\";
    name.reserve(name.size() + logFilePath.size());
    for (wchar_t c : logFilePath) name.push_back(c == L'\\' ? L'.' : c);
    return name;
}

bool StartsLikeLogLine(std::wstring_view text) {
    return text.size() >= 24 && text[4] == L'/' && text[7] == L'/' && text[10] == L' ' && text[13] == L':' &&
           text[16] == L':' && text[19] == L'.' && text[23] == L'|';
}

RotationPlan PlanRotation(std::vector<Ports::FoundFile> files, std::wstring_view program) {
    // Sort key for equal times: no number (a stray) before the highest number.
    auto age = [&](const Ports::FoundFile& file) {
        const auto number = LogFileNames::RotationNumber(file.name, program);
        return number ? static_cast<long long>(*number) : -1;
    };
    std::stable_sort(files.begin(), files.end(), [&](const Ports::FoundFile& a, const Ports::FoundFile& b) {
        if (a.lastWriteTime != b.lastWriteTime) return a.lastWriteTime < b.lastWriteTime;
        const long long na = age(a), nb = age(b);
        if (na != nb) return na < 0 ? true : nb < 0 ? false : na > nb;
        return a.name < b.name;
    });
    RotationPlan plan;
    std::size_t first = 0;
    if (files.size() == CArvekLogListenerFile::kKeptFiles) {
        plan.remove = files.front().name;
        first = 1;
    }
    const auto count = static_cast<unsigned>(files.size() - first);
    for (std::size_t i = first; i < files.size(); ++i)
        plan.moves.push_back({files[i].name, count + 1 - static_cast<unsigned>(i - first)});
    return plan;
}

// ---------------------------------------------------------------------------
// The listener's state, shared with its writer thread

namespace {

// A lock with a deadline, taken in one function and released in another.
// (std::timed_mutex would do, but libstdc++ builds its deadline wait on
// pthread_mutex_clocklock, which ThreadSanitizer does not see.)
class SessionLock {
public:
    bool LockUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock guard(m_lock);
        if (!m_free.wait_until(guard, deadline, [&] { return !m_busy; })) return false;
        m_busy = true;
        return true;
    }
    void Unlock() {
        {
            std::lock_guard guard(m_lock);
            m_busy = false;
        }
        m_free.notify_one();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_free;
    bool m_busy = false;
};

constexpr std::size_t kCacheLine = 64;

// The queue is a list of chunks, each a run of characters (every record's
// line and its line end, one after the other, as the file takes them) and a
// mark per record. A thread that logs reserves room at the end of the last
// chunk under the queue's lock, copies its line there after letting the lock
// go, and then marks the record as published. So the copy's stores, which
// land on memory the writer has just read from the other processor, finish
// while the caller goes on, instead of being waited for as the lock is let
// go. The writer takes records in order, each once its mark says it is
// there, and hands the file runs of them in one write.
constexpr std::size_t kChunkChars = 64 * 1024;
constexpr std::uint32_t kChunkRecords = 1024;
// Empty chunks kept for the next burst; a burst that needed more gives the
// rest back.
constexpr std::size_t kKeptChunks = 8;

struct QueueChunk {
    // A record's place: where its characters end, and which use of the
    // chunk it belongs to once they are in place (0: never used).
    struct Slot {
        std::size_t end = 0;
        std::atomic<std::uint32_t> published{0};
    };

    explicit QueueChunk(std::size_t chars)
        : text(new wchar_t[chars]), capacity(chars), slots(new Slot[kChunkRecords]) {}

    bool Fits(std::size_t chars) const { return records < kChunkRecords && capacity - used >= chars; }
    std::size_t Begin(std::uint32_t record) const { return record == 0 ? 0 : slots[record - 1].end; }
    bool Published(std::uint32_t record) const {
        return slots[record].published.load(std::memory_order_acquire) == use;
    }
    // Empty again, for a new use; the marks of the old one no longer count.
    void Reset() {
        used = 0;
        records = 0;
        ++use;
    }

    const std::unique_ptr<wchar_t[]> text;
    const std::size_t capacity;
    const std::unique_ptr<Slot[]> slots;
    // Under the queue's lock (the writer alone changes `use`, so it may read
    // it without).
    std::size_t used = 0;        // characters reserved
    std::uint32_t records = 0;   // records reserved
    std::uint32_t use = 1;
};

}  // namespace

struct CArvekLogListenerFile::State {
    State(Ports::IFileSystem& fileSystem, std::wstring programName)
        : files(fileSystem), program(std::move(programName)) {
        spareChunks.reserve(kKeptChunks);
    }

    Ports::IFileSystem& files;
    const std::wstring program;
    std::wstring folder;
    std::wstring path;  // empty: disabled
    std::wstring mutexName;
    std::uint32_t limitKiB = kDefaultMaxLogSizeKiB;
    bool queued = false;
    std::unique_ptr<Ports::INamedMutex> mutex;  // null when it could not be created

    // The file session: held from opening the file to closing it, by one
    // thread of this process at a time, together with the named mutex.
    // Guards the members below.
    SessionLock session;
    std::unique_ptr<Ports::ITextFile> stream;  // open only while a write or batch runs
    std::uint64_t writeCounter = 0;
    std::atomic<bool> lastWaitTimedOut{false};

    // The queue (queued mode): chunks, oldest first; the threads that log
    // add to the last. What they touch for every record and what the writer
    // touches for every record lie on cache lines of their own; sharing one,
    // the two threads took it from each other for every line.
    alignas(kCacheLine) mutable std::mutex queueLock;
    std::condition_variable writerDone;
    // The writer waits on this while it lingers; the first thread that
    // queues a record meanwhile wakes it (and clears the flag, so that the
    // others do not).
    std::condition_variable moreQueued;
    bool writerLingering = false;
    std::deque<std::unique_ptr<QueueChunk>> chunks;
    std::vector<std::unique_ptr<QueueChunk>> spareChunks;  // room for kKeptChunks, reserved
    std::uint32_t readRecord = 0;  // the first record of the first chunk not written yet
    bool writerRunning = false;
    std::atomic<std::uint64_t> recordsQueued{0};  // changed under the lock

    alignas(kCacheLine) std::atomic<std::uint64_t> recordsDone{0};  // written, or lost; the writer's
    std::atomic<bool> stopping{false};  // the listener is gone; a late writer touches nothing more

    // Never throw: a record that cannot be written (out of memory, say) is
    // lost, and the file and the mutex are never left held.
    bool OpenFile(bool writerThread);
    void CloseFile();
    void WriteRecord(LogData& data) noexcept;
    void Rotate(bool force);
    void RunWriter();
    // Under the queue's lock: whether every record queued is written, and a
    // chunk with room for `chars` characters (may throw std::bad_alloc).
    bool QueueEmpty() const;
    std::unique_ptr<QueueChunk> TakeChunk(std::size_t chars);
    // Writes what is queued until the queue is empty or the hold is over;
    // called and returns with the queue's lock held.
    void WriteQueued(std::unique_lock<std::mutex>& guard, std::chrono::steady_clock::time_point holdUntil,
                     bool& holdOver);
    // Writes records [from, to) of a chunk, oldest first, until they are all
    // written or the hold is over; returns the first not written.
    std::uint32_t WriteRecords(const QueueChunk& chunk, std::uint32_t from, std::uint32_t to,
                               std::chrono::steady_clock::time_point holdUntil, bool& holdOver) noexcept;
    // Waits until a reserved record's line is in place; false when the
    // listener goes meanwhile.
    bool WaitPublished(const QueueChunk& chunk, std::uint32_t record) const;
    std::uint64_t Pending() const {
        // Done first: the queued count only grows and is never below it.
        const std::uint64_t done = recordsDone.load();
        return recordsQueued.load() - done;
    }
    bool Stopping() const { return stopping.load(); }
};

bool CArvekLogListenerFile::State::OpenFile(bool writerThread) {
    using Clock = std::chrono::steady_clock;
    const std::uint32_t waitMs = !writerThread && lastWaitTimedOut.load() ? kMutexRetryWaitMs : kMutexWaitMs;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    if (!mutex) return false;
    if (!session.LockUntil(deadline)) {
        lastWaitTimedOut = true;
        return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    switch (mutex->Wait(static_cast<std::uint32_t>(std::max<long long>(left, 0)))) {
        case Ports::WaitResult::Acquired:
        case Ports::WaitResult::Abandoned:  // its holder died; the file is ours now
            lastWaitTimedOut = false;
            break;
        case Ports::WaitResult::TimedOut:
            lastWaitTimedOut = true;
            session.Unlock();
            return false;
        case Ports::WaitResult::Failed:
            session.Unlock();
            return false;
    }
    if (writerThread && Stopping()) {
        // The listener gave up waiting for this writer and has gone.
        mutex->Release();
        session.Unlock();
        return false;
    }
    stream.reset();
    try {
        stream = files.OpenTextForAppend(path);
    } catch (...) {
    }
    if (!stream) {
        mutex->Release();
        session.Unlock();
        return false;
    }
    return true;
}

void CArvekLogListenerFile::State::CloseFile() {
    if (stream) {
        stream->Flush();
        stream.reset();
    }
    mutex->Release();
    session.Unlock();
}

void CArvekLogListenerFile::State::WriteRecord(LogData& data) noexcept {
    try {
        if (writeCounter++ > static_cast<std::uint64_t>(limitKiB) * 10) {
            Rotate(false);
            writeCounter /= 2;
        }
        if (!stream) return;  // lost when a rotation could not reopen the file
        stream->Write(data.LineView());
        stream->Write(L"\n");  // CR LF in the file
    } catch (...) {
        // Out of memory: this record is lost.
    }
}

void CArvekLogListenerFile::State::Rotate(bool force) {
    const auto info = files.GetFileInfo(path);
    if (!info) return;
    if (!force) {
        constexpr std::uint64_t k4GiB = 1ull << 32;
        const bool larger = info->size >= k4GiB || info->size > static_cast<std::uint64_t>(limitKiB) * 1024;
        if (limitKiB == 0 || !larger) return;
    }

    const RotationPlan plan = PlanRotation(files.FindFiles(LogFileNames::SearchPattern(folder, program)), program);
    auto inFolder = [&](const std::wstring& name) { return folder + L'\\' + name; };
    if (plan.remove) files.RemoveFile(inFolder(*plan.remove));

    // Two passes, so that no new name is taken by a file still waiting for
    // its own move. A failed move stops the first pass; the files already
    // moved still go on to their new numbers, or back to their old names
    // when that number is taken, so none is left outside the series.
    std::vector<const RotationPlan::Move*> moved;
    for (const auto& move : plan.moves) {
        const std::wstring temporary = LogFileNames::TemporaryFile(folder, move.number);
        files.RemoveFile(temporary);  // left over from an interrupted rotation
        if (!files.RenameFile(inFolder(move.name), temporary)) break;
        moved.push_back(&move);
    }
    for (const RotationPlan::Move* move : moved) {
        const std::wstring temporary = LogFileNames::TemporaryFile(folder, move->number);
        if (!files.RenameFile(temporary, LogFileNames::RotatedFile(folder, program, move->number)))
            files.RenameFile(temporary, inFolder(move->name));
    }

    const bool wasOpen = stream != nullptr;
    if (wasOpen) {
        stream->Flush();
        stream.reset();
    }
    files.RenameFile(path, LogFileNames::RotatedFile(folder, program, 1));
    if (wasOpen) stream = files.OpenTextForAppend(path);
}

bool CArvekLogListenerFile::State::QueueEmpty() const {
    return chunks.empty() || (chunks.size() == 1 && readRecord == chunks.front()->records);
}

std::unique_ptr<QueueChunk> CArvekLogListenerFile::State::TakeChunk(std::size_t chars) {
    if (chars <= kChunkChars && !spareChunks.empty()) {
        auto chunk = std::move(spareChunks.back());
        spareChunks.pop_back();
        return chunk;
    }
    return std::make_unique<QueueChunk>(std::max(chars, kChunkChars));
}

bool CArvekLogListenerFile::State::WaitPublished(const QueueChunk& chunk, std::uint32_t record) const {
    // The thread that reserved the record is copying its line: a moment,
    // unless the system has just taken its processor away.
    for (unsigned turn = 0; !chunk.Published(record); ++turn) {
        if (Stopping()) return false;
        if (turn < 64) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }
    return true;
}

std::uint32_t CArvekLogListenerFile::State::WriteRecords(const QueueChunk& chunk, std::uint32_t from,
                                                         std::uint32_t to,
                                                         std::chrono::steady_clock::time_point holdUntil,
                                                         bool& holdOver) noexcept {
    // Runs of records go to the file in one write each; a run ends where the
    // write counter asks for a size check, at a record not in place yet, and
    // after kRunRecords records, when the hold is looked at. The file
    // receives the same characters as with one write per line and one per
    // line end.
    constexpr std::uint32_t kRunRecords = 256;
    const std::uint64_t checkAbove = static_cast<std::uint64_t>(limitKiB) * 10;
    std::uint32_t next = from;
    while (next < to && !stopping && !holdOver) {
        if (!WaitPublished(chunk, next)) break;
        const std::uint32_t runStart = next;
        try {
            if (writeCounter++ > checkAbove) {
                Rotate(false);
                writeCounter /= 2;
            }
            ++next;
            while (next < to && next - runStart < kRunRecords && writeCounter <= checkAbove &&
                   chunk.Published(next)) {
                ++writeCounter;
                ++next;
            }
            // Lost when a rotation could not reopen the file.
            if (stream) {
                const std::size_t begin = chunk.Begin(runStart);
                stream->Write(std::wstring_view(chunk.text.get() + begin, chunk.slots[next - 1].end - begin));
            }
        } catch (...) {
            // Out of memory: this run is lost.
            if (next == runStart) ++next;
        }
        recordsDone += next - runStart;
        holdOver = std::chrono::steady_clock::now() >= holdUntil;
    }
    return next;
}

void CArvekLogListenerFile::State::RunWriter() {
    // The writer takes everything reserved at once and writes it without
    // the queue's lock: taking records one at a time through the lock would
    // make it and the threads that log take turns on it for every line. What
    // it cannot write before its hold is over stays first in the queue, so
    // the order never changes. When the queue runs dry it waits a moment
    // with the file still open, and it ends once it has closed the file and
    // finds the queue empty.
    for (;;) {
        if (!OpenFile(true)) {
            // The records stay queued; the next record starts a new writer.
            std::lock_guard guard(queueLock);
            writerRunning = false;
            writerDone.notify_all();
            return;
        }
        const auto holdUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMaxBatchHoldMs);
        bool holdOver = false;
        std::unique_lock guard(queueLock);
        for (;;) {
            WriteQueued(guard, holdUntil, holdOver);
            if (!QueueEmpty() || stopping || holdOver) break;
            // Dry: give the threads that log a moment to add more before the
            // file is closed. The first record queued meanwhile wakes the
            // writer, so a burst that starts while it waits is taken up at
            // once rather than after the whole moment.
            const auto lingerUntil = std::min(
                holdUntil, std::chrono::steady_clock::now() + std::chrono::microseconds(kLingerMicroseconds));
            writerLingering = true;
            moreQueued.wait_until(guard, lingerUntil, [&] { return !QueueEmpty() || Stopping(); });
            writerLingering = false;
            holdOver = std::chrono::steady_clock::now() >= holdUntil;
            if (QueueEmpty()) break;
        }
        // The file is closed before the writer ends, and what came while it
        // closed is its own to write. Between the two opens the mutex is free
        // for the other processes.
        guard.unlock();
        CloseFile();
        guard.lock();
        if (QueueEmpty() || stopping) {
            writerRunning = false;
            writerDone.notify_all();
            return;
        }
    }
}

void CArvekLogListenerFile::State::WriteQueued(std::unique_lock<std::mutex>& guard,
                                               std::chrono::steady_clock::time_point holdUntil, bool& holdOver) {
    // The writer takes the records reserved so far and writes them without
    // the lock, so that the threads that log are never kept waiting by the
    // file. What the hold leaves stays where it is, for the next writer.
    while (!chunks.empty() && !stopping && !holdOver) {
        QueueChunk& chunk = *chunks.front();
        if (readRecord == chunk.records) {
            if (chunks.size() == 1) {
                // Written out: the chunk the callers fill starts again from
                // its top; one that only a long line needed goes.
                if (chunk.capacity == kChunkChars) {
                    chunk.Reset();
                } else {
                    chunks.clear();
                }
                readRecord = 0;
                break;
            }
            // The callers have gone on to the next chunk: this one is room
            // for a later burst, or given back.
            std::unique_ptr<QueueChunk> done = std::move(chunks.front());
            chunks.pop_front();
            readRecord = 0;
            if (done->capacity == kChunkChars && spareChunks.size() < kKeptChunks) {
                done->Reset();
                spareChunks.push_back(std::move(done));  // within the room reserved
            }
            continue;
        }
        const std::uint32_t to = chunk.records;
        guard.unlock();
        const std::uint32_t next = WriteRecords(chunk, readRecord, to, holdUntil, holdOver);
        guard.lock();
        readRecord = next;
    }
}

// ---------------------------------------------------------------------------
// The listener

CArvekLogListenerFile::CArvekLogListenerFile(LogLevel defaultLevel, bool queued, const LogConfigKeys& keys,
                                             Ports::IFileSystem& files, Ports::INamedObjects& namedObjects)
    : CArvekLogListener(defaultLevel), m_state(std::make_shared<State>(files, keys.programName)) {
    State& s = *m_state;
    s.queued = queued;

    // 1. The size limit: the program key's non-zero value, else the product key's.
    auto limit = LogConfigKeys::ReadDword(keys.program.get(), PolicyNames::kMaxLogSize);
    if (!limit || *limit == 0) limit = LogConfigKeys::ReadDword(keys.product.get(), PolicyNames::kMaxLogSize);
    s.limitKiB = limit && *limit != 0 ? *limit : kDefaultMaxLogSizeKiB;
    s.writeCounter = static_cast<std::uint64_t>(s.limitKiB) * 10 + 1;  // the first write checks the size

    // 2. The path; without the folder the listener stays disabled.
    if (auto roaming = files.RoamingAppDataFolder(); roaming && files.CreateFolder(*roaming)) {
        std::wstring folder = *roaming + L'\\' + LogFileNames::kFolderName;
        if (folder.size() <= LogFileNames::kMaxPath && files.CreateFolder(folder)) {
            std::wstring path = LogFileNames::LogFile(folder, keys.programName);
            if (path.size() <= LogFileNames::kMaxPath) {
                s.folder = std::move(folder);
                s.path = std::move(path);
            }
        }
    }

    // 3. The mutex, not owned.
    s.mutexName = LogMutexName(s.path.empty() ? keys.programName + L".log" : s.path);
    s.mutex = namedObjects.CreateNamedMutex(s.mutexName, false).mutex;

    // 4. The first line, and the queued switch.
    if (s.path.empty() || !s.OpenFile(false)) return;
    try {
        std::wstring start;
        switch (s.stream->ReadFromStart(25, start)) {
            case Ports::ITextFile::ReadStatus::Read:
                // The C runtime may hand back the byte-order mark it wrote itself.
                if (!start.empty() && start.front() == L'\uFEFF') start.erase(0, 1);
                if (!start.empty() && !StartsLikeLogLine(start.substr(0, 24))) s.Rotate(true);
                break;
            case Ports::ITextFile::ReadStatus::Error:
                s.Rotate(true);
                break;
            case Ports::ITextFile::ReadStatus::EndOfFile:
                break;  // an empty file is left alone
        }
        auto queuedWrites = LogConfigKeys::ReadDword(keys.program.get(), PolicyNames::kQueuedWrites);
        if (!queuedWrites) queuedWrites = LogConfigKeys::ReadDword(keys.product.get(), PolicyNames::kQueuedWrites);
        if (queuedWrites) s.queued = *queuedWrites != 0;
    } catch (...) {
        // Out of memory: the file stays as it is, the switch as created.
    }
    s.CloseFile();
}

CArvekLogListenerFile::~CArvekLogListenerFile() {
    State& s = *m_state;
    std::unique_lock guard(s.queueLock);
    // Give a running writer two chances to finish: 100 ms, then 500 ms more.
    for (auto wait : {std::chrono::milliseconds(100), std::chrono::milliseconds(500)}) {
        if (!s.writerRunning) break;
        s.writerDone.wait_for(guard, wait, [&] { return !s.writerRunning; });
    }
    s.stopping = true;  // what is still queued is lost
    s.moreQueued.notify_all();
    const bool stuck = s.writerRunning;
    guard.unlock();
    if (m_writer.joinable()) {
        // A writer that is still waiting for the mutex ends on its own when
        // the wait is over; it keeps the shared state alive until then.
        if (stuck) {
            m_writer.detach();
        } else {
            m_writer.join();
        }
    }
}

void CArvekLogListenerFile::Log(LogData& data) {
    State& s = *m_state;
    if (s.path.empty()) return;
    if (!s.queued) {
        if (!s.OpenFile(false)) return;  // the record is lost
        s.WriteRecord(data);
        s.CloseFile();
        return;
    }
    const std::wstring_view line = data.LineView();
    const std::size_t chars = line.size() + 1;  // and its line end, CR LF in the file
    QueueChunk* chunk = nullptr;
    std::size_t at = 0;
    std::uint32_t record = 0, use = 0;
    bool wakeWriter = false;
    {
        std::lock_guard guard(s.queueLock);
        try {
            if (s.chunks.empty() || !s.chunks.back()->Fits(chars)) s.chunks.push_back(s.TakeChunk(chars));
        } catch (...) {
            return;  // out of memory: this listener loses the record
        }
        chunk = s.chunks.back().get();
        at = chunk->used;
        record = chunk->records;
        use = chunk->use;
        chunk->used += chars;
        ++chunk->records;
        ++s.recordsQueued;
        wakeWriter = s.writerLingering;
        s.writerLingering = false;
        if (!s.writerRunning) {
            // The previous writer has closed the file and marked itself done;
            // it only ends its thread still. Let it go, as closing a thread's
            // handle does, rather than wait here; it holds the state it
            // touches.
            if (m_writer.joinable()) m_writer.detach();
            try {
                m_writer = std::thread([state = m_state] { state->RunWriter(); });
                s.writerRunning = true;
            } catch (...) {
                // No thread now: the record waits for the next one.
            }
        }
    }
    // The room is this call's alone, and the chunk stays until the writer
    // has written the record, which it does only once it is published.
    wchar_t* end = std::copy(line.begin(), line.end(), chunk->text.get() + at);
    *end = L'\n';
    chunk->slots[record].end = at + chars;
    chunk->slots[record].published.store(use, std::memory_order_release);
    if (wakeWriter) s.moreQueued.notify_one();
}

ListenerType CArvekLogListenerFile::GetType() const { return m_state->queued ? QueuedFile : File; }
const std::wstring& CArvekLogListenerFile::Path() const { return m_state->path; }
const std::wstring& CArvekLogListenerFile::MutexName() const { return m_state->mutexName; }
std::uint32_t CArvekLogListenerFile::MaxLogSizeKiB() const { return m_state->limitKiB; }
bool CArvekLogListenerFile::Queued() const { return m_state->queued; }

std::size_t CArvekLogListenerFile::PendingRecords() const {
    return static_cast<std::size_t>(m_state->Pending());
}

bool CArvekLogListenerFile::WriterRunning() const {
    std::lock_guard guard(m_state->queueLock);
    return m_state->writerRunning;
}

std::unique_ptr<CArvekLogListener> CreateFileListener(LogLevel defaultLevel, bool queued, const LogConfigKeys& keys,
                                                      Ports::Platform& platform) {
    return std::make_unique<CArvekLogListenerFile>(defaultLevel, queued, keys, platform.files,
                                                   platform.namedObjects);
}

}  // namespace Arvek::Shared
