// What the simulated notebook's user and administrator would have seen:
// toasts and dialogs, event-log entries, diagnostic log output and what the
// programs did, one line each, stamped with the simulated time. The text is
// stable so that tests and people can read and compare it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace Arvek::Sim {

class Transcript {
public:
    // `channel` names the output ("event-log", "debug", "console", "agent", ...).
    void Add(std::uint64_t elapsedMs, const std::string& channel, const std::wstring& text);

    std::vector<std::string> Lines() const;
    // Lines of one channel, text only (no time or channel).
    std::vector<std::wstring> Texts(const std::string& channel) const;
    void Clear();

    // Also echo each line to standard output as it is added.
    void SetEcho(bool echo) { m_echo = echo; }

private:
    struct Entry {
        std::uint64_t elapsedMs;
        std::string channel;
        std::wstring text;
    };
    static std::string Render(const Entry& entry);

    mutable std::mutex m_lock;
    std::vector<Entry> m_entries;
    bool m_echo = false;
};

}  // namespace Arvek::Sim
