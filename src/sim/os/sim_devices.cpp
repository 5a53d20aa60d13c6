#include "sim/os/sim_devices.h"

#include "common/strings.h"

namespace Arvek::Sim {

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorInvalidFunction = 1;

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

}  // namespace

std::uint32_t SimEvents::Create(Ports::EventHandle& event) {
    std::lock_guard<std::mutex> guard(m_lock);
    event = m_next += 4;
    m_events[event] = false;
    return 0;
}

void SimEvents::Close(Ports::EventHandle event) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.erase(event);
    m_changed.notify_all();  // a waiter on it fails, as on a closed handle
}

bool SimEvents::Signal(Ports::EventHandle event) {
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_events.find(event);
    if (found == m_events.end()) return false;
    found->second = true;
    m_changed.notify_all();
    return true;
}

std::uint32_t SimEvents::WaitAny(const std::vector<Ports::EventHandle>& events) {
    std::optional<SimThreads::Waiting> waiting;
    if (m_threads) waiting.emplace(*m_threads);
    std::unique_lock<std::mutex> guard(m_lock);
    if (events.empty()) return Ports::kWAIT_FAILED;
    if (waiting) waiting->Begin();
    for (;;) {
        for (std::size_t i = 0; i < events.size(); ++i) {
            const auto found = m_events.find(events[i]);
            if (found == m_events.end()) return Ports::kWAIT_FAILED;  // not an event (any more)
            if (found->second) {
                found->second = false;  // auto-reset: the one waiter takes it
                return static_cast<std::uint32_t>(i);
            }
        }
        m_changed.wait(guard);
    }
}

std::size_t SimEvents::OpenCount() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events.size();
}

SimDevices::SimDevices(SimFaults* faults) : m_faults(faults) {}

void SimDevices::AddInterface(Interface device) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_interfaces.push_back(std::move(device));
}

void SimDevices::AddDriver(const std::wstring& path, std::shared_ptr<SimDeviceDriver> driver) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_drivers[ToUpperInvariant(path)] = std::move(driver);
}

std::uint32_t SimDevices::GetClassDevices(const Ports::Guid& interfaceClass, std::uint32_t,
                                          std::unique_ptr<Ports::IDeviceInterfaceList>& list) {
    list.reset();
    if (const auto error = TakeFaultError(m_faults, "devices.class-devices")) return *error;
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<Interface> matching;
    for (const auto& device : m_interfaces)
        if (device.interfaceClass == interfaceClass) matching.push_back(device);
    list = std::make_unique<InterfaceList>(std::move(matching));
    return 0;
}

std::uint32_t SimDevices::OpenOverlapped(const std::wstring& path, std::unique_ptr<Ports::IDevice>& device) {
    device.reset();
    if (const auto error = TakeFaultError(m_faults, "devices.open")) return *error;
    std::shared_ptr<SimDeviceDriver> driver;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto found = m_drivers.find(ToUpperInvariant(path));
        if (found == m_drivers.end()) return kErrorFileNotFound;
        driver = found->second;
    }
    device = driver->Open();
    return 0;
}

std::uint32_t SimDevices::CreateAutoResetEvent(Ports::EventHandle& event) {
    event = 0;
    if (const auto error = TakeFaultError(m_faults, "devices.create-event")) return *error;
    return m_events->Create(event);
}

void SimDevices::CloseEvent(Ports::EventHandle event) { m_events->Close(event); }

std::uint32_t SimDevices::WaitAny(const std::vector<Ports::EventHandle>& events) {
    if (TakeFault(m_faults, "devices.wait")) return Ports::kWAIT_FAILED;
    return m_events->WaitAny(events);
}

}  // namespace Arvek::Sim
