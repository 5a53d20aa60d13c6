// The ACPI USB Type-C monitor: a thread of its own that keeps one request
// pending on the maker's platform driver and, each time the driver completes
// it with the USB Type-C event byte, posts WM_NOTIFY_ACPI_USB_C to the
// agent's window, so that all USB Type-C work stays on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "agent/core/globals.h"
#include "common/hresult.h"
#include "ports/platform.h"

namespace Notifications::Tidewatch {

// The platform driver's device interface class.
inline constexpr Arvek::Ports::Guid kPyloInterfaceClass{
    0x38E184EA, 0x2138, 0x468C, {0xAE, 0xE5, 0x12, 0x80, 0x53, 0x2B, 0x5C, 0x2D}};
// Its request "wait for the next ACPI event": device type 0x8084, function
// 0xCEA, buffered, any access. No input; one byte of output.
inline constexpr std::uint32_t kIoctlPyloWaitForEvent = 0x808433A8;
// The output byte of a USB Type-C ACPI event.
inline constexpr std::uint8_t USB_TYPEC_ACPI_EVENT_ID = 0xA0;
inline constexpr std::uint32_t WM_NOTIFY_ACPI_USB_C = 1278;

// The driver's device, found through its interface class, and its waiting
// request. Used by the monitor thread only.
class CIoctlWrapper {
public:
    CIoctlWrapper(Arvek::Ports::Platform& platform, AgentGlobals& globals, const std::vector<std::uint8_t>& input,
                  std::size_t expectedOutputSize)
        : m_platform(platform), m_globals(globals), m_input(input), m_expectedOutputSize(expectedOutputSize) {}
    // Cancels a request still pending before the device is closed.
    ~CIoctlWrapper() = default;

    Arvek::HRESULT OpenPyloDevice();
    Arvek::HRESULT GetPyloDevicePath(std::wstring& path);
    // 0 when the request completed, 1 when the stop event was signalled,
    // else a failure: a negative HRESULT of the device's opening or of a
    // request that completed with an error, or the error of the event's
    // creation, of the request, or of the wait.
    std::uint32_t ListenForEvent();

    // The output of the last completed request.
    const std::vector<std::uint8_t>& Output() const { return m_output; }

private:
    Arvek::Ports::Platform& m_platform;
    AgentGlobals& m_globals;
    const std::vector<std::uint8_t>& m_input;
    std::vector<std::uint8_t> m_output;
    std::size_t m_expectedOutputSize;
    std::uint32_t m_bytesReturned = 0;
    std::unique_ptr<Arvek::Ports::IDevice> m_device;
};

// The monitor thread's procedure: the last ListenForEvent result (1 when it
// was stopped), or 0 when the device cannot be opened. It checks for a stop
// on every turn, so a driver that completes every request at once cannot
// keep it from ending, and it ends at a request that completes with an
// error instead of issuing the next one. Nothing it throws leaves it.
std::uint32_t ACPIUSBCMonitor(Arvek::Ports::Platform& platform, AgentGlobals& globals) noexcept;

}  // namespace Notifications::Tidewatch
