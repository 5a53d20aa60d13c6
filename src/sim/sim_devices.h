// The simulated notebook's devices: device interfaces by class, the event
// objects threads wait on, and the platform driver's stand-in, a device
// whose one request ("wait for the next ACPI event") completes with the
// byte of the next ACPI event the scenario or a test raises.
//
// Thread-safe: the monitor thread waits in WaitAny while the main thread
// (the window's destruction) or a test raises events.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ports/devices.h"
#include "sim/transcript.h"

namespace Arvek::Sim {

class SimClock;

class SimDevices : public Ports::IDevices {
public:
    // One device interface of the machine.
    struct Interface {
        Ports::Guid interfaceClass;
        std::wstring path;
        // Reading its detail fails with this last error (0 included);
        // without one the read gives the path.
        std::optional<std::uint32_t> detailFailure;
    };

    SimDevices(Transcript& transcript, SimClock& clock);
    ~SimDevices() override;

    void AddInterface(Interface device);
    // The platform driver's stand-in answers at `path`: a device that opens
    // and takes the request `ioctl` with a one-byte answer.
    void AddEventDevice(const std::wstring& path, std::uint32_t ioctl);
    // Opening `path` fails with `error` (ERROR_ACCESS_DENIED, say).
    void FailOpen(const std::wstring& path, std::uint32_t error);
    // The firmware's ACPI event with its byte: completes the request under
    // way, or the next one at once.
    void RaiseAcpiEvent(std::uint8_t byte);
    // The driver fails the next request with `error` without taking it.
    void FailNextRequest(std::uint32_t error);
    // Requests the stand-in has taken, and how many are under way (0 or 1).
    int RequestsTaken() const;
    bool RequestUnderWay() const;

    // The window port's SetEvent lands here.
    bool SetEvent(Ports::EventHandle event);
    // Events not closed yet.
    std::size_t OpenEvents() const;

    std::uint32_t GetClassDevices(const Ports::Guid& interfaceClass, std::uint32_t flags,
                                  std::unique_ptr<Ports::IDeviceInterfaceList>& list) override;
    std::uint32_t OpenOverlapped(const std::wstring& path, std::unique_ptr<Ports::IDevice>& device) override;
    std::uint32_t CreateAutoResetEvent(Ports::EventHandle& event) override;
    void CloseEvent(Ports::EventHandle event) override;
    std::uint32_t WaitAny(const std::vector<Ports::EventHandle>& events) override;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace Arvek::Sim
