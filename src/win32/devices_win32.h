// Devices over the setup API (SetupDiGetClassDevsW with its device and
// interface enumeration, instance ids, registry properties), the
// configuration manager (CM_Get_Parent, CM_Get_Device_IDW), hubs opened for
// plain requests (CreateFileW, DeviceIoControl), devices opened for overlapped I/O (CreateFileW,
// DeviceIoControl, CancelIoEx, GetOverlappedResult) and the event objects
// the monitor thread waits on (CreateEventW, WaitForMultipleObjects).
//
// A device is used from one thread; another thread may only signal the
// events that thread waits on.
#pragma once

#include "ports/devices.h"

namespace Arvek::Win32 {

class Win32Devices final : public Ports::IDevices {
public:
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
};

}  // namespace Arvek::Win32
