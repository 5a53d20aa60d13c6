// Named kernel objects: mutexes by name, as CreateMutexW makes them. A name
// without the "Global\" prefix is private to the log-on session; a "Global\"
// name is shared by every session of the machine (and, for the log file's
// mutex, by every process writing that file).
//
// Implementations: win32/named_objects_win32, sim/os/sim_named_objects.
//
// Nothing here throws but std::bad_alloc when memory runs out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace Arvek::Ports {

enum class WaitResult {
    Acquired,   // WAIT_OBJECT_0
    Abandoned,  // WAIT_ABANDONED: the previous owner ended while holding it; now ours
    TimedOut,   // WAIT_TIMEOUT
    Failed,     // WAIT_FAILED
};

constexpr std::uint32_t kINFINITE = 0xFFFFFFFFu;

class INamedMutex {
public:
    virtual ~INamedMutex() = default;  // closes the handle (does not release ownership)
    virtual WaitResult Wait(std::uint32_t timeoutMs) = 0;
    virtual bool Release() = 0;
};

struct CreateMutexResult {
    std::unique_ptr<INamedMutex> mutex;  // null when creation failed
    std::uint32_t error = 0;             // the last error after the call: ERROR_ALREADY_EXISTS (183)
                                         // when the name existed (the handle is still valid then)
};

class INamedObjects {
public:
    virtual ~INamedObjects() = default;
    virtual CreateMutexResult CreateNamedMutex(const std::wstring& name, bool initiallyOwned) = 0;
};

}  // namespace Arvek::Ports
