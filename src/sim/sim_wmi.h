// The simulated notebook's WMI. (To be filled in: Win32_BIOS and
// Win32_OperatingSystem from the scenario.)
#pragma once

#include "ports/wmi.h"

namespace Arvek::Sim {

class SimWmi : public Ports::IWmi {
public:
    HRESULT Connect(const std::wstring& ns, std::int32_t securityFlags, std::uint32_t authnLevel,
                    std::unique_ptr<Ports::IWmiServices>& services) override;
};

}  // namespace Arvek::Sim
