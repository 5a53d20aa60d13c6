#include "sim/os/sim_threads.h"

#include <future>

namespace Arvek::Sim {

std::uint32_t SimThreads::Start(std::function<void()> procedure) noexcept {
    if (TakeFault(m_faults, "threads.start")) return 0;
    try {
        std::lock_guard guard(m_lock);
        m_threads.reserve(m_threads.size() + 1);  // so that keeping the thread cannot fail
        // The id is the one the thread reads for itself, handed back before
        // its procedure runs.
        std::promise<std::uint32_t> id;
        std::future<std::uint32_t> started = id.get_future();
        m_threads.emplace_back([this, &id, procedure = std::move(procedure)] {
            id.set_value(m_process.CurrentThreadId());
            procedure();
        });
        return started.get();
    } catch (...) {
        return 0;  // no thread (std::system_error), or no memory for it
    }
}

void SimThreads::JoinAll() {
    for (;;) {
        std::vector<std::thread> threads;
        {
            std::lock_guard guard(m_lock);
            if (m_threads.empty()) return;
            threads.swap(m_threads);
        }
        for (auto& thread : threads) thread.join();
    }
}

std::size_t SimThreads::Running() const {
    std::lock_guard guard(m_lock);
    return m_threads.size();
}

}  // namespace Arvek::Sim
