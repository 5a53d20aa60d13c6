// The simulated notebook's dialogs and message boxes: each one the program
// shows is written to the transcript ("dialog" channel: its template, icon,
// texts and link line) and answered from the timeline (`dialog click ID`,
// `dialog link`, `dialog escape`, `dialog close`, `message-box ok`), always
// the topmost one: the one opened last and still open.
//
// A dialog on the program's main thread runs a modal loop of its own there:
// the program's windows get their messages and the machine's pump turns
// inside it, so a firmware event that arrives while it is open is handled,
// nested, and may open a second dialog on top. A dialog on a worker thread
// waits there for its answers. A dialog still open when the program's run
// ends closes with the program.
//
// Thread-safe: the timeline answers from the main thread what workers show.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ports/dialogs.h"
#include "sim/machine/transcript.h"
#include "sim/os/sim_clock.h"
#include "sim/os/sim_threads.h"
#include "sim/os/sim_windowing.h"

namespace Arvek::Sim {

class SimDialogs final : public Ports::IDialogs {
public:
    SimDialogs(Transcript& transcript, SimClock& clock, SimWindowing& windowing, SimThreads& threads)
        : m_transcript(transcript), m_clock(clock), m_windowing(windowing), m_threads(threads) {}

    std::intptr_t ShowModal(std::uint32_t templateId, Ports::IDialogHandler& handler) override;
    int ShowMessageBox(const std::wstring& text, const std::wstring& caption) override;

    // The timeline's answers to the topmost dialog or message box; false
    // when there is none to answer. A click on control 141 (the check box)
    // ticks or unticks it first; a link press reaches only a link line.
    bool Click(int control);
    bool PressLink();
    bool Escape() { return Click(Ports::kIDCANCEL); }
    bool Close();
    bool AnswerMessageBox();

    // The run ends: what is still open closes with the program.
    void EndAll();
    // Dialogs and message boxes open now.
    std::size_t OpenCount() const;

    struct Box;

private:
    // Runs the modal loop of `box` until it ends.
    void RunModal(Box& box);
    // The topmost dialog (or message box), or null; under the lock.
    Box* Topmost(bool messageBox);
    bool Send(bool messageBox, std::function<void(Box&)> command);
    void Note(const std::wstring& text);

    Transcript& m_transcript;
    SimClock& m_clock;
    SimWindowing& m_windowing;
    SimThreads& m_threads;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Box*> m_open;  // oldest first
};

}  // namespace Arvek::Sim
