// WMI through the locator. (To be filled in.)
#pragma once

#include "ports/wmi.h"

namespace Arvek::Win32 {

class Win32Wmi final : public Ports::IWmi {
public:
    HRESULT Connect(const std::wstring& ns, std::int32_t securityFlags, std::uint32_t authnLevel,
                    std::unique_ptr<Ports::IWmiServices>& services) override;
};

}  // namespace Arvek::Win32
