// Local wall-clock time, the unbiased interrupt time and sleeping.
#pragma once

#include "ports/clock.h"

namespace Arvek::Win32 {

class Win32Clock final : public Ports::IClock {
public:
    Ports::SystemTime LocalTime() override;
    std::uint64_t UnbiasedInterruptTime() override;
    bool Sleep(std::uint32_t milliseconds) override;
};

}  // namespace Arvek::Win32
