// The program's own resources: the string table and raw data resources.
//
// Implementations: win32/resources_win32 (LoadStringW and FindResourceW on
// the module), sim/os/sim_resources (the same table and data,
// compiled in, in the simulated user's interface language).
//
// Nothing here throws but std::bad_alloc when memory runs out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Arvek::Ports {

class IResources {
public:
    virtual ~IResources() = default;
    // LoadStringW into a buffer of `capacity` UTF-16 units, terminator
    // included: the text, cut to capacity - 1 units; empty for an id without text.
    virtual std::wstring LoadText(std::uint32_t id, std::size_t capacity) = 0;
    // The bytes of resource `id` of the numbered resource type `type`
    // (FindResourceW, LoadResource, LockResource, SizeofResource); nullopt
    // when any step fails.
    virtual std::optional<std::vector<std::uint8_t>> LoadData(std::uint32_t type, std::uint32_t id) = 0;
};

}  // namespace Arvek::Ports
