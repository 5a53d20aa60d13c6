#include "sim/os/sim_threads.h"

#include <future>

namespace Arvek::Sim {

namespace {
thread_local bool t_worker = false;
}

bool SimThreads::IsWorker() { return t_worker; }

std::uint32_t SimThreads::Start(std::function<void()> procedure) noexcept {
    if (TakeFault(m_faults, "threads.start")) return 0;
    try {
        std::lock_guard guard(m_lock);
        m_threads.reserve(m_threads.size() + 1);  // so that keeping the thread cannot fail
        // The id is the one the thread reads for itself, handed back before
        // its procedure runs.
        std::promise<std::uint32_t> id;
        std::future<std::uint32_t> started = id.get_future();
        ++m_busy;
        try {
            m_threads.emplace_back([this, &id, procedure = std::move(procedure)] {
                t_worker = true;
                id.set_value(m_process.CurrentThreadId());
                procedure();
                std::lock_guard guard(m_lock);
                --m_busy;
                m_quiet.notify_all();
            });
        } catch (...) {
            --m_busy;
            throw;
        }
        return started.get();
    } catch (...) {
        return 0;  // no thread (std::system_error), or no memory for it
    }
}

void SimThreads::Waiting::Begin() {
    if (!m_threads) return;
    std::lock_guard guard(m_threads->m_lock);
    if (m_begun || m_resumed) return;
    m_begun = true;
    --m_threads->m_busy;
    m_threads->m_quiet.notify_all();
}

SimThreads::Waiting::~Waiting() {
    if (!m_threads) return;
    std::lock_guard guard(m_threads->m_lock);
    if (m_begun && !m_resumed) ++m_threads->m_busy;
}

void SimThreads::Waiting::Resume() {
    if (!m_threads) return;
    std::lock_guard guard(m_threads->m_lock);
    if (m_begun && !m_resumed) ++m_threads->m_busy;
    m_resumed = true;
}

void SimThreads::Changed() {
    std::lock_guard guard(m_lock);
    m_quiet.notify_all();
}

bool SimThreads::WaitUntilQuiet(std::chrono::milliseconds limit) {
    std::unique_lock guard(m_lock);
    return m_quiet.wait_for(guard, limit, [&] { return m_busy <= 0; });
}

void SimThreads::BeginEnding() {
    std::lock_guard guard(m_lock);
    m_ending = true;
    m_quiet.notify_all();
}

bool SimThreads::Ending() const {
    std::lock_guard guard(m_lock);
    return m_ending;
}

void SimThreads::JoinAll() {
    for (;;) {
        std::vector<std::thread> threads;
        {
            std::lock_guard guard(m_lock);
            if (m_threads.empty()) {
                m_ending = false;
                return;
            }
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
