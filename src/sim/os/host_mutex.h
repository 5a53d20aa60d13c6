// A named mutex shared by every process on the host, for "Global\" names: the
// simulated notebooks of several processes writing one log file serialise on
// it as Windows programs do on a global mutex. A holder that dies counts as
// having abandoned it: the next waiter gets WaitResult::Abandoned.
//
// It behaves like a Windows mutex: owned by a thread, recursive for that
// thread (every Wait needs its Release), other threads of the same process
// wait like other processes do, a thread that ends while owning it abandons
// it too, and waiters get it in the order they came (a thread that releases
// it and asks again at once queues behind them). The object exists while a
// handle to it is open anywhere on the host; opened afresh after every
// handle has gone (even through a crash), it is new and not abandoned.
//
// Under the hood: a robust, recursive, process-shared pthread mutex in a
// POSIX shared-memory object named after a hash of the mutex name
// (/dev/shm/arvek-mutex-<hash>), with a queue of waiters beside it in which
// only the first asks the pthread mutex; waiters whose thread has gone are
// dropped from it. Open-file-description locks on the object count the
// processes that have it open (the kernel drops them when a process dies),
// so the last one to close it removes it.
#pragma once

#include <memory>
#include <string>

#include "ports/named_objects.h"

namespace Arvek::Sim {

// Null when the host object cannot be made.
std::unique_ptr<Ports::INamedMutex> OpenHostMutex(const std::wstring& name);

// The shared-memory object's name for a mutex name ("/arvek-mutex-" and 32
// hex digits); names compare case-sensitively, as Windows compares them.
std::string HostMutexObjectName(const std::wstring& name);

}  // namespace Arvek::Sim
