#include "sim/standins/pylo_driver.h"

#include "agent/usbc/acpi_monitor.h"
#include "common/format.h"

namespace Arvek::Sim {

namespace {
constexpr std::uint32_t kErrorInvalidFunction = 1;
}

struct PyloDriver::State {
    Transcript& transcript;
    SimClock& clock;
    std::shared_ptr<SimEvents> events;
    SimFaults* faults;
    mutable std::mutex lock;
    mutable std::condition_variable changed;

    // The one request under way: its output, its completion error and its event.
    struct Request {
        std::vector<std::uint8_t>* output = nullptr;
        std::uint32_t* completionError = nullptr;
        Ports::EventHandle completion = 0;
    };
    std::optional<Request> underWay;
    std::deque<std::uint8_t> queued;
    bool atOnce = false;
    int taken = 0;
    int openHandles = 0;

    State(Transcript& t, SimClock& c, std::shared_ptr<SimEvents> e, SimFaults* f)
        : transcript(t), clock(c), events(std::move(e)), faults(f) {}

    // Under the lock: completes the request under way with `byte`, or with
    // the error of a "pylo.completion" fault.
    void Complete(std::uint8_t byte) {
        if (const auto error = TakeFaultError(faults, "pylo.completion")) {
            *underWay->completionError = *error;
        } else {
            auto& output = *underWay->output;
            if (!output.empty()) output[0] = byte;
            *underWay->completionError = 0;
        }
        events->Signal(underWay->completion);
        underWay.reset();
        changed.notify_all();
    }
};

namespace {

class PyloDevice final : public Ports::IDevice {
public:
    explicit PyloDevice(std::shared_ptr<PyloDriver::State> state) : m_state(std::move(state)) {
        std::lock_guard<std::mutex> guard(m_state->lock);
        ++m_state->openHandles;
    }
    ~PyloDevice() override {
        CancelPending();
        std::lock_guard<std::mutex> guard(m_state->lock);
        --m_state->openHandles;
        m_state->changed.notify_all();
    }

    std::uint32_t StartControl(std::uint32_t code, const std::vector<std::uint8_t>&, std::size_t outputSize,
                               Ports::EventHandle completion) override {
        CancelPending();
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_output.assign(outputSize, 0);
        if (code != Notifications::Tidewatch::kIoctlPyloWaitForEvent) return m_completionError = kErrorInvalidFunction;
        if (const auto error = TakeFaultError(m_state->faults, "pylo.request")) return m_completionError = *error;
        ++m_state->taken;
        m_state->changed.notify_all();
        if (m_state->atOnce || !m_state->queued.empty()) {
            if (!m_state->queued.empty()) {
                if (!m_output.empty()) m_output[0] = m_state->queued.front();
                m_state->queued.pop_front();
            }
            return m_completionError = 0;
        }
        m_completionError = Ports::kERROR_IO_INCOMPLETE;
        m_state->underWay = PyloDriver::State::Request{&m_output, &m_completionError, completion};
        return Ports::kERROR_IO_PENDING;
    }

    std::vector<std::uint8_t> Output() override {
        std::lock_guard<std::mutex> guard(m_state->lock);
        return m_output;
    }

    std::uint32_t CompletionError() override {
        std::lock_guard<std::mutex> guard(m_state->lock);
        return m_completionError;
    }

    void CancelPending() override {
        std::lock_guard<std::mutex> guard(m_state->lock);
        if (!m_state->underWay || m_state->underWay->output != &m_output) return;
        // A cancelled request completes too: its event is signalled.
        m_completionError = Ports::kERROR_OPERATION_ABORTED;
        m_state->events->Signal(m_state->underWay->completion);
        m_state->underWay.reset();
        m_state->changed.notify_all();
    }

private:
    std::shared_ptr<PyloDriver::State> m_state;
    std::vector<std::uint8_t> m_output;
    std::uint32_t m_completionError = 0;
};

}  // namespace

PyloDriver::PyloDriver(Transcript& transcript, SimClock& clock, std::shared_ptr<SimEvents> events, SimFaults* faults)
    : m_state(std::make_shared<State>(transcript, clock, std::move(events), faults)) {}

std::unique_ptr<Ports::IDevice> PyloDriver::Open() { return std::make_unique<PyloDevice>(m_state); }

void PyloDriver::RaiseAcpiEvent(std::uint8_t byte) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->transcript.Add(m_state->clock.ElapsedMs(), "devices",
                            Format(L"ACPI event 0x%02X", static_cast<unsigned>(byte)));
    if (!m_state->underWay) {
        m_state->queued.push_back(byte);
        return;
    }
    m_state->Complete(byte);
}

void PyloDriver::AnswerAtOnce(bool atOnce) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->atOnce = atOnce;
    if (atOnce && m_state->underWay) m_state->Complete(0);
}

int PyloDriver::RequestsTaken() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->taken;
}

bool PyloDriver::RequestUnderWay() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->underWay.has_value();
}

int PyloDriver::OpenHandles() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->openHandles;
}

bool PyloDriver::WaitForRequestAfter(int taken, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> guard(m_state->lock);
    return m_state->changed.wait_for(guard, limit,
                                     [&] { return m_state->taken > taken || m_state->openHandles == 0; });
}

}  // namespace Arvek::Sim
