// Threads: the program's worker threads (the ACPI monitor, the audit-log
// runs, the firmware-protection workers, the event-log key build), started
// and not waited for, as CreateThread with a closed handle starts them.
//
// Implementations: win32/threads_win32 (CreateThread), sim/os/sim_threads
// (threads the simulated notebook joins before the program's state goes, so
// that a run ends with every thread it started).
//
// Nothing here throws.
#pragma once

#include <cstdint>
#include <functional>

namespace Arvek::Ports {

class IThreads {
public:
    virtual ~IThreads() = default;
    // Starts a thread that runs `procedure` at once, with the default stack
    // size. The thread's id, or 0 when it cannot be started (the procedure
    // then never runs). The procedure must not throw: a thread procedure
    // catches at its own boundary (shared/exception_barrier.h). Whatever it
    // uses must outlive it.
    virtual std::uint32_t Start(std::function<void()> procedure) noexcept = 0;
};

}  // namespace Arvek::Ports
