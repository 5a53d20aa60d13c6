// The simulated notebook's registry: an in-memory tree with the read
// semantics of the real one (see ports/registry.h), filled by the scenario
// from .reg texts or value by value.
//
// Key names compare case-insensitively and keep the case they were created
// with. Under HKLM, KEY_WOW64_32KEY sends a step out of "Software" into
// "Software\Wow6432Node", where the 32-bit view lives. Open keys are live:
// they see later changes, and a key deleted while open answers
// ERROR_KEY_DELETED, as on Windows.
//
// Thread-safe: any number of readers, and set-up calls from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ports/registry.h"
#include "sim/machine/faults.h"
#include "sim/os/reg_file.h"

namespace Arvek::Sim {

struct RegistryTree;  // the keys and their lock, shared with open keys

class SimRegistry final : public Ports::IRegistry {
public:
    // Keys open as `faults` says ("registry.open").
    explicit SimRegistry(SimFaults* faults = nullptr);
    ~SimRegistry() override;
    SimRegistry(const SimRegistry&) = delete;
    SimRegistry& operator=(const SimRegistry&) = delete;

    std::uint32_t OpenKey(Ports::RegistryRoot root, const std::wstring& path, std::uint32_t access,
                          std::unique_ptr<Ports::IRegistryKey>& key) override;

    // Set-up. `viewFlags` may hold KEY_WOW64_32KEY to act on the 32-bit view.
    void CreateKey(Ports::RegistryRoot root, std::wstring_view path, std::uint32_t viewFlags = 0);
    // Creates the missing keys of `path`.
    void SetValue(Ports::RegistryRoot root, std::wstring_view path, std::wstring_view name, std::uint32_t type,
                  std::basic_string_view<std::uint8_t> data, std::uint32_t viewFlags = 0);
    // A missing key or value is fine.
    void DeleteValue(Ports::RegistryRoot root, std::wstring_view path, std::wstring_view name,
                     std::uint32_t viewFlags = 0);
    // Removes the key with everything below it; an empty path empties the root.
    void DeleteTree(Ports::RegistryRoot root, std::wstring_view path, std::uint32_t viewFlags = 0);

    // Applies parsed .reg operations in order, all under one lock, so readers
    // see either none or all of them.
    void Import(const std::vector<RegOperation>& operations);
    // Parses the whole file before changing anything; throws RegFileError.
    void LoadRegFile(const std::filesystem::path& path);

private:
    std::shared_ptr<RegistryTree> m_tree;  // open keys may outlive this object
    SimFaults* m_faults;
};

}  // namespace Arvek::Sim
