// The simulated notebook's devices: device interfaces by class, the device
// tree (device nodes with their instance ids, driver keys, parents and
// interfaces, present or not), the drivers behind their paths, and the
// event objects threads wait on. The drivers are stand-ins for what lies
// outside the system (the platform driver's is sim/standins/pylo_driver,
// the USB hubs' sim/standins/usb_hub).
//
// Thread-safe: the monitor thread waits in WaitAny while the main thread
// (the window's destruction) or the timeline signals and raises events.
// Devices, drivers and events stay valid for as long as anyone holds them,
// also past this object.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ports/devices.h"
#include "sim/machine/faults.h"
#include "sim/os/sim_threads.h"

namespace Arvek::Sim {

// The machine's event objects (CreateEventW, auto-reset).
class SimEvents {
public:
    // A worker that waits here counts as waiting for the machine.
    void SetThreads(SimThreads* threads) { m_threads = threads; }
    std::uint32_t Create(Ports::EventHandle& event);
    void Close(Ports::EventHandle event);
    // SetEvent: false for a handle that is not an open event.
    bool Signal(Ports::EventHandle event);
    // WaitForMultipleObjects for any one, without a time limit: the index of
    // the event that was signalled, or WAIT_FAILED for one that is not (or
    // no longer) an event.
    std::uint32_t WaitAny(const std::vector<Ports::EventHandle>& events);
    std::size_t OpenCount() const;

private:
    SimThreads* m_threads = nullptr;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::map<Ports::EventHandle, bool> m_events;  // signalled or not
    Ports::EventHandle m_next = 0x7E0;
};

// What opening a device's path reaches: its driver.
class SimDeviceDriver {
public:
    virtual ~SimDeviceDriver() = default;
    // A handle on the device, opened for overlapped I/O.
    virtual std::unique_ptr<Ports::IDevice> Open() = 0;
};

// What opening a device's path for plain requests reaches (a USB hub's
// driver): each request as DeviceIoControl answers it, with the record as
// input and output.
class SimControlDriver {
public:
    virtual ~SimControlDriver() = default;
    virtual std::uint32_t Control(std::uint32_t code, std::vector<std::uint8_t>& record, std::uint32_t& returned) = 0;
};

class SimDevices : public Ports::IDevices {
public:
    // One device interface of the machine.
    struct Interface {
        Ports::Guid interfaceClass;
        std::wstring path;
        // Reading its detail fails with this last error (0 included);
        // without one the read gives the path.
        std::optional<std::uint32_t> detailFailure = std::nullopt;
    };

    // One device node of the tree.
    struct Device {
        std::wstring instanceId;
        bool present = true;
        // Its SPDRP_DRIVER property; none without one.
        std::optional<std::wstring> driverKey = std::nullopt;
        // The parent's instance id; empty for a child of the tree's root.
        std::wstring parent = {};
        std::vector<Interface> interfaces = {};
    };
    // The device id of the tree's root, whose node has no parent.
    static constexpr const wchar_t* kRootId = L"HTREE\\ROOT\\0";

    // Steps fail as `faults` says ("devices.*"); none without a table.
    explicit SimDevices(SimFaults* faults = nullptr);

    void AddInterface(Interface device);
    // Opening `path` (in any case) reaches `driver`.
    void AddDriver(const std::wstring& path, std::shared_ptr<SimDeviceDriver> driver);
    // A device node; one of the same instance id is replaced. Nodes are
    // listed in the order they were first added.
    void AddDevice(Device device);
    // Opening `path` (in any case) for writing reaches `driver`.
    void AddControlDriver(const std::wstring& path, std::shared_ptr<SimControlDriver> driver);
    // The class of the tree's interface at `path` (in any case), nothing
    // when the tree has none there.
    std::optional<Ports::Guid> InterfaceClassOf(const std::wstring& path) const;

    // The machine's events, shared with the drivers.
    const std::shared_ptr<SimEvents>& Events() const { return m_events; }
    // The window port's SetEvent lands here.
    bool SetEvent(Ports::EventHandle event) { return m_events->Signal(event); }
    // Events not closed yet.
    std::size_t OpenEvents() const { return m_events->OpenCount(); }

    std::uint32_t GetClassDevices(const Ports::Guid& interfaceClass, std::uint32_t flags,
                                  std::unique_ptr<Ports::IDeviceInterfaceList>& list) override;
    std::uint32_t OpenOverlapped(const std::wstring& path, std::unique_ptr<Ports::IDevice>& device) override;
    std::uint32_t GetDeviceInfoList(const Ports::Guid* interfaceClass, std::uint32_t flags,
                                    std::unique_ptr<Ports::IDeviceInfoList>& list) override;
    std::uint32_t GetParent(Ports::DeviceNode node, Ports::DeviceNode& parent, std::uint32_t& lastError) override;
    std::uint32_t GetDeviceId(Ports::DeviceNode node, std::uint32_t capacity, std::wstring& id,
                              std::uint32_t& lastError) override;
    std::uint32_t OpenForWriting(const std::wstring& path, std::unique_ptr<Ports::IControlDevice>& device) override;
    std::uint32_t CreateAutoResetEvent(Ports::EventHandle& event) override;
    void CloseEvent(Ports::EventHandle event) override;
    std::uint32_t WaitAny(const std::vector<Ports::EventHandle>& events) override;

private:
    SimFaults* m_faults;
    std::shared_ptr<SimEvents> m_events = std::make_shared<SimEvents>();
    mutable std::mutex m_lock;
    std::vector<Interface> m_interfaces;
    std::map<std::wstring, std::shared_ptr<SimDeviceDriver>> m_drivers;  // by upper-cased path
    // The tree: node n + 2 is m_devices[n] (1 is the root).
    std::vector<Device> m_devices;
    std::map<std::wstring, std::shared_ptr<SimControlDriver>> m_controlDrivers;  // by upper-cased path
};

}  // namespace Arvek::Sim
