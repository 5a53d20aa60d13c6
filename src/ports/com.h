// The thread's COM runtime: apartment set-up and the process's default
// security, for the operations that initialise COM themselves.
//
// Implementations: win32/com_win32 (CoInitializeEx, CoUninitialize,
// CoInitializeSecurity), sim/os/sim_com (counts the balance per thread).
//
// Nothing here throws.
#pragma once

#include <cstdint>

#include "common/hresult.h"

namespace Arvek::Ports {

constexpr std::uint32_t kCOINIT_MULTITHREADED = 0x0;
constexpr std::uint32_t kCOINIT_APARTMENTTHREADED = 0x2;
constexpr std::uint32_t kCOINIT_DISABLE_OLE1DDE = 0x4;
constexpr std::uint32_t kCOINIT_SPEED_OVER_MEMORY = 0x8;
constexpr HRESULT kRPC_E_CHANGED_MODE = MakeHr(0x80010106u);

class IComRuntime {
public:
    virtual ~IComRuntime() = default;
    // CoInitializeEx(nullptr, flags) on the calling thread: S_OK, S_FALSE when
    // already initialised (still to be balanced), or the failure.
    virtual HRESULT InitializeThread(std::uint32_t flags) = 0;
    // CoUninitialize on the calling thread.
    virtual void UninitializeThread() = 0;
    // CoInitializeSecurity with no security descriptor, authentication
    // services chosen by COM (-1), the default authentication level (0),
    // impersonation level impersonate (3), no capabilities.
    virtual HRESULT InitializeSecurity() = 0;
};

}  // namespace Arvek::Ports
