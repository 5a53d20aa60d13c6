// The administrator's policy switches of the agent: string values "true"
// (any case) in the first of four policy keys that exists. Read on demand,
// never cached, never written.
#pragma once

#include <string>

#include "ports/registry.h"

namespace Notifications::Tidewatch {

class CSettingsControl {
public:
    // Whether the policy value `name` is on. Everything that is not a string
    // "true" (no key, no value, another type, too long, malformed) is off.
    static bool GetRegistrySetting(Arvek::Ports::IRegistry& registry, const std::wstring& name);
    // "SuppressAllNotifications".
    static bool AllNotificationsSuppressed(Arvek::Ports::IRegistry& registry);
};

}  // namespace Notifications::Tidewatch
