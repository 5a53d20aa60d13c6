// Registry port: read-only access to registry keys and values, with the
// semantics of RegOpenKeyExW / RegQueryValueExW (Win32 error codes, sizes in
// bytes, ERROR_MORE_DATA with the needed size, string data as UTF-16LE bytes
// exactly as stored). The product never writes the registry.
//
// Implementations: win32/registry_win32 (the real registry),
// sim/os/sim_registry (a registry loaded from .reg files).
//
// Nothing here throws but std::bad_alloc when memory runs out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace Arvek::Ports {

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot, Users };

// Access rights and view flags, as Windows numbers them.
constexpr std::uint32_t kKEY_QUERY_VALUE = 0x0001;
constexpr std::uint32_t kKEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr std::uint32_t kKEY_READ = 0x20019;
constexpr std::uint32_t kKEY_WOW64_64KEY = 0x0100;
constexpr std::uint32_t kKEY_WOW64_32KEY = 0x0200;

// Value types.
constexpr std::uint32_t kREG_NONE = 0;
constexpr std::uint32_t kREG_SZ = 1;
constexpr std::uint32_t kREG_EXPAND_SZ = 2;
constexpr std::uint32_t kREG_BINARY = 3;
constexpr std::uint32_t kREG_DWORD = 4;
constexpr std::uint32_t kREG_DWORD_BIG_ENDIAN = 5;
constexpr std::uint32_t kREG_MULTI_SZ = 7;
constexpr std::uint32_t kREG_QWORD = 11;

class IRegistryKey {
public:
    virtual ~IRegistryKey() = default;

    // RegQueryValueExW: `type`, `data` and `size` may each be null; with data
    // and size, at most *size bytes are copied. Returns ERROR_SUCCESS,
    // ERROR_FILE_NOT_FOUND for a missing value, ERROR_MORE_DATA (with *size
    // set to the bytes needed) when the buffer is too small, or another code.
    // An empty name is the key's default value.
    virtual std::uint32_t QueryValue(const std::wstring& name, std::uint32_t* type, std::uint8_t* data,
                                     std::uint32_t* size) = 0;

    // RegOpenKeyExW relative to this key.
    virtual std::uint32_t OpenSubKey(const std::wstring& path, std::uint32_t access,
                                     std::unique_ptr<IRegistryKey>& key) = 0;
};

class IRegistry {
public:
    virtual ~IRegistry() = default;

    // RegOpenKeyExW under a predefined root. Paths are case-insensitive and use
    // backslashes. KEY_WOW64_32KEY selects the 32-bit view of HKLM\Software.
    virtual std::uint32_t OpenKey(RegistryRoot root, const std::wstring& path, std::uint32_t access,
                                  std::unique_ptr<IRegistryKey>& key) = 0;
};

}  // namespace Arvek::Ports
