#include "sim/sim_com.h"

namespace Arvek::Sim {

HRESULT SimComRuntime::InitializeThread(std::uint32_t) {
    std::lock_guard guard(m_lock);
    return m_balance[std::this_thread::get_id()]++ == 0 ? kS_OK : kS_FALSE;
}

void SimComRuntime::UninitializeThread() {
    std::lock_guard guard(m_lock);
    auto it = m_balance.find(std::this_thread::get_id());
    if (it != m_balance.end() && --it->second == 0) m_balance.erase(it);
}

HRESULT SimComRuntime::InitializeSecurity() {
    // As on Windows: once per process; later calls fail.
    std::lock_guard guard(m_lock);
    if (m_securitySet) return MakeHr(0x80010119u);  // RPC_E_TOO_LATE
    m_securitySet = true;
    return kS_OK;
}

int SimComRuntime::Balance() const {
    std::lock_guard guard(m_lock);
    auto it = m_balance.find(std::this_thread::get_id());
    return it == m_balance.end() ? 0 : it->second;
}

}  // namespace Arvek::Sim
