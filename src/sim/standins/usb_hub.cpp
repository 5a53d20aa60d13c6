#include "sim/standins/usb_hub.h"

#include <algorithm>
#include <map>
#include <sstream>

#include "agent/usbc/usb_device.h"
#include "common/strings.h"
#include "sim/machine/scenario.h"

namespace Arvek::Sim {
namespace {

namespace Usb = Notifications::Tidewatch;

constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

[[noreturn]] void Fail(const std::string& file, int line, const std::string& what) {
    throw ScenarioError(file + ":" + std::to_string(line) + ": " + what);
}

void Put16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}
void Put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint32_t Get32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

// USB_CONNECTION_STATUS by the names the platform gives them.
const std::map<std::string, std::uint32_t>& StatusNames() {
    static const std::map<std::string, std::uint32_t> names = {
        {"NoDeviceConnected", 0},      {"empty", 0},
        {"DeviceConnected", 1},        {"connected", 1},
        {"DeviceFailedEnumeration", 2}, {"DeviceGeneralFailure", 3},
        {"DeviceCausedOvercurrent", 4}, {"DeviceNotEnoughPower", 5},
        {"DeviceNotEnoughBandwidth", 6}, {"DeviceHubNestedTooDeeply", 7},
        {"DeviceInLegacyHub", 8},      {"DeviceEnumerating", 9},
        {"DeviceReset", 10},
    };
    return names;
}

SimDevices::Device& NodeOf(UsbDeviceTree& tree, const std::wstring& id) {
    for (auto& device : tree.devices)
        if (device.instanceId == id) return device;
    tree.devices.push_back({id});
    return tree.devices.back();
}

struct Reader {
    UsbDeviceTree& tree;
    const std::string& file;
    int line;

    std::uint64_t Number(const std::string& name, const std::string& text, std::uint64_t max) const {
        std::uint64_t value = 0;
        if (!ParseScenarioNumber(text, value) || value > max)
            Fail(file, line, name + " must be a number from 0 to " + std::to_string(max) + ": " + text);
        return value;
    }
    // NAME=VALUE words; `flags` are the bare words the line may hold.
    std::map<std::string, std::string> Settings(const std::vector<std::string>& words, std::size_t from,
                                                const std::vector<std::string>& keys,
                                                const std::vector<std::string>& flags) const {
        std::map<std::string, std::string> settings;
        for (std::size_t i = from; i < words.size(); ++i) {
            const std::string& word = words[i];
            const auto eq = word.find('=');
            const std::string key = word.substr(0, eq);
            const bool known = eq == std::string::npos ? std::count(flags.begin(), flags.end(), word) != 0
                                                       : std::count(keys.begin(), keys.end(), key) != 0;
            if (!known) Fail(file, line, "unknown word \"" + word + "\" for " + words[0]);
            if (settings.count(key)) Fail(file, line, key + " is given twice");
            settings[key] = eq == std::string::npos ? "" : word.substr(eq + 1);
        }
        return settings;
    }
};

}  // namespace

void ReadDeviceTreeLine(UsbDeviceTree& tree, const std::string& text, const std::string& fileName, int lineNumber) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    if (words.empty()) Fail(fileName, lineNumber, "expected a hub, port, device or interface line");
    const Reader read{tree, fileName, lineNumber};
    if (words[0] == "hub") {
        if (words.size() < 3) Fail(fileName, lineNumber, "expected: hub INSTANCE-ID PATH [ports=N] [reports=N]: " + text);
        const auto settings = read.Settings(words, 3, {"ports", "reports"}, {});
        UsbHubDescription hub;
        hub.instanceId = WidenUtf8(words[1]);
        hub.path = WidenUtf8(words[2]);
        for (const auto& known : tree.hubs)
            if (known.instanceId == hub.instanceId) Fail(fileName, lineNumber, "a second hub " + words[1]);
        if (settings.count("ports")) hub.ports = static_cast<int>(read.Number("ports", settings.at("ports"), 255));
        if (settings.count("reports"))
            hub.reportedPorts = static_cast<int>(read.Number("reports", settings.at("reports"), 255));
        tree.hubs.push_back(hub);
        auto& node = NodeOf(tree, hub.instanceId);
        node.interfaces.push_back({Ports::kGUID_DEVINTERFACE_USB_HUB, hub.path});
        tree.current = hub.instanceId;
        return;
    }
    if (words[0] == "port") {
        if (tree.hubs.empty()) Fail(fileName, lineNumber, "a port line needs a hub line before it");
        if (words.size() < 3) Fail(fileName, lineNumber, "expected: port N STATUS [NAME=VALUE ...]: " + text);
        auto& hub = tree.hubs.back();
        UsbPort port;
        port.number = static_cast<int>(read.Number("the port number", words[1], 255));
        if (port.number == 0) Fail(fileName, lineNumber, "ports are numbered from 1");
        for (const auto& known : hub.portList)
            if (known.number == port.number) Fail(fileName, lineNumber, "a second line for port " + words[1]);
        if (const auto named = StatusNames().find(words[2]); named != StatusNames().end()) {
            port.status = named->second;
        } else {
            std::uint64_t status = 0;
            if (!ParseScenarioNumber(words[2], status) || status > 0xFFFFFFFFu)
                Fail(fileName, lineNumber,
                     "the connection status is DeviceConnected, NoDeviceConnected, another USB_CONNECTION_STATUS "
                     "name or a number: " + words[2]);
            port.status = static_cast<std::uint32_t>(status);
        }
        const auto settings = read.Settings(
            words, 3, {"bcdUSB", "class", "subclass", "idVendor", "idProduct", "bcdDevice", "driver", "id", "fails"},
            {"absent"});
        const auto number = [&](const char* key, std::uint64_t max) {
            return settings.count(key) ? read.Number(key, settings.at(key), max) : 0;
        };
        port.bcdUSB = static_cast<std::uint16_t>(number("bcdUSB", 0xFFFF));
        port.deviceClass = static_cast<std::uint8_t>(number("class", 0xFF));
        port.deviceSubClass = static_cast<std::uint8_t>(number("subclass", 0xFF));
        port.idVendor = static_cast<std::uint16_t>(number("idVendor", 0xFFFF));
        port.idProduct = static_cast<std::uint16_t>(number("idProduct", 0xFFFF));
        port.bcdDevice = static_cast<std::uint16_t>(number("bcdDevice", 0xFFFF));
        if (settings.count("fails")) port.failure = static_cast<std::uint32_t>(number("fails", 0xFFFFFFFFu));
        if (settings.count("driver")) port.driverKey = WidenUtf8(settings.at("driver"));
        if (settings.count("id")) port.instanceId = WidenUtf8(settings.at("id"));
        if (port.instanceId.empty() && (settings.count("driver") || settings.count("absent")))
            Fail(fileName, lineNumber, "driver= and absent describe the port's device: give its id= too");
        hub.portList.push_back(port);
        tree.current = port.instanceId;
        if (!port.instanceId.empty()) {
            auto& node = NodeOf(tree, port.instanceId);
            if (!port.driverKey.empty()) node.driverKey = port.driverKey;
            node.parent = hub.instanceId;
            node.present = settings.count("absent") == 0;
        }
        return;
    }
    if (words[0] == "device") {
        if (words.size() < 2) Fail(fileName, lineNumber, "expected: device INSTANCE-ID [absent] [driver=KEY] [parent=ID]: " + text);
        const auto settings = read.Settings(words, 2, {"driver", "parent"}, {"absent"});
        auto& node = NodeOf(tree, WidenUtf8(words[1]));
        if (settings.count("driver")) node.driverKey = WidenUtf8(settings.at("driver"));
        if (settings.count("parent")) node.parent = WidenUtf8(settings.at("parent"));
        node.present = settings.count("absent") == 0;
        tree.current = node.instanceId;
        return;
    }
    if (words[0] == "interface") {
        if (words.size() < 2) Fail(fileName, lineNumber, "expected: interface PATH [unreadable=ERROR]: " + text);
        if (tree.current.empty())
            Fail(fileName, lineNumber, "an interface line belongs to the hub, port device or device line before it");
        const auto settings = read.Settings(words, 2, {"unreadable"}, {});
        SimDevices::Interface item;
        item.path = WidenUtf8(words[1]);
        const auto hash = item.path.rfind(L'#');
        const auto guid = hash == std::wstring::npos ? std::nullopt : Ports::GuidFromText(item.path.substr(hash + 1));
        if (!guid) Fail(fileName, lineNumber, "an interface path ends in #{its interface class}: " + words[1]);
        item.interfaceClass = *guid;
        if (settings.count("unreadable"))
            item.detailFailure = static_cast<std::uint32_t>(read.Number("unreadable", settings.at("unreadable"), 0xFFFFFFFFu));
        NodeOf(tree, tree.current).interfaces.push_back(item);
        return;
    }
    Fail(fileName, lineNumber, "expected a hub, port, device or interface line: " + text);
}

void FinishDeviceTree(UsbDeviceTree& tree, const std::string& fileName) {
    for (auto& hub : tree.hubs) {
        int highest = 0;
        for (const auto& port : hub.portList) highest = std::max(highest, port.number);
        if (hub.ports < 0) hub.ports = highest;
        if (highest > hub.ports)
            throw ScenarioError(fileName + ": hub " + NarrowUtf8(hub.instanceId) + " has " +
                                std::to_string(hub.ports) + " ports, but a line describes port " +
                                std::to_string(highest));
        if (hub.reportedPorts < 0) hub.reportedPorts = hub.ports;
    }
}

const UsbPort* UsbHub::Port(int number) const {
    for (const auto& port : m_hub.portList)
        if (port.number == number) return &port;
    return nullptr;
}

std::uint32_t UsbHub::Control(std::uint32_t code, std::vector<std::uint8_t>& record, std::uint32_t& returned) {
    returned = 0;
    if (code == Usb::kIoctlUsbGetNodeInformation) {
        if (record.size() < Usb::kNodeInformationSize) return Ports::kERROR_INSUFFICIENT_BUFFER;
        std::fill(record.begin(), record.begin() + Usb::kNodeInformationSize, 0);
        // NodeType UsbHub (0); a hub descriptor of 9 bytes, type 0x29.
        record[4] = 9;
        record[5] = 0x29;
        record[Usb::kNodeNumberOfPortsOffset] = static_cast<std::uint8_t>(m_hub.reportedPorts);
        returned = static_cast<std::uint32_t>(Usb::kNodeInformationSize);
        return 0;
    }
    const bool connection = code == Usb::kIoctlUsbGetNodeConnectionInformationEx;
    const bool driverKey = code == Usb::kIoctlUsbGetNodeConnectionDriverkeyName;
    if (!connection && !driverKey) return 1;  // ERROR_INVALID_FUNCTION
    // Both records begin with the port's number.
    if (record.size() < (connection ? 35 : Usb::kDriverKeyNameSize)) return Ports::kERROR_INSUFFICIENT_BUFFER;
    const std::uint32_t index = Get32(record, Usb::kConnectionIndexOffset);
    if (index == 0 || index > static_cast<std::uint32_t>(m_hub.ports)) return Ports::kERROR_INVALID_PARAMETER;
    const UsbPort* port = Port(static_cast<int>(index));
    if (port && port->failure) return *port->failure;

    if (connection) {
        std::fill(record.begin() + 4, record.begin() + 35, 0);
        if (port && port->status != 0) {
            const std::size_t d = Usb::kDescriptorOffset;
            record[d] = 18;     // bLength
            record[d + 1] = 1;  // USB_DEVICE_DESCRIPTOR_TYPE
            Put16(record, Usb::kBcdUsbOffset, port->bcdUSB);
            record[Usb::kDeviceClassOffset] = port->deviceClass;
            record[Usb::kDeviceSubClassOffset] = port->deviceSubClass;
            Put16(record, Usb::kIdVendorOffset, port->idVendor);
            Put16(record, Usb::kIdProductOffset, port->idProduct);
            Put16(record, Usb::kBcdDeviceOffset, port->bcdDevice);
            record[d + 17] = 1;  // bNumConfigurations
            record[22] = 1;      // CurrentConfigurationValue
            record[23] = port->bcdUSB >= 0x0300 ? 3 : port->bcdUSB >= 0x0200 ? 2 : 1;  // Speed
            record[24] = port->deviceClass == 0x09 ? 1 : 0;                           // DeviceIsHub
            Put16(record, 25, index);                                                 // DeviceAddress
        }
        Put32(record, Usb::kConnectionStatusOffset, port ? port->status : 0);
        returned = 35;
        return 0;
    }

    if (!port || port->status != Usb::kDeviceConnected || port->driverKey.empty()) return kErrorDeviceNotConnected;
    const auto name = ToUtf16Le(port->driverKey, true);
    const std::uint32_t actual = static_cast<std::uint32_t>(Usb::kDriverKeyNameOffset + name.size());
    Put32(record, Usb::kDriverKeyActualLengthOffset, actual);
    if (record.size() < actual) {
        // Too small for the name: the hub says how large a record it needs.
        record[Usb::kDriverKeyNameOffset] = 0;
        record[Usb::kDriverKeyNameOffset + 1] = 0;
        returned = static_cast<std::uint32_t>(Usb::kDriverKeyNameSize);
        return 0;
    }
    std::copy(name.begin(), name.end(), record.begin() + Usb::kDriverKeyNameOffset);
    returned = actual;
    return 0;
}

}  // namespace Arvek::Sim
