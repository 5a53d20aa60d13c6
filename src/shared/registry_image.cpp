#include "shared/registry_image.h"

#include <memory>

#include "common/hresult.h"
#include "common/strings.h"

namespace Arvek::Shared {
namespace {

std::wstring CutName(const wchar_t* name) {
    std::wstring text(name ? name : L"");
    if (text.size() > CarqReg::kMaxName) text.resize(CarqReg::kMaxName);
    return text;
}

// A string value read by CarqReg into `bytes` bytes, or nullopt. Only string
// types count: a number or binary stored under a text name is not a state.
std::optional<std::wstring> ReadStateText(CarqReg& reader, std::optional<Ports::RegistryRoot> root,
                                          const wchar_t* subKey, const wchar_t* name, std::uint32_t bufferBytes,
                                          std::uint32_t sizeGiven, std::uint32_t accessFlags) {
    std::basic_string<std::uint8_t> buffer(bufferBytes, 0);
    std::uint32_t type = Ports::kREG_SZ;
    std::uint32_t size = sizeGiven;
    if (reader.QueryValue(root, subKey, name, &type, buffer.data(), &size, accessFlags) != kERROR_SUCCESS)
        return std::nullopt;
    if (type != Ports::kREG_SZ && type != Ports::kREG_EXPAND_SZ) return std::nullopt;
    return FromUtf16Le(buffer.data(), size);
}

}  // namespace

CarqReg::CarqReg(Ports::IRegistry& registry, Ports::RegistryRoot root, const wchar_t* subKey,
                 const wchar_t* valueName, bool validate)
    : m_registry(registry), m_root(root) {
    if (validate && !subKey) throw CSharedException(L"Invalid parameter value. lpszSubKey is a nullptr.");
    if (validate && !valueName) throw CSharedException(L"Invalid parameter value. lpszValueName is a nullptr.");
    m_subKey = CutName(subKey);
    m_valueName = CutName(valueName);
}

std::uint32_t CarqReg::QueryValue(std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
    if (!size || (data && *size == 0)) return kERROR_BAD_ARGUMENTS;
    return QueryValue(m_root, m_subKey.c_str(), m_valueName.c_str(), type, data, size, m_accessFlags);
}

std::uint32_t CarqReg::QueryValue(std::optional<Ports::RegistryRoot> root, const wchar_t* subKey,
                                  const wchar_t* valueName, std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* size, std::uint32_t accessFlags) {
    if (!size || !root || !subKey) return kERROR_BAD_ARGUMENTS;
    std::unique_ptr<Ports::IRegistryKey> key;  // closed on every way out
    const std::uint32_t opened = m_registry.OpenKey(*root, subKey, Ports::kKEY_READ | accessFlags, key);
    if (opened != kERROR_SUCCESS) return opened;
    return key->QueryValue(valueName ? valueName : L"", type, data, size);
}

int GetWindowsImageState(Ports::IRegistry& registry) {
    static constexpr const wchar_t* kStates[] = {
        L"IMAGE_STATE_COMPLETE",
        L"IMAGE_STATE_UNDEPLOYABLE",
        L"IMAGE_STATE_GENERALIZE_RESEAL_TO_OOBE",
        L"IMAGE_STATE_GENERALIZE_RESEAL_TO_AUDIT",
        L"IMAGE_STATE_SPECIALIZE_RESEAL_TO_OOBE",
        L"IMAGE_STATE_SPECIALIZE_RESEAL_TO_AUDIT",
    };
    CarqReg reader(registry);
    auto text = ReadStateText(reader, Ports::RegistryRoot::LocalMachine,
                              L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\State", L"ImageState", 260, 260, 0);
    if (!text) return 0;
    const std::wstring upper = ToUpperInvariant(*text);
    for (int i = 0; i < 6; ++i)
        if (upper == kStates[i]) return i + 1;
    return 0;
}

bool IsImageStillBuilding(Ports::IRegistry& registry) {
    CarqReg reader(registry);
    constexpr auto root = Ports::RegistryRoot::LocalMachine;
    constexpr const wchar_t* kKey = L"Software\\Arvek\\Arvek Image";
    // The buffer holds 520 bytes but the size handed over is 260: at most 129 characters.
    auto text = ReadStateText(reader, root, kKey, L"StateName", 520, 260, 0);
    if (!text) text = ReadStateText(reader, root, kKey, L"StateName", 520, 260, Ports::kKEY_WOW64_64KEY);
    if (!text) return false;
    return !EqualsIgnoreCase(*text, L"IMAGE_STATE_COMPLETE");
}

}  // namespace Arvek::Shared
