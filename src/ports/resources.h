// The program's own resources: the string table.
//
// Implementations: win32/resources_win32 (LoadStringW on the module),
// sim/sim_resources (the same table, compiled in, in the simulated user's
// interface language).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Arvek::Ports {

class IResources {
public:
    virtual ~IResources() = default;
    // LoadStringW into a buffer of `capacity` UTF-16 units, terminator
    // included: the text, cut to capacity - 1 units; empty for an id without text.
    virtual std::wstring LoadText(std::uint32_t id, std::size_t capacity) = 0;
};

}  // namespace Arvek::Ports
