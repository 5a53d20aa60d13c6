// The registry contract against the real registry (under Wine in this
// build): the test writes with the registry API itself, the adapter reads.
#include <windows.h>

#include "contract/registry_contract.h"
#include "win32/handles.h"
#include "win32/registry_win32.h"

namespace Arvek::Testing {
namespace {

class Win32RegistryBackend final : public RegistryContractBackend {
public:
    Ports::IRegistry& Registry() override { return m_registry; }

    void SetValue(const std::wstring& path, const std::wstring& name, std::uint32_t type,
                  const std::basic_string<std::uint8_t>& data, bool view32) override {
        const REGSAM view = view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
        Win32::UniqueRegistryKey key;
        const LSTATUS created = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                  KEY_SET_VALUE | view, nullptr, key.Put(), nullptr);
        ASSERT_EQ(created, ERROR_SUCCESS) << "creating the test key";
        const LSTATUS set = ::RegSetValueExW(key.Get(), name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                                             static_cast<DWORD>(data.size()));
        ASSERT_EQ(set, ERROR_SUCCESS) << "setting a test value";
    }

    void DeleteTree(const std::wstring& path) override {
        // The view applies where the key is opened: the parent is opened in
        // each view, and the tree is removed relative to it.
        const auto split = path.rfind(L'\\');
        ASSERT_NE(split, std::wstring::npos) << "a test key lies below a key of HKLM";
        const std::wstring parentPath = path.substr(0, split);
        const std::wstring leaf = path.substr(split + 1);
        for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            Win32::UniqueRegistryKey parent;
            const LSTATUS opened =
                ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_ALL_ACCESS | view, parent.Put());
            if (opened == ERROR_FILE_NOT_FOUND) continue;
            ASSERT_EQ(opened, ERROR_SUCCESS);
            const LSTATUS deleted = ::RegDeleteTreeW(parent.Get(), leaf.c_str());
            ASSERT_TRUE(deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) << "deleting: " << deleted;
        }
    }

private:
    Win32::Win32Registry m_registry;
};

std::unique_ptr<RegistryContractBackend> MakeWin32Backend() { return std::make_unique<Win32RegistryBackend>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32, RegistryContract, testing::Values(&MakeWin32Backend));

}  // namespace Arvek::Testing
