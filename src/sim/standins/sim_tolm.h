// The simulated notebook's Tolm component: it answers from the scenario's
// "[tolm]" section (Standin::TolmAnswers), changed during a run by the
// timeline's `tolm NAME = ANSWER`, and remembers every command it was asked,
// with its argument, so tests can see what the programs sent. Without a
// "[tolm]" section the component is absent: no object can be created. The
// fault table's "tolm.*" steps fail on top of the answers.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

#include "ports/tolm.h"
#include "sim/machine/faults.h"
#include "standin/tolm_answers.h"

namespace Arvek::Sim {

class SimTolm : public Ports::ITolm {
public:
    struct Call {
        std::wstring command;
        std::optional<Variant> argument;  // none for ExecuteCommand
        HRESULT hr = kS_OK;
    };

    SimTolm() : SimTolm(Standin::TolmAnswers::Absent()) {}
    explicit SimTolm(Standin::TolmAnswers answers, SimFaults* faults = nullptr)
        : m_faults(faults), m_answers(std::move(answers)) {}
    ~SimTolm() override = default;
    SimTolm(const SimTolm&) = delete;
    SimTolm& operator=(const SimTolm&) = delete;

    HRESULT CreateCommand(std::unique_ptr<Ports::ITolmCommand>& command) override;
    HRESULT CreateNotification(std::unique_ptr<Ports::ITolmNotification>& notification) override;

    // Objects made later answer from these.
    void SetAnswers(Standin::TolmAnswers answers);
    // From now on the component answers what `change` names so, every
    // object already made included.
    void Apply(const Standin::TolmAnswerChange& change);

    std::vector<Call> Calls() const;
    void ClearCalls();
    // Command and notification objects not released yet.
    int LiveObjects() const { return m_live.load(); }

private:
    class Command;
    class Notification;
    Standin::TolmReply Answer(const std::wstring& command, const Variant* argument);

    SimFaults* m_faults;
    mutable std::mutex m_lock;
    Standin::TolmAnswers m_answers;
    std::vector<Call> m_calls;
    std::atomic<int> m_live{0};
};

}  // namespace Arvek::Sim
