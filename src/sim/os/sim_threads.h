// The simulated program's worker threads. They are real threads; the
// simulated notebook keeps them so that it can tell when every one of them
// has done what it can before the timeline goes on, and end them with the
// program's run:
//
// - A worker that waits for the machine (a timer of the virtual clock, the
//   answer to a dialog, an event object) says so through a Waiting scope.
//   The machine's pump waits until every worker has finished or waits so
//   (WaitUntilQuiet) before it delivers the next stimulus, so every run of
//   a scenario tells the same story.
// - At the end of a run (EndRun) the waits give up: timers report that the
//   program is ending, dialogs close with it; then every thread is joined.
//   On Windows the end of the process would stop them; here the machine
//   lives on, and no thread outlives the run's state.
//
// Thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
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

    // Whether the calling thread is a worker started here.
    static bool IsWorker();

    // A worker's wait for the machine, from Begin until the scope ends; on
    // other threads it means nothing. Begin once what the machine will end
    // the wait with is in place (a timer registered, a dialog listed), so
    // that a quiet machine always sees it.
    class Waiting {
    public:
        explicit Waiting(SimThreads& threads) : m_threads(IsWorker() ? &threads : nullptr) {}
        ~Waiting();
        Waiting(const Waiting&) = delete;
        Waiting& operator=(const Waiting&) = delete;
        void Begin();
        // The machine gives the waiting thread its way: from now on it counts
        // as busy, before it has even woken, so that the machine waits for
        // what it does next. Called by whoever ends the wait.
        void Resume();

    private:
        SimThreads* m_threads;
        bool m_begun = false;
        bool m_resumed = false;
    };
    // Tells the waits to look again (the machine gave a waiting thread
    // something, or the run is ending): call after changing what they wait
    // for, under no lock of theirs.
    void Changed();

    // Waits (for at most `limit`, in real time) until every worker has
    // finished or waits for the machine; false when the limit ran out.
    bool WaitUntilQuiet(std::chrono::milliseconds limit);

    // The run is ending: waits give up from now on.
    void BeginEnding();
    bool Ending() const;
    // Waits until every thread started so far has ended (threads they start
    // meanwhile too), and a new run may begin.
    void JoinAll();
    // Threads started and not joined yet.
    std::size_t Running() const;

private:
    SimProcess& m_process;
    SimFaults* m_faults;
    mutable std::mutex m_lock;
    std::condition_variable m_quiet;
    std::vector<std::thread> m_threads;
    int m_busy = 0;  // workers neither finished nor waiting
    bool m_ending = false;
};

}  // namespace Arvek::Sim
