// Debugger output (OutputDebugStringW) and the console (standard output).
//
// Implementations: win32/diagnostics_win32, sim/os/sim_diagnostics.
//
// Neither throws but for std::bad_alloc when a copy of the text cannot be made
// (the log calls them inside its own barrier).
#pragma once

#include <string>
#include <string_view>

namespace Arvek::Ports {

class IDebugOutput {
public:
    virtual ~IDebugOutput() = default;
    virtual void Output(std::wstring_view text) = 0;
};

class IConsole {
public:
    virtual ~IConsole() = default;
    virtual void Write(std::wstring_view text) = 0;
};

}  // namespace Arvek::Ports
