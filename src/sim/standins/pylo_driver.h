// The maker's platform driver, as the simulated notebook's stand-in for it.
// The agent needs three things of it: a device interface of the driver's
// class, its request "wait for the next ACPI event" and the one-byte answer.
// The request completes with the byte of the next ACPI event the timeline
// (`acpi-event BYTE`) or a test raises; a byte raised while no request is
// under way waits for the next one, which then completes at once.
//
// It can also misbehave as a faulty driver would: complete every request at
// once (AnswerAtOnce), refuse a request ("pylo.request") or complete one with
// an error ("pylo.completion"), through the machine's fault table.
//
// Thread-safe: the monitor thread issues requests while the main thread or a
// test raises events.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/machine/faults.h"
#include "sim/machine/transcript.h"
#include "sim/os/sim_clock.h"
#include "sim/os/sim_devices.h"

namespace Arvek::Sim {

class PyloDriver final : public SimDeviceDriver {
public:
    // The path of its device interface on the simulated notebook.
    static constexpr const wchar_t* kDevicePath = L"\\\\?\\ACPI#ARVK0A0C#0#{38e184ea-2138-468c-aee5-1280532b5c2d}";

    PyloDriver(Transcript& transcript, SimClock& clock, std::shared_ptr<SimEvents> events, SimFaults* faults);

    std::unique_ptr<Ports::IDevice> Open() override;

    // The firmware's ACPI event with its byte: completes the request under
    // way, or the next one at once.
    void RaiseAcpiEvent(std::uint8_t byte);
    // A driver that completes every request at once, with the byte 0x00.
    void AnswerAtOnce(bool atOnce);

    // Requests taken, whether one is under way, handles open on the device.
    int RequestsTaken() const;
    bool RequestUnderWay() const;
    int OpenHandles() const;
    // Waits (for at most `limit`, in real time) until more than `taken`
    // requests were taken or no handle is open any more: how a stimulus
    // knows that the monitor has dealt with the answer it just got.
    bool WaitForRequestAfter(int taken, std::chrono::milliseconds limit) const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace Arvek::Sim
