#include "sim/os/sim_devices.h"

#include <algorithm>

#include "common/strings.h"

namespace Arvek::Sim {

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorInvalidFunction = 1;
constexpr Ports::DeviceNode kRootNode = 1;

// A list SetupDiGetClassDevsW made: its devices (with their nodes) and the
// interfaces of its class, as they were when it was made.
class DeviceList : public Ports::IDeviceInfoList {
public:
    DeviceList(std::vector<std::pair<Ports::DeviceNode, SimDevices::Device>> devices,
               std::vector<SimDevices::Interface> interfaces, SimFaults* faults)
        : m_devices(std::move(devices)), m_interfaces(std::move(interfaces)), m_faults(faults) {}

    std::uint32_t EnumerateInterface(std::uint32_t index) override {
        m_current.reset();
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

    std::uint32_t EnumerateDevice(std::uint32_t index) override {
        m_device.reset();
        if (index >= m_devices.size()) return Ports::kERROR_NO_MORE_ITEMS;
        m_device = index;
        return 0;
    }
    std::uint32_t InstanceId(std::uint32_t capacity, std::wstring& id, std::uint32_t& required) override {
        id.clear();
        required = 0;
        if (!m_device) return Ports::kERROR_INVALID_PARAMETER;
        if (const auto error = TakeFaultError(m_faults, "devices.instance-id")) return *error;
        const std::wstring& own = m_devices[*m_device].second.instanceId;
        required = static_cast<std::uint32_t>(own.size() + 1);
        if (capacity < required) return Ports::kERROR_INSUFFICIENT_BUFFER;
        id = own;
        return 0;
    }
    std::uint32_t RegistryProperty(std::uint32_t property, std::uint32_t capacity, std::vector<std::uint8_t>& data,
                                   std::uint32_t& required) override {
        data.clear();
        required = 0;
        if (!m_device) return Ports::kERROR_INVALID_PARAMETER;
        if (const auto error = TakeFaultError(m_faults, "devices.registry-property")) return *error;
        const auto& key = m_devices[*m_device].second.driverKey;
        if (property != Ports::kSPDRP_DRIVER || !key) return Ports::kERROR_INVALID_DATA;
        const auto bytes = ToUtf16Le(*key, true);
        required = static_cast<std::uint32_t>(bytes.size());
        if (capacity < required) return Ports::kERROR_INSUFFICIENT_BUFFER;
        data.assign(bytes.begin(), bytes.end());
        return 0;
    }
    Ports::DeviceNode Node() const override { return m_device ? m_devices[*m_device].first : 0; }

private:
    std::vector<std::pair<Ports::DeviceNode, SimDevices::Device>> m_devices;
    std::vector<SimDevices::Interface> m_interfaces;
    SimFaults* m_faults;
    std::optional<std::size_t> m_current;
    std::optional<std::size_t> m_device;
};

// A hub opened for writing: its driver's answers, unless the fault table
// makes every request fail.
class ControlHandle : public Ports::IControlDevice {
public:
    ControlHandle(std::shared_ptr<SimControlDriver> driver, SimFaults* faults)
        : m_driver(std::move(driver)), m_faults(faults) {}
    std::uint32_t Control(std::uint32_t code, std::vector<std::uint8_t>& record, std::uint32_t& returned) override {
        returned = 0;
        if (const auto error = TakeFaultError(m_faults, "devices.hub-request")) return *error;
        return m_driver->Control(code, record, returned);
    }

private:
    std::shared_ptr<SimControlDriver> m_driver;
    SimFaults* m_faults;
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

std::uint32_t SimDevices::GetClassDevices(const Ports::Guid& interfaceClass, std::uint32_t flags,
                                          std::unique_ptr<Ports::IDeviceInterfaceList>& list) {
    list.reset();
    if (const auto error = TakeFaultError(m_faults, "devices.class-devices")) return *error;
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<Interface> matching;
    for (const auto& device : m_interfaces)
        if (device.interfaceClass == interfaceClass) matching.push_back(device);
    // Then the tree's interfaces of the class.
    for (const auto& device : m_devices) {
        if ((flags & Ports::kDIGCF_PRESENT) && !device.present) continue;
        for (const auto& item : device.interfaces)
            if (item.interfaceClass == interfaceClass) matching.push_back(item);
    }
    list = std::make_unique<DeviceList>(std::vector<std::pair<Ports::DeviceNode, Device>>{}, std::move(matching),
                                        m_faults);
    return 0;
}

void SimDevices::AddDevice(Device device) {
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto& known : m_devices) {
        if (known.instanceId == device.instanceId) {
            known = std::move(device);
            return;
        }
    }
    m_devices.push_back(std::move(device));
}

void SimDevices::AddControlDriver(const std::wstring& path, std::shared_ptr<SimControlDriver> driver) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_controlDrivers[ToUpperInvariant(path)] = std::move(driver);
}

std::optional<Ports::Guid> SimDevices::InterfaceClassOf(const std::wstring& path) const {
    std::lock_guard<std::mutex> guard(m_lock);
    const std::wstring wanted = ToUpperInvariant(path);
    for (const auto& device : m_devices)
        for (const auto& item : device.interfaces)
            if (ToUpperInvariant(item.path) == wanted) return item.interfaceClass;
    return std::nullopt;
}

std::uint32_t SimDevices::GetDeviceInfoList(const Ports::Guid* interfaceClass, std::uint32_t flags,
                                            std::unique_ptr<Ports::IDeviceInfoList>& list) {
    list.reset();
    const bool allClasses = (flags & Ports::kDIGCF_ALLCLASSES) != 0;
    const bool byInterface = (flags & Ports::kDIGCF_DEVICEINTERFACE) != 0;
    if (!interfaceClass && !allClasses) return Ports::kERROR_INVALID_PARAMETER;
    if (const auto error = TakeFaultError(m_faults, "devices.class-devices")) return *error;
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::pair<Ports::DeviceNode, Device>> devices;
    std::vector<Interface> interfaces;
    for (std::size_t n = 0; n < m_devices.size(); ++n) {
        const Device& device = m_devices[n];
        if ((flags & Ports::kDIGCF_PRESENT) && !device.present) continue;
        const auto ofClass = [&](const Interface& item) { return interfaceClass && item.interfaceClass == *interfaceClass; };
        const bool hasClass = std::any_of(device.interfaces.begin(), device.interfaces.end(), ofClass);
        // By interface: the devices with one of the class (of any class,
        // across classes). Otherwise a setup class, which the tree does not
        // keep: all devices across classes, none for one class.
        const bool listed = byInterface ? (allClasses ? !device.interfaces.empty() : hasClass) : allClasses;
        if (!listed) continue;
        devices.emplace_back(static_cast<Ports::DeviceNode>(n + 2), device);
        for (const auto& item : device.interfaces)
            if (ofClass(item)) interfaces.push_back(item);
    }
    list = std::make_unique<DeviceList>(std::move(devices), std::move(interfaces), m_faults);
    return 0;
}

std::uint32_t SimDevices::GetParent(Ports::DeviceNode node, Ports::DeviceNode& parent, std::uint32_t& lastError) {
    parent = 0;
    lastError = 0;
    if (const auto result = TakeFaultError(m_faults, "devices.parent")) return *result;
    std::lock_guard<std::mutex> guard(m_lock);
    if (node < 2 || node - 2 >= m_devices.size()) return Ports::kCR_NO_SUCH_DEVNODE;  // the root has none
    const std::wstring& parentId = m_devices[node - 2].parent;
    if (parentId.empty()) {
        parent = kRootNode;
        return Ports::kCR_SUCCESS;
    }
    for (std::size_t n = 0; n < m_devices.size(); ++n) {
        if (m_devices[n].instanceId == parentId) {
            parent = static_cast<Ports::DeviceNode>(n + 2);
            return Ports::kCR_SUCCESS;
        }
    }
    return Ports::kCR_NO_SUCH_DEVNODE;
}

std::uint32_t SimDevices::GetDeviceId(Ports::DeviceNode node, std::uint32_t capacity, std::wstring& id,
                                      std::uint32_t& lastError) {
    id.clear();
    lastError = 0;
    if (const auto result = TakeFaultError(m_faults, "devices.device-id")) return *result;
    std::lock_guard<std::mutex> guard(m_lock);
    std::wstring own;
    if (node == kRootNode) own = kRootId;
    else if (node >= 2 && node - 2 < m_devices.size()) own = m_devices[node - 2].instanceId;
    else return Ports::kCR_NO_SUCH_DEVNODE;
    if (capacity < own.size() + 1) return Ports::kCR_BUFFER_SMALL;
    id = own;
    return Ports::kCR_SUCCESS;
}

std::uint32_t SimDevices::OpenForWriting(const std::wstring& path, std::unique_ptr<Ports::IControlDevice>& device) {
    device.reset();
    if (const auto error = TakeFaultError(m_faults, "devices.open")) return *error;
    if (path.empty()) return kErrorPathNotFound;
    std::shared_ptr<SimControlDriver> driver;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto found = m_controlDrivers.find(ToUpperInvariant(path));
        if (found == m_controlDrivers.end()) return kErrorFileNotFound;
        driver = found->second;
    }
    device = std::make_unique<ControlHandle>(std::move(driver), m_faults);
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
