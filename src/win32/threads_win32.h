// Worker threads over CreateThread: started at once with the default stack
// size, their handles closed at once (nobody waits for them). They run until
// their procedure returns or the process ends.
#pragma once

#include "ports/threads.h"

namespace Arvek::Win32 {

class Win32Threads final : public Ports::IThreads {
public:
    std::uint32_t Start(std::function<void()> procedure) noexcept override;
};

}  // namespace Arvek::Win32
