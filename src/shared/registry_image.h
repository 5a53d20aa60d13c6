// Read-only registry value reader and the checks of whether the machine's
// software image is still being prepared.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ports/registry.h"

namespace Arvek::Shared {

class CSharedException {
public:
    explicit CSharedException(std::wstring message) : m_message(std::move(message)) {}
    const std::wstring& Message() const { return m_message; }

private:
    std::wstring m_message;
};

// Reads one registry value, named at construction or per call. Returns Win32
// error codes; never writes.
class CarqReg {
public:
    static constexpr std::size_t kMaxName = 259;

    explicit CarqReg(Ports::IRegistry& registry) : m_registry(registry) {}
    // With `validate`, a null sub-key or value name throws CSharedException.
    // Names longer than 259 characters are cut.
    CarqReg(Ports::IRegistry& registry, Ports::RegistryRoot root, const wchar_t* subKey, const wchar_t* valueName,
            bool validate);
    virtual ~CarqReg() = default;

    void SetAccessFlags(std::uint32_t flags) { m_accessFlags = flags; }

    std::uint32_t QueryValue(std::uint32_t* type, std::uint8_t* data, std::uint32_t* size);
    std::uint32_t QueryValue(std::optional<Ports::RegistryRoot> root, const wchar_t* subKey, const wchar_t* valueName,
                             std::uint32_t* type, std::uint8_t* data, std::uint32_t* size, std::uint32_t accessFlags);

private:
    Ports::IRegistry& m_registry;
    std::wstring m_valueName;
    std::wstring m_subKey;
    std::optional<Ports::RegistryRoot> m_root;
    std::uint32_t m_accessFlags = 0;
};

// 1-6 for the operating system's IMAGE_STATE_* texts of "ImageState"
// (COMPLETE, UNDEPLOYABLE, GENERALIZE_RESEAL_TO_OOBE, GENERALIZE_RESEAL_TO_AUDIT,
// SPECIALIZE_RESEAL_TO_OOBE, SPECIALIZE_RESEAL_TO_AUDIT); 0 for anything else
// or when the value cannot be read.
int GetWindowsImageState(Ports::IRegistry& registry);

// True while the maker's image state ("StateName" under
// HKLM\Software\Arvek\Arvek Image) is present and not IMAGE_STATE_COMPLETE.
bool IsImageStillBuilding(Ports::IRegistry& registry);

}  // namespace Arvek::Shared
