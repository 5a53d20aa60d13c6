// Devices port: the setup API's lists of device interfaces, a device opened
// for overlapped I/O with its I/O control requests, and the event objects a
// thread waits on while a request is under way. (Signalling an event is the
// window port's SetEvent, which the window's destruction uses.)
//
// Implementations: win32/devices_win32 (SetupDiGetClassDevsW and friends,
// CreateFileW with FILE_FLAG_OVERLAPPED, DeviceIoControl, CancelIoEx,
// CreateEventW, WaitForMultipleObjects), sim/os/sim_devices (the simulated
// notebook's devices, among them the platform driver's stand-in, which
// answers its request from the scenario's timeline).
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

constexpr std::uint32_t kERROR_INSUFFICIENT_BUFFER = 122;
constexpr std::uint32_t kERROR_NO_MORE_ITEMS = 259;
constexpr std::uint32_t kERROR_OPERATION_ABORTED = 995;
constexpr std::uint32_t kERROR_IO_INCOMPLETE = 996;
constexpr std::uint32_t kERROR_IO_PENDING = 997;
constexpr std::uint32_t kWAIT_FAILED = 0xFFFFFFFF;

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
    // CreateEventW(unnamed, auto-reset, unsignalled): 0 and the event, or the
    // error.
    virtual std::uint32_t CreateAutoResetEvent(EventHandle& event) = 0;
    virtual void CloseEvent(EventHandle event) = 0;
    // WaitForMultipleObjects(any one, no time limit): the index of the event
    // that was signalled, or WAIT_FAILED.
    virtual std::uint32_t WaitAny(const std::vector<EventHandle>& events) = 0;
};

}  // namespace Arvek::Ports
