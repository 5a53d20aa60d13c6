#include "win32/wmi_win32.h"

namespace Arvek::Win32 {

HRESULT Win32Wmi::Connect(const std::wstring&, std::int32_t, std::uint32_t,
                          std::unique_ptr<Ports::IWmiServices>& services) {
    services.reset();
    return kREGDB_E_CLASSNOTREG;
}

}  // namespace Arvek::Win32
