#include "win32/com_win32.h"

#include <objbase.h>

namespace Arvek::Win32 {

HRESULT Win32ComRuntime::InitializeThread(std::uint32_t flags) {
    return ::CoInitializeEx(nullptr, static_cast<DWORD>(flags));
}

void Win32ComRuntime::UninitializeThread() { ::CoUninitialize(); }

HRESULT Win32ComRuntime::InitializeSecurity() {
    return ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

}  // namespace Arvek::Win32
