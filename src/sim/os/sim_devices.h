// The simulated notebook's devices: device interfaces by class, the drivers
// behind their paths, and the event objects threads wait on. The drivers are
// stand-ins for what lies outside the system (the platform driver's is
// sim/standins/pylo_driver).
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

    // Steps fail as `faults` says ("devices.*"); none without a table.
    explicit SimDevices(SimFaults* faults = nullptr);

    void AddInterface(Interface device);
    // Opening `path` (in any case) reaches `driver`.
    void AddDriver(const std::wstring& path, std::shared_ptr<SimDeviceDriver> driver);

    // The machine's events, shared with the drivers.
    const std::shared_ptr<SimEvents>& Events() const { return m_events; }
    // The window port's SetEvent lands here.
    bool SetEvent(Ports::EventHandle event) { return m_events->Signal(event); }
    // Events not closed yet.
    std::size_t OpenEvents() const { return m_events->OpenCount(); }

    std::uint32_t GetClassDevices(const Ports::Guid& interfaceClass, std::uint32_t flags,
                                  std::unique_ptr<Ports::IDeviceInterfaceList>& list) override;
    std::uint32_t OpenOverlapped(const std::wstring& path, std::unique_ptr<Ports::IDevice>& device) override;
    std::uint32_t CreateAutoResetEvent(Ports::EventHandle& event) override;
    void CloseEvent(Ports::EventHandle event) override;
    std::uint32_t WaitAny(const std::vector<Ports::EventHandle>& events) override;

private:
    SimFaults* m_faults;
    std::shared_ptr<SimEvents> m_events = std::make_shared<SimEvents>();
    mutable std::mutex m_lock;
    std::vector<Interface> m_interfaces;
    std::map<std::wstring, std::shared_ptr<SimDeviceDriver>> m_drivers;  // by upper-cased path
};

}  // namespace Arvek::Sim
