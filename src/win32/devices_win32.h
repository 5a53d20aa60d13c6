// Devices over the setup API (SetupDiGetClassDevsW and its interface
// enumeration), devices opened for overlapped I/O (CreateFileW,
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
    std::uint32_t CreateAutoResetEvent(Ports::EventHandle& event) override;
    void CloseEvent(Ports::EventHandle event) override;
    std::uint32_t WaitAny(const std::vector<Ports::EventHandle>& events) override;
};

}  // namespace Arvek::Win32
