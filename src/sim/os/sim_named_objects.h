// Named mutexes of the simulated notebook. Names without "Global\" belong to
// the simulated log-on session and live in this process (the scenario may
// say that another program already holds one); "Global\" names are real
// host-wide objects (host_mutex.h), so that several processes share them.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ports/named_objects.h"
#include "sim/machine/faults.h"

namespace Arvek::Sim {

class SimNamedObjects : public Ports::INamedObjects {
public:
    // Mutexes are made as `faults` says ("named-objects.create-mutex").
    explicit SimNamedObjects(SimFaults* faults = nullptr) : m_faults(faults) {}

    Ports::CreateMutexResult CreateNamedMutex(const std::wstring& name, bool initiallyOwned) override;

    // Another program of the session holds a mutex of this name.
    void HoldElsewhere(const std::wstring& name);

    struct State;  // one mutex of the session

private:
    SimFaults* m_faults;
    std::mutex m_lock;
    // By upper-cased name. A mutex exists while a handle to it is open, as on
    // Windows; those held by other programs are kept alive here.
    std::map<std::wstring, std::weak_ptr<State>> m_session;
    std::vector<std::shared_ptr<State>> m_heldElsewhere;
};

}  // namespace Arvek::Sim
