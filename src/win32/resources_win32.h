// The program's string table, read with LoadStringW from its module, and its
// raw data resources.
#pragma once

#include <windows.h>

#include "ports/resources.h"

namespace Arvek::Win32 {

class Win32Resources final : public Ports::IResources {
public:
    explicit Win32Resources(HINSTANCE module) : m_module(module) {}
    std::wstring LoadText(std::uint32_t id, std::size_t capacity) override;
    std::optional<std::vector<std::uint8_t>> LoadData(std::uint32_t type, std::uint32_t id) override;

private:
    HINSTANCE m_module;
};

}  // namespace Arvek::Win32
