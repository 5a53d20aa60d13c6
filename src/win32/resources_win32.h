// The program's string table, read with LoadStringW from its module.
#pragma once

#include <windows.h>

#include "ports/resources.h"

namespace Arvek::Win32 {

class Win32Resources final : public Ports::IResources {
public:
    explicit Win32Resources(HINSTANCE module) : m_module(module) {}
    std::wstring LoadText(std::uint32_t id, std::size_t capacity) override;

private:
    HINSTANCE m_module;
};

}  // namespace Arvek::Win32
