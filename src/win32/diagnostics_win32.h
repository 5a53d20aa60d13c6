// Text for a debugger (OutputDebugStringW) and for the standard output.
#pragma once

#include "ports/diagnostics.h"

namespace Arvek::Win32 {

class Win32DebugOutput final : public Ports::IDebugOutput {
public:
    void Output(std::wstring_view text) override;
};

// Writes UTF-8 to the process's standard output handle. A GUI program
// started without one (the usual case) has nowhere to write: the text is
// dropped.
class Win32Console final : public Ports::IConsole {
public:
    void Write(std::wstring_view text) override;
};

}  // namespace Arvek::Win32
