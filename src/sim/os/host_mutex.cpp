#include "sim/os/host_mutex.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <string>

#include "common/strings.h"

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace Arvek::Sim {
namespace {

using Clock = std::chrono::steady_clock;

// The waiters, first come first served. A Windows mutex hands itself to a
// waiter when released; a pthread mutex lets whoever asks next take it, and
// a thread that releases and asks again at once (a writer in a loop) can
// keep a woken waiter out for a long time on a busy machine. So only the
// longest-waiting thread asks the pthread mutex; the others wait their turn.
struct WaitSlot {
    std::uint64_t ticket;  // 0: free
    pid_t pid;
    pid_t tid;
};
constexpr std::size_t kSlots = 128;  // beyond that, waiters ask the pthread mutex directly

struct SharedBlock {
    pthread_mutex_t mutex;  // the mutex itself: robust, recursive, process-shared
    pthread_mutex_t guard;  // robust; held for a few instructions while the queue changes
    std::atomic<std::uint32_t> headChanged;  // futex word, bumped whenever a waiter leaves the queue
    std::uint64_t nextTicket;
    WaitSlot slots[kSlots];
};

// Byte ranges of the object's open-file-description locks.
constexpr off_t kOpenCloseByte = 0;  // held exclusively while a process opens or closes the object
constexpr off_t kUsersByte = 1;      // held shared by every process that has the object open

bool SetLock(int fd, short type, off_t byte, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    while (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR || !wait) return false;
    }
    return true;
}

bool InitMutex(pthread_mutex_t* mutex, bool recursive) {
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) return false;
    const bool ok =
        pthread_mutexattr_settype(&attributes, recursive ? PTHREAD_MUTEX_RECURSIVE : PTHREAD_MUTEX_NORMAL) == 0 &&
        pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 && pthread_mutex_init(mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    return ok;
}

bool InitBlock(SharedBlock* block) {
    block->headChanged.store(0);
    block->nextTicket = 1;
    for (auto& slot : block->slots) slot = WaitSlot{};
    return InitMutex(&block->mutex, true) && InitMutex(&block->guard, false);
}

// ThreadSanitizer's wrapper of pthread_mutex_timedlock records a lock only
// when the call returns 0. Taken over from a dead owner (EOWNERDEAD) the
// mutex would look free to it, and our later unlock wrong; tell it. (Its
// wrappers of pthread_mutex_lock and _trylock know EOWNERDEAD.)
void NoteTakenOverByTimedLock([[maybe_unused]] pthread_mutex_t* mutex) {
#if defined(__SANITIZE_THREAD__)
    __tsan_mutex_pre_lock(mutex, __tsan_mutex_try_lock);
    __tsan_mutex_post_lock(mutex, __tsan_mutex_try_lock, 0);
#endif
}

// pthread_mutex_timedlock until a steady deadline. It measures against the
// wall clock, which may jump; short slices keep the bound honest.
int LockUntil(pthread_mutex_t* mutex, Clock::time_point deadline) {
    constexpr auto kSlice = std::chrono::milliseconds(50);
    if (const int rc = pthread_mutex_trylock(mutex); rc != EBUSY) return rc;
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return pthread_mutex_trylock(mutex);
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::min<Clock::duration>(left, kSlice)).count();
        struct timespec until {};
        ::clock_gettime(CLOCK_REALTIME, &until);
        until.tv_sec += static_cast<time_t>(ns / 1000000000);
        until.tv_nsec += static_cast<long>(ns % 1000000000);
        if (until.tv_nsec >= 1000000000) {
            until.tv_nsec -= 1000000000;
            ++until.tv_sec;
        }
        const int rc = pthread_mutex_timedlock(mutex, &until);
        if (rc == EOWNERDEAD) NoteTakenOverByTimedLock(mutex);
        if (rc != ETIMEDOUT) return rc;
    }
}

bool ThreadAlive(pid_t pid, pid_t tid) { return ::syscall(SYS_tgkill, pid, tid, 0) == 0 || errno != ESRCH; }

// The queue of waiters, under the block's guard.
class Queue {
public:
    explicit Queue(SharedBlock* block) : m_block(block) {}

    // Takes the guard; false when that does not happen by the deadline.
    bool Lock(Clock::time_point deadline) {
        const int rc = LockUntil(&m_block->guard, deadline);
        if (rc == EOWNERDEAD) {
            // A process died in the middle of changing the queue. Every
            // change leaves the queue usable at any point: carry on.
            pthread_mutex_consistent(&m_block->guard);
            return true;
        }
        return rc == 0;
    }
    void Unlock() { pthread_mutex_unlock(&m_block->guard); }

    bool Empty() const {
        return std::none_of(std::begin(m_block->slots), std::end(m_block->slots),
                            [](const WaitSlot& slot) { return slot.ticket != 0; });
    }

    // A slot for the calling thread at the end of the queue; null when full.
    WaitSlot* Join() {
        for (auto& slot : m_block->slots) {
            if (slot.ticket != 0) continue;
            slot.pid = ::getpid();
            slot.tid = ::gettid();
            slot.ticket = m_block->nextTicket++;  // last: a half-made slot stays free
            return &slot;
        }
        return nullptr;
    }

    void Leave(WaitSlot* slot) {
        slot->ticket = 0;
        HeadChanged();
    }

    // Whether `slot` is first, after removing waiters whose thread is gone.
    bool First(const WaitSlot* slot) {
        const WaitSlot* first = nullptr;
        for (auto& other : m_block->slots) {
            if (other.ticket == 0) continue;
            if (&other != slot && !ThreadAlive(other.pid, other.tid)) {
                Leave(&other);
                continue;
            }
            if (!first || other.ticket < first->ticket) first = &other;
        }
        return first == slot;
    }

    std::uint32_t Generation() const { return m_block->headChanged.load(); }

    // Sleeps until the queue's head may have changed or the time is up.
    void AwaitChange(std::uint32_t seen, Clock::duration most) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(most).count();
        struct timespec wait {
            static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)
        };
        ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&m_block->headChanged), FUTEX_WAIT, seen, &wait,
                  nullptr, 0);
    }

private:
    void HeadChanged() {
        m_block->headChanged.fetch_add(1);
        ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&m_block->headChanged), FUTEX_WAKE, INT_MAX, nullptr,
                  nullptr, 0);
    }

    SharedBlock* m_block;
};

// One process's view of the host object, shared by every handle the
// process has open to it.
class HostObject {
public:
    static std::shared_ptr<HostObject> Open(const std::string& objectName);
    ~HostObject();
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    SharedBlock* Block() { return m_block; }

    // Which threads of this process hold it, and how often.
    void Acquired() {
        std::lock_guard guard(m_ownersLock);
        ++m_owners[::gettid()];
    }
    bool OwnedByCaller() {
        std::lock_guard guard(m_ownersLock);
        return m_owners.count(::gettid()) != 0;
    }
    // Whether the calling thread holds it (then it counts one release).
    bool Releasing() {
        std::lock_guard guard(m_ownersLock);
        auto it = m_owners.find(::gettid());
        if (it == m_owners.end()) return false;
        if (--it->second == 0) m_owners.erase(it);
        return true;
    }
    bool OwnedByALiveThread() {
        std::lock_guard guard(m_ownersLock);
        for (const auto& [tid, count] : m_owners)
            if (ThreadAlive(::getpid(), tid)) return true;
        return false;
    }

private:
    HostObject(std::string objectName, int fd, SharedBlock* block)
        : m_objectName(std::move(objectName)), m_fd(fd), m_block(block) {}

    std::string m_objectName;
    int m_fd;
    SharedBlock* m_block;
    std::mutex m_ownersLock;
    std::map<pid_t, long> m_owners;
};

std::shared_ptr<HostObject> HostObject::Open(const std::string& objectName) {
    const std::string hostPath = "/dev/shm" + objectName;
    // A retry only happens when another process removed the object between
    // our shm_open and taking the lock; a few are plenty.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) return nullptr;
        auto fail = [fd] {
            ::close(fd);  // drops every lock of this descriptor
            return nullptr;
        };
        if (!SetLock(fd, F_WRLCK, kOpenCloseByte, true)) return fail();
        struct stat opened {}, linked {};
        if (::fstat(fd, &opened) != 0) return fail();
        if (::stat(hostPath.c_str(), &linked) != 0 || linked.st_ino != opened.st_ino ||
            linked.st_dev != opened.st_dev) {
            ::close(fd);  // removed meanwhile by its last user: open the new one
            continue;
        }
        ::fchmod(fd, 0666);  // other users' processes share "Global\" names too; umask may have narrowed it
        bool fresh = static_cast<std::size_t>(opened.st_size) != sizeof(SharedBlock);
        if (fresh && ::ftruncate(fd, sizeof(SharedBlock)) != 0) return fail();
        void* memory = ::mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (memory == MAP_FAILED) return fail();
        auto* block = static_cast<SharedBlock*>(memory);
        // Nobody has it open, yet it is there: left by processes that died.
        // Windows would have destroyed it with their last handle.
        if (!fresh && SetLock(fd, F_WRLCK, kUsersByte, false)) fresh = true;
        if ((fresh && !InitBlock(block)) || !SetLock(fd, F_RDLCK, kUsersByte, true)) {
            ::munmap(memory, sizeof(SharedBlock));
            return fail();
        }
        SetLock(fd, F_UNLCK, kOpenCloseByte, false);
        return std::shared_ptr<HostObject>(new HostObject(objectName, fd, block));
    }
    return nullptr;
}

HostObject::~HostObject() {
    if (OwnedByALiveThread()) {
        // A thread of ours still owns it (closing a handle does not release a
        // Windows mutex). The mapping must stay: the thread's robust list
        // points into it, and when the thread ends the kernel marks the mutex
        // abandoned there for the other processes. (A thread that ended
        // owning it left it abandoned already; that needs nothing.)
        return;
    }
    SetLock(m_fd, F_WRLCK, kOpenCloseByte, true);
    SetLock(m_fd, F_UNLCK, kUsersByte, false);
    if (SetLock(m_fd, F_WRLCK, kUsersByte, false)) ::shm_unlink(m_objectName.c_str());
    ::munmap(m_block, sizeof(SharedBlock));
    ::close(m_fd);
}

// The objects this process has open, by object name. Never destroyed, so
// that handles closed during the process's exit still find it.
std::mutex& RegistryLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
std::map<std::string, std::weak_ptr<HostObject>>& Registry() {
    static auto* registry = new std::map<std::string, std::weak_ptr<HostObject>>;
    return *registry;
}

class HostMutex final : public Ports::INamedMutex {
public:
    explicit HostMutex(std::shared_ptr<HostObject> object) : m_object(std::move(object)) {}
    Ports::WaitResult Wait(std::uint32_t timeoutMs) override;
    bool Release() override;

private:
    int Lock(Clock::time_point deadline);
    Ports::WaitResult Result(int rc);

    std::shared_ptr<HostObject> m_object;
};

int HostMutex::Lock(Clock::time_point deadline) {
    SharedBlock* block = m_object->Block();
    pthread_mutex_t* mutex = &block->mutex;
    // Its owner asks again: one more level, as Windows counts them.
    if (m_object->OwnedByCaller()) return pthread_mutex_trylock(mutex);

    Queue queue(block);
    if (!queue.Lock(deadline)) return ETIMEDOUT;
    const bool nobodyWaits = queue.Empty();
    queue.Unlock();
    if (nobodyWaits) {
        if (const int rc = pthread_mutex_trylock(mutex); rc != EBUSY) return rc;
    }
    if (Clock::now() >= deadline) return ETIMEDOUT;

    if (!queue.Lock(deadline)) return ETIMEDOUT;
    WaitSlot* slot = queue.Join();
    queue.Unlock();
    if (!slot) return LockUntil(mutex, deadline);  // a crowd: no turns kept

    int rc = ETIMEDOUT;
    for (;;) {
        if (!queue.Lock(deadline)) break;
        const bool first = queue.First(slot);
        const std::uint32_t seen = queue.Generation();
        queue.Unlock();
        if (first) {
            rc = LockUntil(mutex, deadline);
            break;
        }
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) break;
        queue.AwaitChange(seen, std::min<Clock::duration>(left, std::chrono::milliseconds(20)));
    }
    // Leave the queue, whatever happened; the guard is only ever held for
    // moments, so waiting a little past the deadline for it is fine.
    if (queue.Lock(Clock::now() + std::chrono::seconds(5))) {
        queue.Leave(slot);
        queue.Unlock();
    }
    return rc;
}

Ports::WaitResult HostMutex::Result(int rc) {
    switch (rc) {
        case 0:
            m_object->Acquired();
            return Ports::WaitResult::Acquired;
        case EOWNERDEAD:
            // The owner ended while holding it: it is ours now, abandoned.
            pthread_mutex_consistent(&m_object->Block()->mutex);
            m_object->Acquired();
            return Ports::WaitResult::Abandoned;
        case EBUSY:
        case ETIMEDOUT:
            return Ports::WaitResult::TimedOut;
        default:  // ENOTRECOVERABLE, EAGAIN (too many recursions), EDEADLK
            return Ports::WaitResult::Failed;
    }
}

Ports::WaitResult HostMutex::Wait(std::uint32_t timeoutMs) {
    const auto deadline = timeoutMs == Ports::kINFINITE ? Clock::time_point::max()
                                                        : Clock::now() + std::chrono::milliseconds(timeoutMs);
    return Result(Lock(deadline));
}

bool HostMutex::Release() {
    if (!m_object->Releasing()) return false;  // ERROR_NOT_OWNER
    return pthread_mutex_unlock(&m_object->Block()->mutex) == 0;
}

std::uint64_t Fnv1a(const std::string& bytes, std::uint64_t hash) {
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

}  // namespace

std::string HostMutexObjectName(const std::wstring& name) {
    const std::string utf8 = NarrowUtf8(name);
    char hex[33];
    std::snprintf(hex, sizeof(hex), "%016llx%016llx",
                  static_cast<unsigned long long>(Fnv1a(utf8, 0xCBF29CE484222325ull)),
                  static_cast<unsigned long long>(Fnv1a(utf8, 0x84222325CBF29CE4ull)));
    return std::string("/arvek-mutex-") + hex;
}

std::unique_ptr<Ports::INamedMutex> OpenHostMutex(const std::wstring& name) {
    const std::string objectName = HostMutexObjectName(name);
    std::lock_guard guard(RegistryLock());
    auto& slot = Registry()[objectName];
    std::shared_ptr<HostObject> object = slot.lock();
    if (!object) {
        object = HostObject::Open(objectName);
        if (!object) {
            Registry().erase(objectName);
            return nullptr;
        }
        slot = object;
    }
    return std::make_unique<HostMutex>(std::move(object));
}

}  // namespace Arvek::Sim
