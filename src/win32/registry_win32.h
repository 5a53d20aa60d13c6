// The registry port over the real registry: RegOpenKeyExW and
// RegQueryValueExW, with the caller's access flags (view flags included)
// passed through and the Win32 error codes returned as the calls give them.
#pragma once

#include "ports/registry.h"

namespace Arvek::Win32 {

class Win32Registry final : public Ports::IRegistry {
public:
    std::uint32_t OpenKey(Ports::RegistryRoot root, const std::wstring& path, std::uint32_t access,
                          std::unique_ptr<Ports::IRegistryKey>& key) override;
};

}  // namespace Arvek::Win32
