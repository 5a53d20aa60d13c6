#include "win32/resources_win32.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace Arvek::Win32 {

std::wstring Win32Resources::LoadText(std::uint32_t id, std::size_t capacity) {
    // A zero capacity would make LoadStringW hand out a pointer into the
    // resource instead of copying; the port asks for a copy.
    if (capacity == 0) return {};
    const int units = static_cast<int>(std::min<std::size_t>(capacity, INT_MAX));
    std::vector<wchar_t> buffer(static_cast<std::size_t>(units), L'\0');
    const int copied = ::LoadStringW(m_module, id, buffer.data(), units);
    if (copied <= 0) return {};
    return std::wstring(buffer.data(), static_cast<std::size_t>(copied));
}

std::optional<std::vector<std::uint8_t>> Win32Resources::LoadData(std::uint32_t type, std::uint32_t id) {
    HRSRC found = ::FindResourceW(m_module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
    if (found == nullptr) return std::nullopt;
    HGLOBAL loaded = ::LoadResource(m_module, found);
    if (loaded == nullptr) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(loaded));
    if (bytes == nullptr) return std::nullopt;
    const DWORD size = ::SizeofResource(m_module, found);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

}  // namespace Arvek::Win32
