#include "tolm/bios_version.h"

#include <memory>

#include "shared/log.h"

namespace Arvek::Tolm {

std::wstring GetBiosVersion(Ports::IWmi& wmi) {
    Shared::CArvekLogTrace trace("Arvek::Tolm::GetBiosVersion");
    std::unique_ptr<Ports::IWmiServices> services;
    if (Failed(wmi.Connect(L"ROOT\\CIMV2", 0, Ports::kRPC_C_AUTHN_LEVEL_CALL, services)) || !services) return {};

    std::unique_ptr<Ports::IWmiEnumerator> results;
    if (Failed(services->ExecQuery(L"SELECT * FROM Win32_BIOS",
                                   Ports::kWBEM_FLAG_FORWARD_ONLY | Ports::kWBEM_FLAG_RETURN_IMMEDIATELY, results)) ||
        !results)
        return {};

    std::unique_ptr<Ports::IWmiObject> bios;
    if (results->Next(Ports::kWBEM_INFINITE, bios) != kS_OK || !bios) return {};

    Variant version;
    if (Failed(bios->Get(L"SMBIOSBIOSVersion", version)) || version.vt != kVT_BSTR) return {};
    return version.StringOrEmpty();
}

}  // namespace Arvek::Tolm
