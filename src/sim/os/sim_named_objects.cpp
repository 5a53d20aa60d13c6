#include "sim/os/sim_named_objects.h"

#include <condition_variable>
#include <thread>

#include "common/hresult.h"
#include "common/strings.h"
#include "sim/os/host_mutex.h"

namespace Arvek::Sim {

// A session mutex: recursive ownership by one thread, as Windows mutexes are.
struct SimNamedObjects::State {
    std::mutex lock;
    std::condition_variable released;
    std::thread::id owner;
    unsigned count = 0;
    bool heldElsewhere = false;  // owned by a program outside the simulation
};

namespace {

class SessionMutex : public Ports::INamedMutex {
public:
    explicit SessionMutex(std::shared_ptr<void> keep, SimNamedObjects::State* state) : m_keep(std::move(keep)), m_state(state) {}
    Ports::WaitResult Wait(std::uint32_t timeoutMs) override;
    bool Release() override;

private:
    std::shared_ptr<void> m_keep;
    SimNamedObjects::State* m_state;
};

}  // namespace

Ports::WaitResult SessionMutex::Wait(std::uint32_t timeoutMs) {
    auto& s = *m_state;
    std::unique_lock guard(s.lock);
    const auto self = std::this_thread::get_id();
    auto free = [&] { return !s.heldElsewhere && (s.count == 0 || s.owner == self); };
    if (timeoutMs == Ports::kINFINITE) {
        s.released.wait(guard, free);
    } else if (!s.released.wait_for(guard, std::chrono::milliseconds(timeoutMs), free)) {
        return Ports::WaitResult::TimedOut;
    }
    s.owner = self;
    ++s.count;
    return Ports::WaitResult::Acquired;
}

bool SessionMutex::Release() {
    auto& s = *m_state;
    std::lock_guard guard(s.lock);
    if (s.count == 0 || s.owner != std::this_thread::get_id()) return false;  // ERROR_NOT_OWNER
    if (--s.count == 0) s.released.notify_all();
    return true;
}

Ports::CreateMutexResult SimNamedObjects::CreateNamedMutex(const std::wstring& name, bool initiallyOwned) {
    Ports::CreateMutexResult result;
    if (const auto error = TakeFaultError(m_faults, "named-objects.create-mutex")) {
        result.error = *error;
        return result;
    }
    if (name.rfind(L"Global\\", 0) == 0) {
        result.mutex = OpenHostMutex(name);
        if (!result.mutex) {
            result.error = kERROR_ACCESS_DENIED;
        } else if (initiallyOwned) {
            result.mutex->Wait(Ports::kINFINITE);
        }
        return result;
    }
    std::shared_ptr<State> state;
    {
        std::lock_guard guard(m_lock);
        auto& slot = m_session[ToUpperInvariant(name)];
        state = slot.lock();
        if (state) {
            result.error = kERROR_ALREADY_EXISTS;
        } else {
            state = std::make_shared<State>();
            slot = state;
        }
    }
    result.mutex = std::make_unique<SessionMutex>(state, state.get());
    // An existing mutex is opened, not taken: Windows ignores initial ownership then.
    if (initiallyOwned && result.error == 0) result.mutex->Wait(Ports::kINFINITE);
    return result;
}

void SimNamedObjects::HoldElsewhere(const std::wstring& name) {
    std::lock_guard guard(m_lock);
    auto& slot = m_session[ToUpperInvariant(name)];
    auto state = slot.lock();
    if (!state) {
        state = std::make_shared<State>();
        slot = state;
    }
    std::lock_guard inner(state->lock);
    state->heldElsewhere = true;
    m_heldElsewhere.push_back(state);
}

}  // namespace Arvek::Sim
