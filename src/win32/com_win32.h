// The thread's COM runtime over ole32.
#pragma once

#include <windows.h>

#include "ports/com.h"

namespace Arvek::Win32 {

class Win32ComRuntime final : public Ports::IComRuntime {
public:
    HRESULT InitializeThread(std::uint32_t flags) override;
    void UninitializeThread() override;
    HRESULT InitializeSecurity() override;
};

}  // namespace Arvek::Win32
