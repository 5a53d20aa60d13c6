// The simulated COM runtime: every thread may initialise it; the balance is
// kept per thread so that tests can see an operation leave it as it found it.
// As on Windows, the first initialisation chooses the thread's apartment; a
// later one asking for the other kind fails with RPC_E_CHANGED_MODE and is
// not to be balanced.
#pragma once

#include <map>
#include <mutex>
#include <thread>

#include "ports/com.h"
#include "sim/machine/faults.h"

namespace Arvek::Sim {

class SimComRuntime : public Ports::IComRuntime {
public:
    // Initialisation fails as `faults` says ("com.initialize").
    explicit SimComRuntime(SimFaults* faults = nullptr) : m_faults(faults) {}

    HRESULT InitializeThread(std::uint32_t flags) override;
    void UninitializeThread() override;
    HRESULT InitializeSecurity() override;

    // Initialisations not yet balanced on the calling thread.
    int Balance() const;
    // A new process: no thread is in an apartment.
    void Reset();

private:
    SimFaults* m_faults;
    mutable std::mutex m_lock;
    struct Thread {
        int balance = 0;
        bool singleThreaded = false;
    };
    std::map<std::thread::id, Thread> m_threads;
    bool m_securitySet = false;
};

}  // namespace Arvek::Sim
