// The simulated program's resources: its string table and data resources.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ports/resources.h"
#include "string_table.h"

namespace Arvek::Sim {

// A program's string table as LoadStringW reads it for the simulated user:
// the block of the user's interface language, per bundle of 16 ids, with the
// loader's fallbacks (sim_resources.cpp tells the order).
class SimResources : public Ports::IResources {
public:
    // The program's own generated table.
    explicit SimResources(std::uint16_t userLanguage, Strings::Program program = Strings::Program::Tidewatch)
        : SimResources(userLanguage, Strings::ProgramBlocks(program)) {
        m_carriesAgentData = program == Strings::Program::Tidewatch;
    }
    // Any table laid out like the generated one, in ascending language id.
    SimResources(std::uint16_t userLanguage, std::span<const Strings::Block> blocks)
        : m_userLanguage(userLanguage), m_blocks(blocks) {}

    std::wstring LoadText(std::uint32_t id, std::size_t capacity) override;
    // Tidewatch carries the agent's icon (type 300, id 133); Portolan no data.
    std::optional<std::vector<std::uint8_t>> LoadData(std::uint32_t type, std::uint32_t id) override;

private:
    const Strings::Block* FindBundle(std::uint32_t id) const;
    bool m_carriesAgentData = false;

    std::uint16_t m_userLanguage;
    std::span<const Strings::Block> m_blocks;
};

}  // namespace Arvek::Sim
