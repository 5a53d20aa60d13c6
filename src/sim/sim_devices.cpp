#include "sim/sim_devices.h"

#include "common/format.h"
#include "common/strings.h"
#include "sim/sim_ports.h"

namespace Arvek::Sim {

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorInvalidFunction = 1;

}  // namespace

struct SimDevices::State {
    Transcript& transcript;
    SimClock& clock;
    mutable std::mutex lock;
    std::condition_variable changed;

    std::vector<Interface> interfaces;
    std::map<std::wstring, std::uint32_t> eventDevices;  // upper-cased path -> its request
    std::map<std::wstring, std::uint32_t> openFailures;  // upper-cased path -> error

    std::map<Ports::EventHandle, bool> events;  // signalled or not
    Ports::EventHandle nextEvent = 0x7E0;

    // The stand-in's one request under way: its output and its event.
    struct Request {
        std::vector<std::uint8_t>* output = nullptr;
        Ports::EventHandle completion = 0;
    };
    std::optional<Request> underWay;
    std::deque<std::uint8_t> queued;
    std::optional<std::uint32_t> failNext;
    int taken = 0;

    State(Transcript& t, SimClock& c) : transcript(t), clock(c) {}

    void Note(const std::wstring& text) { transcript.Add(clock.ElapsedMs(), "devices", text); }

    // Under the lock.
    bool Signal(Ports::EventHandle event) {
        const auto found = events.find(event);
        if (found == events.end()) return false;
        found->second = true;
        changed.notify_all();
        return true;
    }
};

namespace {

class InterfaceList : public Ports::IDeviceInterfaceList {
public:
    explicit InterfaceList(std::vector<SimDevices::Interface> interfaces) : m_interfaces(std::move(interfaces)) {}

    std::uint32_t EnumerateInterface(std::uint32_t index) override {
        if (index >= m_interfaces.size()) return Ports::kERROR_NO_MORE_ITEMS;
        m_current = index;
        return 0;
    }
    std::uint32_t DetailSize(std::uint32_t& size) override {
        if (!m_current) return kErrorInvalidFunction;
        // The record: its 4-byte size field, then the path and its terminator.
        size = static_cast<std::uint32_t>(4 + (m_interfaces[*m_current].path.size() + 1) * 2);
        return Ports::kERROR_INSUFFICIENT_BUFFER;
    }
    bool ReadDetail(std::uint32_t size, std::wstring& path, std::uint32_t& error) override {
        path.clear();
        if (!m_current) {
            error = kErrorInvalidFunction;
            return false;
        }
        const auto& device = m_interfaces[*m_current];
        if (device.detailFailure) {
            error = *device.detailFailure;
            return false;
        }
        if (size < 4 + (device.path.size() + 1) * 2) {
            error = Ports::kERROR_INSUFFICIENT_BUFFER;
            return false;
        }
        path = device.path;
        error = 0;
        return true;
    }

private:
    std::vector<SimDevices::Interface> m_interfaces;
    std::optional<std::size_t> m_current;
};

class EventDevice : public Ports::IDevice {
public:
    EventDevice(std::shared_ptr<SimDevices::State> state, std::wstring path, std::uint32_t ioctl)
        : m_state(std::move(state)), m_path(std::move(path)), m_ioctl(ioctl) {}
    ~EventDevice() override { CancelPending(); }

    std::uint32_t StartControl(std::uint32_t code, const std::vector<std::uint8_t>&, std::size_t outputSize,
                               Ports::EventHandle completion) override {
        CancelPending();
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_output.assign(outputSize, 0);
        if (code != m_ioctl) return kErrorInvalidFunction;
        if (m_state->failNext) {
            const std::uint32_t error = *m_state->failNext;
            m_state->failNext.reset();
            return error;
        }
        ++m_state->taken;
        if (!m_state->queued.empty()) {
            if (!m_output.empty()) m_output[0] = m_state->queued.front();
            m_state->queued.pop_front();
            return 0;
        }
        m_state->underWay = SimDevices::State::Request{&m_output, completion};
        return Ports::kERROR_IO_PENDING;
    }

    std::vector<std::uint8_t> Output() override {
        std::lock_guard<std::mutex> guard(m_state->lock);
        return m_output;
    }

    void CancelPending() override {
        std::lock_guard<std::mutex> guard(m_state->lock);
        if (!m_state->underWay || m_state->underWay->output != &m_output) return;
        // A cancelled request completes too: its event is signalled.
        m_state->Signal(m_state->underWay->completion);
        m_state->underWay.reset();
    }

private:
    std::shared_ptr<SimDevices::State> m_state;
    std::wstring m_path;
    std::uint32_t m_ioctl;
    std::vector<std::uint8_t> m_output;
};

}  // namespace

SimDevices::SimDevices(Transcript& transcript, SimClock& clock)
    : m_state(std::make_shared<State>(transcript, clock)) {}

SimDevices::~SimDevices() = default;

void SimDevices::AddInterface(Interface device) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->interfaces.push_back(std::move(device));
}

void SimDevices::AddEventDevice(const std::wstring& path, std::uint32_t ioctl) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->eventDevices[ToUpperInvariant(path)] = ioctl;
}

void SimDevices::FailOpen(const std::wstring& path, std::uint32_t error) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->openFailures[ToUpperInvariant(path)] = error;
}

void SimDevices::RaiseAcpiEvent(std::uint8_t byte) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->Note(Format(L"ACPI event 0x%02X", static_cast<unsigned>(byte)));
    if (!m_state->underWay) {
        m_state->queued.push_back(byte);
        return;
    }
    auto& output = *m_state->underWay->output;
    if (!output.empty()) output[0] = byte;
    m_state->Signal(m_state->underWay->completion);
    m_state->underWay.reset();
}

void SimDevices::FailNextRequest(std::uint32_t error) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->failNext = error;
}

int SimDevices::RequestsTaken() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->taken;
}

bool SimDevices::RequestUnderWay() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->underWay.has_value();
}

bool SimDevices::SetEvent(Ports::EventHandle event) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->Signal(event);
}

std::size_t SimDevices::OpenEvents() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->events.size();
}

std::uint32_t SimDevices::GetClassDevices(const Ports::Guid& interfaceClass, std::uint32_t,
                                          std::unique_ptr<Ports::IDeviceInterfaceList>& list) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    std::vector<Interface> matching;
    for (const auto& device : m_state->interfaces)
        if (device.interfaceClass == interfaceClass) matching.push_back(device);
    list = std::make_unique<InterfaceList>(std::move(matching));
    return 0;
}

std::uint32_t SimDevices::OpenOverlapped(const std::wstring& path, std::unique_ptr<Ports::IDevice>& device) {
    device.reset();
    std::lock_guard<std::mutex> guard(m_state->lock);
    const std::wstring key = ToUpperInvariant(path);
    if (const auto failure = m_state->openFailures.find(key); failure != m_state->openFailures.end())
        return failure->second;
    const auto found = m_state->eventDevices.find(key);
    if (found == m_state->eventDevices.end()) return kErrorFileNotFound;
    device = std::make_unique<EventDevice>(m_state, path, found->second);
    return 0;
}

std::uint32_t SimDevices::CreateAutoResetEvent(Ports::EventHandle& event) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    event = m_state->nextEvent += 4;
    m_state->events[event] = false;
    return 0;
}

void SimDevices::CloseEvent(Ports::EventHandle event) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->events.erase(event);
    m_state->changed.notify_all();  // a waiter on it fails, as on a closed handle
}

std::uint32_t SimDevices::WaitAny(const std::vector<Ports::EventHandle>& events) {
    std::unique_lock<std::mutex> guard(m_state->lock);
    if (events.empty()) return Ports::kWAIT_FAILED;
    for (;;) {
        for (std::size_t i = 0; i < events.size(); ++i) {
            const auto found = m_state->events.find(events[i]);
            if (found == m_state->events.end()) return Ports::kWAIT_FAILED;  // not an event (any more)
            if (found->second) {
                found->second = false;  // auto-reset: the one waiter takes it
                return static_cast<std::uint32_t>(i);
            }
        }
        m_state->changed.wait(guard);
    }
}

}  // namespace Arvek::Sim
