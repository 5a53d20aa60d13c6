// The simulated notebook's debugger output and console.
#pragma once

#include <string>
#include <string_view>

#include "ports/diagnostics.h"
#include "sim/machine/transcript.h"
#include "sim/os/sim_clock.h"

namespace Arvek::Sim {

// Debugger output and console lines go to the transcript ("debug", "console").
class SimTextChannel : public Ports::IDebugOutput, public Ports::IConsole {
public:
    SimTextChannel(Transcript& transcript, SimClock& clock, std::string channel)
        : m_transcript(transcript), m_clock(clock), m_channel(std::move(channel)) {}
    void Output(std::wstring_view text) override { Write(text); }
    void Write(std::wstring_view text) override;

private:
    Transcript& m_transcript;
    SimClock& m_clock;
    std::string m_channel;
};

}  // namespace Arvek::Sim
