#include "sim/os/sim_diagnostics.h"


namespace Arvek::Sim {

void SimTextChannel::Write(std::wstring_view text) {
    m_transcript.Add(m_clock.ElapsedMs(), m_channel, std::wstring(text));
}

}  // namespace Arvek::Sim
