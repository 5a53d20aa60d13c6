#include "agent/core/settings_control.h"

#include <cstdint>
#include <memory>

#include "common/hresult.h"
#include "common/policy_names.h"
#include "common/strings.h"
#include "shared/log.h"

namespace Notifications::Tidewatch {

using namespace Arvek::Ports;
using Arvek::Shared::GetLog;
using Arvek::Shared::LogLevel;

namespace {

constexpr const char* kFunction = "CSettingsControl::GetRegistrySetting";
// 260 UTF-16 units, terminator included.
constexpr std::uint32_t kBufferBytes = 520;

struct Location {
    const wchar_t* path;
    const wchar_t* tryText;  // logged before trying it, or null
    const wchar_t* foundText;
};

// The agent is a 64-bit program: locations 1 and 3 are the 64-bit view's
// keys; 2 and 4 name the 32-bit view's keys by their Wow6432Node path.
constexpr Location kLocations[] = {
    {Arvek::PolicyNames::kNotificationKeys[0], nullptr, L"Found in Arvek, native location"},
    {Arvek::PolicyNames::kNotificationKeys[1], L"Try Arvek WOW", L"Found in WOW Arvek"},
    {Arvek::PolicyNames::kNotificationKeys[2], nullptr, L"Found in native, Arvekworks location"},
    {Arvek::PolicyNames::kNotificationKeys[3], L"Try wow", L"Found in WOW, Arvekworks location."},
};

// The value as text, or false when it is not a well-formed string that fits.
bool ReadString(IRegistryKey& key, const std::wstring& name, std::wstring& text) {
    std::uint8_t data[kBufferBytes] = {};
    std::uint32_t type = kREG_NONE;
    std::uint32_t size = kBufferBytes;
    if (key.QueryValue(name, &type, data, &size) != Arvek::kERROR_SUCCESS) return false;
    if (type != kREG_SZ && type != kREG_EXPAND_SZ) return false;
    if (size % 2 != 0 || size > kBufferBytes) return false;
    if (size != 0 && (data[size - 2] != 0 || data[size - 1] != 0)) return false;
    text = Arvek::FromUtf16Le(data, size);
    // Read as a C string: the text ends at its first terminator.
    if (const auto end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
    return true;
}

}  // namespace

bool CSettingsControl::GetRegistrySetting(IRegistry& registry, const std::wstring& name) {
    std::unique_ptr<IRegistryKey> key;
    const Location* found = nullptr;
    for (const auto& location : kLocations) {
        if (location.tryText) GetLog().Log(LogLevel::Verbose, kFunction, location.tryText);
        if (registry.OpenKey(RegistryRoot::LocalMachine, location.path, kKEY_QUERY_VALUE, key) ==
                Arvek::kERROR_SUCCESS &&
            key) {
            found = &location;
            break;
        }
    }
    if (!found) return false;
    GetLog().Log(LogLevel::Verbose, kFunction, found->foundText);

    // Only the first key that opens counts: a value missing there is off,
    // even when a later location has it.
    std::wstring text;
    return ReadString(*key, name, text) && Arvek::EqualsIgnoreCase(text, L"true");
}

bool CSettingsControl::AllNotificationsSuppressed(IRegistry& registry) {
    return GetRegistrySetting(registry, Arvek::PolicyNames::kSuppressAllNotifications);
}

}  // namespace Notifications::Tidewatch
