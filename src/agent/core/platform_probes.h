// Small probes of the agent shared by its start-up and its window messages:
// the system's version, the agent's icon as a file, and showing the USB
// Type-C messages that are already waiting.
#pragma once

#include <cstdint>
#include <string>

#include "ports/platform.h"

namespace Notifications::Tidewatch {

class CNotificationsHandler;

// Windows 6.2 (Windows 8) or later; false when the system cannot tell.
bool IsWindows8OrLater(Arvek::Ports::IProcess& process);

// The system's major version is 10 or more, as WMI's Win32_OperatingSystem
// tells it; false when it cannot be read.
bool Win10AndHiger(Arvek::Ports::Platform& platform);

// "major.minor..." as major x 100 + minor, with `major` and `minor` set;
// 0 (and both 0) unless the text starts with two numbers joined by a dot.
std::int64_t ParseVersionNumber(const std::wstring& text, std::int32_t& major, std::int32_t& minor);

// The file `name` in the user's temporary folder: an existing file is used
// as it is; otherwise it is written from the agent's data resource `id`.
// Empty when neither works.
std::wstring GetDefaultIconPath(Arvek::Ports::Platform& platform, const std::wstring& name, std::uint16_t id);

// Shows the messages the firmware holds already: those of the ACPI path
// (port selector 0) where the machine signals USB Type-C events that way,
// else all ports' (255) where it has USB Type-C, else nothing. Without a
// handler yet (a message that arrives before the start-up made it) nothing
// is shown.
void DisplayExistingMessages(CNotificationsHandler* handler);

}  // namespace Notifications::Tidewatch
