// The simulated notebook's fault table: any step of a simulated port (or of
// a stand-in) that can fail on a real machine can be made to fail here with
// a chosen HRESULT, for good or once. Scenario files reach it through the
// stimuli `fail PORT.STEP HRESULT [once]` and `heal PORT.STEP`, tests through
// SimMachine::Faults(); docs/scenarios.md lists the steps.
//
// A step that reports a Win32 error rather than an HRESULT takes the code
// of an HRESULT of the Win32 facility (0x8007XXXX gives XXXX) and any other
// value as the code itself, so `fail devices.open 0` makes the call fail
// without an error code. A step that reports no code at all (a window that
// cannot be made) only fails; its value is not used.
//
// Thread-safe: the ports of every thread consult it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/hresult.h"

namespace Arvek::Sim {

class SimFaults {
public:
    struct Step {
        std::string_view name;  // "tolm.create-command"
        std::string_view what;  // what fails, for the docs and error messages
    };
    // Every step the table knows, in the order of the docs.
    static std::span<const Step> Steps();
    static bool Known(std::string_view step);

    // From now on `step` fails with `hr`; with `once`, only the next time it
    // is taken. Unknown steps are refused (std::invalid_argument).
    void Fail(std::string_view step, HRESULT hr, bool once = false);
    // `step` works again.
    void Heal(std::string_view step);

    // The failure of `step` due now (a once-only one is used up), or nullopt
    // when it works.
    std::optional<HRESULT> Take(std::string_view step);
    // The same as a Win32 error code (see above).
    std::optional<std::uint32_t> TakeError(std::string_view step);

private:
    struct Fault {
        HRESULT hr;
        bool once;
    };
    std::mutex m_lock;
    std::map<std::string, Fault, std::less<>> m_faults;
};

// For ports that may run without a table (a test's standalone port): no
// table, no failure.
inline std::optional<HRESULT> TakeFault(SimFaults* faults, std::string_view step) {
    return faults ? faults->Take(step) : std::nullopt;
}
inline std::optional<std::uint32_t> TakeFaultError(SimFaults* faults, std::string_view step) {
    return faults ? faults->TakeError(step) : std::nullopt;
}

}  // namespace Arvek::Sim
