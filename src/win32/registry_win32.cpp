#include "win32/registry_win32.h"

#include <windows.h>

#include "win32/handles.h"
#include "win32/result.h"

namespace Arvek::Win32 {
namespace {

HKEY RootKey(Ports::RegistryRoot root) {
    switch (root) {
        case Ports::RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case Ports::RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
        case Ports::RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
        case Ports::RegistryRoot::Users: return HKEY_USERS;
    }
    return nullptr;
}

std::uint32_t OpenUnder(HKEY parent, const std::wstring& path, std::uint32_t access,
                        std::unique_ptr<Ports::IRegistryKey>& key);

class Win32RegistryKey final : public Ports::IRegistryKey {
public:
    explicit Win32RegistryKey(UniqueRegistryKey key) : m_key(std::move(key)) {}

    std::uint32_t QueryValue(const std::wstring& name, std::uint32_t* type, std::uint8_t* data,
                             std::uint32_t* size) override {
        // DWORD is not std::uint32_t to the compiler; the copies start out as
        // the caller's values so that whatever the call leaves alone stays so.
        DWORD typeCopy = type ? *type : 0;
        DWORD sizeCopy = size ? *size : 0;
        const LSTATUS status = ::RegQueryValueExW(m_key.Get(), name.c_str(), nullptr, type ? &typeCopy : nullptr,
                                                  data, size ? &sizeCopy : nullptr);
        if (type) *type = typeCopy;
        if (size) *size = sizeCopy;
        return static_cast<std::uint32_t>(status);
    }

    std::uint32_t OpenSubKey(const std::wstring& path, std::uint32_t access,
                             std::unique_ptr<Ports::IRegistryKey>& key) override {
        return OpenUnder(m_key.Get(), path, access, key);
    }

private:
    UniqueRegistryKey m_key;
};

std::uint32_t OpenUnder(HKEY parent, const std::wstring& path, std::uint32_t access,
                        std::unique_ptr<Ports::IRegistryKey>& key) {
    key.reset();
    UniqueRegistryKey opened;
    ARVEK_RETURN_IF_WIN32_ERROR(::RegOpenKeyExW(parent, path.c_str(), 0, access, opened.Put()));
    key = std::make_unique<Win32RegistryKey>(std::move(opened));
    return ERROR_SUCCESS;
}

}  // namespace

std::uint32_t Win32Registry::OpenKey(Ports::RegistryRoot root, const std::wstring& path, std::uint32_t access,
                                     std::unique_ptr<Ports::IRegistryKey>& key) {
    key.reset();
    const HKEY rootKey = RootKey(root);
    ARVEK_RETURN_WIN32_IF_NULL(ERROR_INVALID_HANDLE, rootKey);
    return OpenUnder(rootKey, path, access, key);
}

}  // namespace Arvek::Win32
