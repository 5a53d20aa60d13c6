// The simulated notebook's USB hubs and what hangs on their ports, as the
// scenario's [devices] section describes them, and each hub's driver: the
// stand-in that answers the three hub requests (node information,
// connection information, driver key name) with the platform's records.
//
//   [devices]
//   hub USB\ROOT_HUB30\4&1B7D5D1&0&0 \\?\USB#ROOT_HUB30#4&1B7D5D1&0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8} ports=4
//   port 3 DeviceConnected bcdUSB=0x0201 class=0x11 subclass=0 idProduct=0x5030 bcdDevice=0x0100 driver={88bae032-5a81-49f0-bc3d-a4ff138216d6}\0003 id=USB\VID_2109&PID_5030\1
//   interface \\?\USB#VID_2109&PID_5030#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}
//   device USB\VID_0BDA&PID_8153\00E04C680001 absent
//
// docs/scenarios.md is the reference of the lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/os/sim_devices.h"

namespace Arvek::Sim {

// One port of a hub and the device on it, as the hub reports them.
struct UsbPort {
    int number = 0;
    std::uint32_t status = 0;  // USB_CONNECTION_STATUS: 0 none, 1 DeviceConnected, ...
    std::uint16_t bcdUSB = 0;
    std::uint8_t deviceClass = 0;
    std::uint8_t deviceSubClass = 0;
    std::uint16_t idVendor = 0;
    std::uint16_t idProduct = 0;
    std::uint16_t bcdDevice = 0;
    std::wstring driverKey;   // empty: the device has none (no driver)
    std::wstring instanceId;  // empty: no device node
    // The hub refuses every request about the port with this error.
    std::optional<std::uint32_t> failure;
};

struct UsbHubDescription {
    std::wstring instanceId;
    std::wstring path;  // its hub interface
    int ports = -1;          // the ports it has; -1 until the section is read: its highest port line
    int reportedPorts = -1;  // what its node information says; -1: as many as it has
    std::vector<UsbPort> portList;
};

// The [devices] section: the hubs, and the device nodes (hubs, the devices
// on their ports and devices listed on their own), in the order first named.
struct UsbDeviceTree {
    std::vector<UsbHubDescription> hubs;
    std::vector<SimDevices::Device> devices;
    // While the section is read: the node the next interface line belongs
    // to, the one the last hub, port or device line named.
    std::wstring current;
};

// Reads one line of the section into the tree. Throws ScenarioError
// ("file:line: what").
void ReadDeviceTreeLine(UsbDeviceTree& tree, const std::string& line, const std::string& fileName, int lineNumber);
// Settles what only the whole section shows: the hubs' port counts.
// Throws ScenarioError for a port line beyond the ports its hub has.
void FinishDeviceTree(UsbDeviceTree& tree, const std::string& fileName);

// A hub's driver, answering from its description.
class UsbHub final : public SimControlDriver {
public:
    explicit UsbHub(UsbHubDescription hub) : m_hub(std::move(hub)) {}
    std::uint32_t Control(std::uint32_t code, std::vector<std::uint8_t>& record, std::uint32_t& returned) override;

private:
    const UsbPort* Port(int number) const;
    UsbHubDescription m_hub;
};

}  // namespace Arvek::Sim
