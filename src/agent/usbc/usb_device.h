// Billboard detection: for a USB device (or hub) interface that has just
// arrived, finds the device among the setup API's devices, its parent hub
// through the configuration manager, the hub port it hangs on (the port
// whose driver key leads back to the device), and reads that port's device
// descriptor: a device of class 0x11 is a USB billboard device, which a
// USB Type-C device presents when it cannot get the alternate mode it asked
// for. The answer goes to g_bBillboardFound, which the window procedure reads.
//
// Main thread only, inside the arrival message; synchronous. Every failing
// step logs its line and ends with the answer "no billboard device".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "agent/core/globals.h"
#include "ports/platform.h"

namespace Notifications::Tidewatch {

// The hub requests IOCTL_USB_GET_NODE_INFORMATION,
// IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX and
// IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME (usbioctl.h: FILE_DEVICE_USB
// 0x22, METHOD_BUFFERED, FILE_ANY_ACCESS; functions 258, 274, 264).
inline constexpr std::uint32_t kIoctlUsbGetNodeInformation = 0x220408;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionInformationEx = 0x220448;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionDriverkeyName = 0x220420;

// The records of those requests as usbioctl.h lays them out: packed to one
// byte, little-endian.
//
// USB_NODE_INFORMATION, 76 bytes: NodeType (ULONG) at 0, then the
// USB_HUB_DESCRIPTOR at 4 (bDescriptorLength 4, bDescriptorType 5,
// bNumberOfPorts 6, wHubCharacteristics 7, bPowerOnToPowerGood 9,
// bHubControlCurrent 10, bRemoveAndPowerMask[64] 11), HubIsBusPowered at 75.
inline constexpr std::size_t kNodeInformationSize = 76;
inline constexpr std::size_t kNodeNumberOfPortsOffset = 6;
// USB_NODE_CONNECTION_INFORMATION_EX with room for 30 USB_PIPE_INFO records
// (7-byte endpoint descriptor and a ULONG: 11 bytes each): 35 + 30 * 11 =
// 365 bytes. ConnectionIndex (ULONG) at 0; the 18-byte USB_DEVICE_DESCRIPTOR
// at 4 (bLength 4, bDescriptorType 5, bcdUSB 6, bDeviceClass 8,
// bDeviceSubClass 9, bDeviceProtocol 10, bMaxPacketSize0 11, idVendor 12,
// idProduct 14, bcdDevice 16, iManufacturer 18, iProduct 19, iSerialNumber 20,
// bNumConfigurations 21); CurrentConfigurationValue 22, Speed 23,
// DeviceIsHub 24, DeviceAddress (USHORT) 25, NumberOfOpenPipes (ULONG) 27,
// ConnectionStatus (a 32-bit enumeration) 31, PipeList 35.
inline constexpr std::size_t kConnectionInformationSize = 365;
inline constexpr std::size_t kConnectionIndexOffset = 0;
inline constexpr std::size_t kDescriptorOffset = 4;
inline constexpr std::size_t kBcdUsbOffset = kDescriptorOffset + 2;
inline constexpr std::size_t kDeviceClassOffset = kDescriptorOffset + 4;
inline constexpr std::size_t kDeviceSubClassOffset = kDescriptorOffset + 5;
inline constexpr std::size_t kIdVendorOffset = kDescriptorOffset + 8;
inline constexpr std::size_t kIdProductOffset = kDescriptorOffset + 10;
inline constexpr std::size_t kBcdDeviceOffset = kDescriptorOffset + 12;
inline constexpr std::size_t kConnectionStatusOffset = 31;
inline constexpr std::uint32_t kDeviceConnected = 1;  // USB_CONNECTION_STATUS
// USB_NODE_CONNECTION_DRIVERKEY_NAME, 10 bytes with its one-unit name:
// ConnectionIndex (ULONG) at 0, ActualLength (ULONG, the bytes of the whole
// record the name needs) at 4, DriverKeyName (WCHAR[]) at 8.
inline constexpr std::size_t kDriverKeyNameSize = 10;
inline constexpr std::size_t kDriverKeyActualLengthOffset = 4;
inline constexpr std::size_t kDriverKeyNameOffset = 8;

// The USB billboard device class.
inline constexpr std::uint8_t kBillboardDeviceClass = 0x11;

// The device instance id a device-interface path names: without its
// "\\?\" prefix, cut at its last "#" (the interface class), every other "#"
// a "\", upper case. Nothing for a path with no "#" after its prefix, which
// the system does not make.
std::optional<std::wstring> InstanceIdFromInterfacePath(const std::wstring& path);

class CUsbDevice {
public:
    CUsbDevice(Arvek::Ports::Platform& platform, AgentGlobals& globals) : m_platform(platform), m_globals(globals) {}

    // The arrival's device-interface broadcast record, as many bytes as its
    // size field says (Arvek::Ports::DeviceBroadcastAt(lParam)). Resets both
    // globals; the answer is g_bBillboardFound.
    void Init(std::span<const std::uint8_t> record);
    void GetDeviceInfo(const std::wstring& id);
    // The hub's device-interface path, empty when it is not found.
    std::wstring GetHubName(const std::wstring& hubId);
    void GetDescriptor(Arvek::Ports::IControlDevice& hub, int ports, const std::wstring& id);
    // The driver key name of the device on the hub's port, empty on failure.
    std::wstring GetDriverKeyName(Arvek::Ports::IControlDevice& hub, int port);
    // The instance id of the present device with that driver key, empty
    // when none has it.
    std::wstring GetDeviceInstFromDriverName(const std::wstring& key);

private:
    Arvek::Ports::Platform& m_platform;
    AgentGlobals& m_globals;
};

}  // namespace Notifications::Tidewatch
