// The machine's BIOS version text, which tells the platform generation.
#pragma once

#include <string>

#include "ports/wmi.h"

namespace Arvek::Tolm {

// "SMBIOSBIOSVersion" of the first Win32_BIOS object, or empty text when WMI
// cannot tell. The calling thread has initialised COM; each call makes and
// drops its own connection.
std::wstring GetBiosVersion(Ports::IWmi& wmi);

}  // namespace Arvek::Tolm
