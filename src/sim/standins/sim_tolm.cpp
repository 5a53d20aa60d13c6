#include "sim/standins/sim_tolm.h"

namespace Arvek::Sim {

// Objects hold on to their component; the component outlives every
// operation that uses it (it is part of the machine).
class SimTolm::Command final : public Ports::ITolmCommand {
public:
    explicit Command(SimTolm& owner) : m_owner(owner) { ++m_owner.m_live; }
    ~Command() override { --m_owner.m_live; }

    HRESULT ExecuteCommand(const std::wstring& command, Variant& result) override {
        return Deliver(m_owner.Answer(command, nullptr), result);
    }
    HRESULT ExecuteCommandWithArgument(const std::wstring& command, const Variant& argument,
                                       Variant& result) override {
        return Deliver(m_owner.Answer(command, &argument), result);
    }

private:
    static HRESULT Deliver(Standin::TolmReply reply, Variant& result) {
        if (Succeeded(reply.hr)) result = std::move(reply.value);
        return reply.hr;
    }
    SimTolm& m_owner;
};

class SimTolm::Notification final : public Ports::ITolmNotification {
public:
    explicit Notification(SimTolm& owner) : m_owner(owner) { ++m_owner.m_live; }
    ~Notification() override { --m_owner.m_live; }

private:
    SimTolm& m_owner;
};

HRESULT SimTolm::CreateCommand(std::unique_ptr<Ports::ITolmCommand>& command) {
    command.reset();
    if (const auto fault = TakeFault(m_faults, "tolm.create-command")) return *fault;
    HRESULT hr;
    {
        std::lock_guard guard(m_lock);
        hr = m_answers.createCommand;
    }
    if (Failed(hr)) return hr;
    command = std::make_unique<Command>(*this);
    return kS_OK;
}

HRESULT SimTolm::CreateNotification(std::unique_ptr<Ports::ITolmNotification>& notification) {
    notification.reset();
    if (const auto fault = TakeFault(m_faults, "tolm.create-notification")) return *fault;
    HRESULT hr;
    {
        std::lock_guard guard(m_lock);
        hr = m_answers.createNotification;
    }
    if (Failed(hr)) return hr;
    notification = std::make_unique<Notification>(*this);
    return kS_OK;
}

void SimTolm::SetAnswers(Standin::TolmAnswers answers) {
    std::lock_guard guard(m_lock);
    m_answers = std::move(answers);
}

void SimTolm::Apply(const Standin::TolmAnswerChange& change) {
    std::lock_guard guard(m_lock);
    change.ApplyTo(m_answers);
}

std::vector<SimTolm::Call> SimTolm::Calls() const {
    std::lock_guard guard(m_lock);
    return m_calls;
}

void SimTolm::ClearCalls() {
    std::lock_guard guard(m_lock);
    m_calls.clear();
}

Standin::TolmReply SimTolm::Answer(const std::wstring& command, const Variant* argument) {
    const auto fault = TakeFault(m_faults, "tolm.execute");
    std::lock_guard guard(m_lock);
    Standin::TolmReply reply = fault ? Standin::TolmReply{*fault, {}} : m_answers.Reply(command, argument);
    m_calls.push_back({command, argument ? std::optional<Variant>(*argument) : std::nullopt, reply.hr});
    return reply;
}

}  // namespace Arvek::Sim
