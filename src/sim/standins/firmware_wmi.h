// The firmware's WMI provider, as the simulated notebook's stand-in for it:
// the maker's event class "arqBEvnt" (EventID, EventData) and the public
// event class "ARVEKBIOS_BIOSEvent" (Description) in ROOT\WMI, and the
// events the timeline raises (`wmi-event`). Which events the firmware raises
// and with which data is the scenario's to say; the classes and properties
// are what the agent reads.
#pragma once

#include <cstddef>
#include <vector>

#include "sim/os/sim_wmi.h"

namespace Arvek::Sim {

class FirmwareWmi {
public:
    static constexpr const wchar_t* kNamespace = L"root\\wmi";
    static constexpr const wchar_t* kEventClass = L"arqBEvnt";
    static constexpr const wchar_t* kPublicEventClass = L"ARVEKBIOS_BIOSEvent";

    explicit FirmwareWmi(SimWmi& wmi) : m_wmi(wmi) {}

    // The provider is installed: its classes exist.
    void Install();
    // Raises the events in one go: each subscription that selects some of
    // them gets them in one delivery. An instance without "__Class" gets its
    // class's name as the event's class gives it. The deliveries made.
    std::size_t Raise(std::vector<SimWmi::Event> events);

private:
    SimWmi& m_wmi;
};

}  // namespace Arvek::Sim
