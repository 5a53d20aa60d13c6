// The registry names of the administrator's policy values: every key and
// value either program reads under HKEY_LOCAL_MACHINE. The Group Policy
// templates (policy/PolicyDefinitions) write exactly these; a test holds the
// templates to this header, so a name changed here must change there too.
#pragma once

namespace Arvek::PolicyNames {

// The agent's switches: string values, on when their text is "true" (any
// case). Only the first of these keys that opens is consulted. The agent is a
// 64-bit program: the first and third are the 64-bit view's keys, the second
// and fourth name the 32-bit view's keys by their Wow6432Node path.
inline constexpr const wchar_t* kNotificationKeys[] = {
    L"SOFTWARE\\Policies\\Arvek\\Arvek Notifications",
    L"SOFTWARE\\Wow6432Node\\Policies\\Arvek\\Arvek Notifications",
    L"SOFTWARE\\Policies\\Arvekworks\\Arvek Notifications",
    L"SOFTWARE\\Wow6432Node\\Policies\\Arvekworks\\Arvek Notifications",
};

inline constexpr wchar_t kSuppressAllNotifications[] = L"SuppressAllNotifications";
inline constexpr wchar_t kSuppressUsbCNotifications[] = L"SuppressUsbCNotifications";
inline constexpr wchar_t kSuppressUsbCBiosNotifications[] = L"SuppressUsbCBiosNotifications";
inline constexpr wchar_t kSuppressSmartAdapterNotifications[] = L"SuppressSmartAdapterNotifications";
inline constexpr wchar_t kSuppressTarnwallNotifications[] = L"SuppressTarnwallNotifications";
inline constexpr wchar_t kSuppressAllLoggings[] = L"SuppressAllLoggings";
inline constexpr wchar_t kSuppressTarnwallLoggings[] = L"SuppressTarnwallLoggings";

inline constexpr const wchar_t* kSuppressSwitches[] = {
    kSuppressAllNotifications,          kSuppressUsbCNotifications, kSuppressUsbCBiosNotifications,
    kSuppressSmartAdapterNotifications, kSuppressTarnwallNotifications, kSuppressAllLoggings,
    kSuppressTarnwallLoggings,
};

// The diagnostic log's values: under this root followed by the product name
// of the program's version resource (the product key), and in the product
// key's sub-key named after the executable's base name (the program key),
// which overrides the product key value by value.
inline constexpr wchar_t kLoggingPolicyRoot[] = L"Software\\Policies\\Arvek\\";

inline constexpr wchar_t kLoggingType[] = L"LoggingType";
inline constexpr wchar_t kMinLogLevel[] = L"MinLogLevel";
inline constexpr wchar_t kMaxLogLevel[] = L"MaxLogLevel";
inline constexpr wchar_t kMaxLogSize[] = L"MaxLogSize";
inline constexpr wchar_t kQueuedWrites[] = L"QueuedWrites";

inline constexpr const wchar_t* kLoggingValues[] = {
    kLoggingType, kMinLogLevel, kMaxLogLevel, kMaxLogSize, kQueuedWrites,
};

}  // namespace Arvek::PolicyNames
