#include "sim/sim_wmi.h"

namespace Arvek::Sim {

HRESULT SimWmi::Connect(const std::wstring&, std::int32_t, std::uint32_t,
                        std::unique_ptr<Ports::IWmiServices>& services) {
    services.reset();
    return kREGDB_E_CLASSNOTREG;
}

}  // namespace Arvek::Sim
