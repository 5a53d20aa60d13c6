#include "sim/os/sim_com.h"

namespace Arvek::Sim {

HRESULT SimComRuntime::InitializeThread(std::uint32_t flags) {
    if (const auto fault = TakeFault(m_faults, "com.initialize")) return *fault;
    const bool singleThreaded = (flags & Ports::kCOINIT_APARTMENTTHREADED) != 0;
    std::lock_guard guard(m_lock);
    Thread& thread = m_threads[std::this_thread::get_id()];
    if (thread.balance == 0) {
        thread.singleThreaded = singleThreaded;
    } else if (thread.singleThreaded != singleThreaded) {
        return Ports::kRPC_E_CHANGED_MODE;
    }
    return thread.balance++ == 0 ? kS_OK : kS_FALSE;
}

void SimComRuntime::UninitializeThread() {
    std::lock_guard guard(m_lock);
    auto it = m_threads.find(std::this_thread::get_id());
    if (it != m_threads.end() && --it->second.balance == 0) m_threads.erase(it);
}

HRESULT SimComRuntime::InitializeSecurity() {
    // As on Windows: once per process; later calls fail.
    std::lock_guard guard(m_lock);
    if (m_securitySet) return MakeHr(0x80010119u);  // RPC_E_TOO_LATE
    m_securitySet = true;
    return kS_OK;
}

void SimComRuntime::Reset() {
    std::lock_guard guard(m_lock);
    m_threads.clear();
    m_securitySet = false;
}

int SimComRuntime::Balance() const {
    std::lock_guard guard(m_lock);
    auto it = m_threads.find(std::this_thread::get_id());
    return it == m_threads.end() ? 0 : it->second.balance;
}

}  // namespace Arvek::Sim
