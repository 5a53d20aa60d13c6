// The simulated program's worker threads. They are real threads; the
// simulated notebook keeps them so that a run of the program can end with
// every thread it started (JoinAll), before the program's state goes: on
// Windows the process's end would stop them, here the machine lives on.
//
// Thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ports/threads.h"
#include "sim/machine/faults.h"
#include "sim/os/sim_process.h"

namespace Arvek::Sim {

class SimThreads final : public Ports::IThreads {
public:
    // Thread ids come from `process`, as the threads themselves see them.
    explicit SimThreads(SimProcess& process, SimFaults* faults = nullptr) : m_process(process), m_faults(faults) {}
    ~SimThreads() override { JoinAll(); }

    std::uint32_t Start(std::function<void()> procedure) noexcept override;

    // Waits until every thread started so far has ended. Threads they start
    // meanwhile are waited for too.
    void JoinAll();
    // Threads started and not joined yet.
    std::size_t Running() const;

private:
    SimProcess& m_process;
    SimFaults* m_faults;
    mutable std::mutex m_lock;
    std::vector<std::thread> m_threads;
};

}  // namespace Arvek::Sim
