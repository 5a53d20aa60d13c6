#include "sim/machine/transcript.h"

#include <cstdio>

#include "common/format.h"
#include "common/strings.h"

namespace Arvek::Sim {

std::string Transcript::Render(const Entry& entry) {
    // Control characters (the CRLF the listeners append) are not part of the line.
    std::wstring text = entry.text;
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    for (auto& c : text)
        if (c == L'\r' || c == L'\n') c = L' ';
    return NarrowUtf8(Format(L"[%5u.%03u] %-9S %s", static_cast<unsigned>(entry.elapsedMs / 1000),
                             static_cast<unsigned>(entry.elapsedMs % 1000), entry.channel, text));
}

void Transcript::Add(std::uint64_t elapsedMs, const std::string& channel, const std::wstring& text) {
    std::lock_guard guard(m_lock);
    m_entries.push_back({elapsedMs, channel, text});
    if (m_echo) {
        std::printf("%s\n", Render(m_entries.back()).c_str());
        std::fflush(stdout);
    }
}

std::vector<std::string> Transcript::Lines() const {
    std::lock_guard guard(m_lock);
    std::vector<std::string> lines;
    for (const auto& entry : m_entries) lines.push_back(Render(entry));
    return lines;
}

std::vector<std::wstring> Transcript::Texts(const std::string& channel) const {
    std::lock_guard guard(m_lock);
    std::vector<std::wstring> texts;
    for (const auto& entry : m_entries) {
        if (entry.channel != channel) continue;
        std::wstring text = entry.text;
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
        texts.push_back(text);
    }
    return texts;
}

void Transcript::Clear() {
    std::lock_guard guard(m_lock);
    m_entries.clear();
}

}  // namespace Arvek::Sim
