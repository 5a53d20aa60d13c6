#include "sim/os/sim_resources.h"


namespace Arvek::Sim {

// LoadStringW(module, id, ...) reads the string bundle of id (ids id & ~15
// to id | 15; resource name id / 16 + 1) through FindResourceExW with a
// neutral language and copies the bundle's entry for id. The language is
// chosen per bundle, never per string: an id that the chosen block lacks
// loads as no text, even where English has it (557 for a German user).
//
// For a neutral request the loader tries these languages in order and takes
// the first block of the bundle it finds (Wine 8's ntdll; the Windows tests
// check the same choices on Tidewatch.exe under Wine):
//   1. 0x0000, language and sublanguage neutral
//   2. the thread's locale
//   3. the user's interface language (under Wine: LC_MESSAGES, LC_ALL)
//   4. its primary language with SUBLANG_NEUTRAL (0x0807 -> 0x0007,
//      0x0C04 Hong Kong -> 0x0004 Simplified Chinese)
//   5. the system locale, then 6. its primary language with SUBLANG_NEUTRAL
//   7. English, United States (0x0409)
//   8. the bundle's first block in the resource directory (lowest language id)
// No step matches a sibling sublanguage: French, Canada (0x0C0C) finds no
// 0x040C block and gets English. Windows' multilingual loader walks its own
// fallback list of UI languages instead (it may take Hong Kong to Traditional
// Chinese); the simulation follows the loader its Windows tests run on. The
// simulated user's thread, interface and system languages are one language.
const Strings::Block* SimResources::FindBundle(std::uint32_t id) const {
    const std::uint32_t first = id & ~0xFu;
    const auto holdsBundle = [first](const Strings::Block& block) {
        for (std::uint32_t i = first; i <= (first | 0xFu); ++i)
            if (const wchar_t* text = block.Find(i); text && *text) return true;
        return false;
    };
    const std::uint16_t primaryNeutral = m_userLanguage & 0x3FFu;
    const std::uint16_t order[] = {0x0000, m_userLanguage, m_userLanguage, primaryNeutral,
                                   m_userLanguage, primaryNeutral, 0x0409};
    for (const std::uint16_t language : order)
        for (const auto& block : m_blocks)
            if (block.language == language && holdsBundle(block)) return &block;
    for (const auto& block : m_blocks)
        if (holdsBundle(block)) return &block;
    return nullptr;
}

std::span<const std::uint8_t> AgentIconData();  // generated from resources/arvek.ico

std::optional<std::vector<std::uint8_t>> SimResources::LoadData(std::uint32_t type, std::uint32_t id) {
    constexpr std::uint32_t kDataType = 300;
    constexpr std::uint32_t kAgentIconId = 133;
    if (!m_carriesAgentData || type != kDataType || id != kAgentIconId) return std::nullopt;
    const auto icon = AgentIconData();
    return std::vector<std::uint8_t>(icon.begin(), icon.end());
}

std::wstring SimResources::LoadText(std::uint32_t id, std::size_t capacity) {
    if (capacity == 0) return {};
    const Strings::Block* block = FindBundle(id);
    const wchar_t* text = block ? block->Find(id) : nullptr;
    if (!text) return {};
    return std::wstring(text).substr(0, capacity - 1);
}

}  // namespace Arvek::Sim
