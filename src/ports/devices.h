// Devices port: the setup API's lists of device interfaces and of devices,
// the configuration manager's parent of a device, a device opened for
// overlapped I/O with its I/O control requests, a device (a USB hub) opened
// for plain synchronous requests, and the event objects a thread waits on
// while a request is under way. (Signalling an event is the window port's
// SetEvent, which the window's destruction uses.)
//
// Every step is a call of its own with the platform's error, so that the
// core can log the step that failed.
//
// Implementations: win32/devices_win32 (SetupDiGetClassDevsW and friends,
// CM_Get_Parent, CM_Get_Device_IDW, CreateFileW, DeviceIoControl,
// CancelIoEx, CreateEventW, WaitForMultipleObjects), sim/os/sim_devices (the
// simulated notebook's devices and device tree, among them the platform
// driver's stand-in, which answers its request from the scenario's timeline,
// and the USB hubs' stand-in, which answers from the scenario's [devices]).
//
// Nothing here throws.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ports/guid.h"
#include "ports/windowing.h"

namespace Arvek::Ports {

constexpr std::uint32_t kDIGCF_PRESENT = 0x02;
constexpr std::uint32_t kDIGCF_ALLCLASSES = 0x04;
constexpr std::uint32_t kDIGCF_DEVICEINTERFACE = 0x10;

// SetupDiGetDeviceRegistryPropertyW: the device's driver key
// ("{class guid}\\0012").
constexpr std::uint32_t kSPDRP_DRIVER = 9;

constexpr std::uint32_t kERROR_INVALID_DATA = 13;
constexpr std::uint32_t kERROR_INVALID_PARAMETER = 87;
constexpr std::uint32_t kERROR_INSUFFICIENT_BUFFER = 122;
constexpr std::uint32_t kERROR_NO_MORE_ITEMS = 259;
constexpr std::uint32_t kERROR_OPERATION_ABORTED = 995;
constexpr std::uint32_t kERROR_IO_INCOMPLETE = 996;
constexpr std::uint32_t kERROR_IO_PENDING = 997;
constexpr std::uint32_t kWAIT_FAILED = 0xFFFFFFFF;

// CONFIGRET results of the configuration manager.
constexpr std::uint32_t kCR_SUCCESS = 0x00;
constexpr std::uint32_t kCR_NO_SUCH_DEVNODE = 0x0D;
constexpr std::uint32_t kCR_BUFFER_SMALL = 0x1A;

// A device node of the configuration manager (DEVINST); 0 is none.
using DeviceNode = std::uint32_t;

// The device interfaces of one class, as SetupDiGetClassDevsW listed them,
// in the steps of reading one interface's device path.
class IDeviceInterfaceList {
public:
    virtual ~IDeviceInterfaceList() = default;  // SetupDiDestroyDeviceInfoList
    // SetupDiEnumDeviceInterfaces at `index` for the list's class: 0, or the
    // error (ERROR_NO_MORE_ITEMS past the end).
    virtual std::uint32_t EnumerateInterface(std::uint32_t index) = 0;
    // SetupDiGetDeviceInterfaceDetailW without a buffer, for the interface
    // enumerated last: the error it reports (ERROR_INSUFFICIENT_BUFFER as
    // expected; 0 when the call succeeded, which it should not) and the size
    // in bytes it asks for.
    virtual std::uint32_t DetailSize(std::uint32_t& size) = 0;
    // The read into a zeroed record of `size` bytes whose size field is set:
    // true and the device path, or false and the thread's last error (which
    // may be 0).
    virtual bool ReadDetail(std::uint32_t size, std::wstring& path, std::uint32_t& error) = 0;
};

// Devices as SetupDiGetClassDevsW listed them (for one interface class or
// across classes, present or not, as its flags said): the devices by index
// and, for the list's interface class, its interfaces by index (the members
// inherited). A device that was enumerated is the one the calls below read.
class IDeviceInfoList : public IDeviceInterfaceList {
public:
    // SetupDiEnumDeviceInfo at `index`: 0, or the error (ERROR_NO_MORE_ITEMS
    // past the end). After a failure no device is selected.
    virtual std::uint32_t EnumerateDevice(std::uint32_t index) = 0;
    // SetupDiGetDeviceInstanceIdW of the selected device into a buffer of
    // `capacity` UTF-16 units (none for 0): 0 and the id; or the error with
    // `required`, the units the id needs with its terminator
    // (ERROR_INSUFFICIENT_BUFFER when the buffer is too small).
    virtual std::uint32_t InstanceId(std::uint32_t capacity, std::wstring& id, std::uint32_t& required) = 0;
    // SetupDiGetDeviceRegistryPropertyW of the selected device into a buffer
    // of `capacity` bytes (none for 0): 0 and the property's bytes as stored
    // (strings with their terminator); or the error with `required`, the
    // bytes it needs (ERROR_INSUFFICIENT_BUFFER when the buffer is too small,
    // ERROR_INVALID_DATA when the device has no such property).
    virtual std::uint32_t RegistryProperty(std::uint32_t property, std::uint32_t capacity,
                                           std::vector<std::uint8_t>& data, std::uint32_t& required) = 0;
    // The selected device's node (SP_DEVINFO_DATA.DevInst), 0 when none is.
    virtual DeviceNode Node() const = 0;
};

// A device opened for plain (synchronous) requests: a USB hub.
class IControlDevice {
public:
    virtual ~IControlDevice() = default;  // CloseHandle
    // DeviceIoControl(code, `record` as both the input and the output
    // buffer, its size both ways, no overlapped record): 0 and what the
    // driver wrote over the record (`returned` bytes of it; the rest keeps
    // what it held), or the error.
    virtual std::uint32_t Control(std::uint32_t code, std::vector<std::uint8_t>& record, std::uint32_t& returned) = 0;
};

// A device opened for overlapped I/O, with room for one request under way.
// Destroying it cancels a request still under way, waits until the request
// has completed and closes the device.
class IDevice {
public:
    virtual ~IDevice() = default;
    // DeviceIoControl(code, input, an output buffer of `outputSize` zero
    // bytes) with the device's own overlapped record, whose event is
    // `completion`: 0 when the request completed at once, ERROR_IO_PENDING
    // while it is under way (`completion` is signalled when it completes),
    // else the error.
    virtual std::uint32_t StartControl(std::uint32_t code, const std::vector<std::uint8_t>& input,
                                       std::size_t outputSize, EventHandle completion) = 0;
    // The output buffer of the last request, `outputSize` bytes, as the
    // driver left it once the request completed (zeros before).
    virtual std::vector<std::uint8_t> Output() = 0;
    // What the last request completed with, as GetOverlappedResult reports
    // it without waiting: 0 for success (also for a request that completed
    // at once), ERROR_IO_INCOMPLETE while it is under way, the driver's error
    // for one that failed after it went pending, ERROR_OPERATION_ABORTED for
    // one that was cancelled, the error of a request that was refused.
    virtual std::uint32_t CompletionError() = 0;
    // Cancels a request still under way and waits until it has completed;
    // nothing when none is.
    virtual void CancelPending() = 0;
};

class IDevices {
public:
    virtual ~IDevices() = default;
    // SetupDiGetClassDevsW(interface class, no enumerator, no window, flags):
    // 0 and the list, or the error.
    virtual std::uint32_t GetClassDevices(const Guid& interfaceClass, std::uint32_t flags,
                                          std::unique_ptr<IDeviceInterfaceList>& list) = 0;
    // CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ |
    // FILE_SHARE_WRITE, OPEN_EXISTING, FILE_FLAG_OVERLAPPED): 0 and the
    // device, or the error.
    virtual std::uint32_t OpenOverlapped(const std::wstring& path, std::unique_ptr<IDevice>& device) = 0;
    // SetupDiGetClassDevsW(the class, or none for `interfaceClass` null, no
    // enumerator, no window, flags) as a list of devices: 0 and the list, or
    // the error.
    virtual std::uint32_t GetDeviceInfoList(const Guid* interfaceClass, std::uint32_t flags,
                                            std::unique_ptr<IDeviceInfoList>& list) = 0;
    // CM_Get_Parent(node): CR_SUCCESS and the parent's node, or the
    // CONFIGRET; `lastError` is the thread's last error right after the
    // call (the configuration manager does not promise to set it).
    virtual std::uint32_t GetParent(DeviceNode node, DeviceNode& parent, std::uint32_t& lastError) = 0;
    // CM_Get_Device_IDW(node, a buffer of `capacity` units): CR_SUCCESS and
    // the device id, or the CONFIGRET (CR_BUFFER_SMALL for too small a
    // buffer); `lastError` as above.
    virtual std::uint32_t GetDeviceId(DeviceNode node, std::uint32_t capacity, std::wstring& id,
                                      std::uint32_t& lastError) = 0;
    // CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING, no
    // flags): 0 and the device, or the error.
    virtual std::uint32_t OpenForWriting(const std::wstring& path, std::unique_ptr<IControlDevice>& device) = 0;
    // CreateEventW(unnamed, auto-reset, unsignalled): 0 and the event, or the
    // error.
    virtual std::uint32_t CreateAutoResetEvent(EventHandle& event) = 0;
    virtual void CloseEvent(EventHandle event) = 0;
    // WaitForMultipleObjects(any one, no time limit): the index of the event
    // that was signalled, or WAIT_FAILED.
    virtual std::uint32_t WaitAny(const std::vector<EventHandle>& events) = 0;
};

}  // namespace Arvek::Ports
