// Billboard detection with the Windows adapter under Wine: a fake USB
// device and hub described in the prefix's registry (Wine's setup API reads
// devices, instance ids and driver keys from the Enum and DeviceClasses
// keys alone), found by CUsbDevice::Init as far as Wine goes: its
// CM_Get_Parent is a stub that fails, so the search ends there.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "agent/usbc/usb_device.h"
#include "ports/device_broadcast.h"
#include "process_log_win32.h"
#include "usb_registry_win32.h"
#include "win32/platform_win32.h"

namespace Arvek::Win32 {
namespace {

using Testing::FakeUsbDevices;

TEST(Win32UsbDevice, TheArrivedDeviceIsFoundAndTheSearchEndsAtWinesParentStub) {
    FakeUsbDevices fake;
    fake.Add(FakeUsbDevices::kHubId, FakeUsbDevices::kHubPath, Ports::kGUID_DEVINTERFACE_USB_HUB, true,
             L"{36fc9e60-c465-11cf-8056-444553540000}\\9990");
    fake.Add(FakeUsbDevices::kDeviceId, FakeUsbDevices::kDevicePath, Ports::kGUID_DEVINTERFACE_USB_DEVICE, true,
             L"{36fc9e60-c465-11cf-8056-444553540000}\\9991");

    Win32Platform platform;
    Notifications::Tidewatch::AgentGlobals globals;
    globals.g_bBillboardFound = true;
    Testing::ClearProcessLog();
    // The path as the system writes it, in lower case.
    std::wstring path = FakeUsbDevices::kDevicePath;
    std::transform(path.begin(), path.end(), path.begin(), ::towlower);
    Notifications::Tidewatch::CUsbDevice(platform, globals)
        .Init(Ports::MakeDeviceInterfaceBroadcast(Ports::kGUID_DEVINTERFACE_USB_DEVICE, path));

    const std::vector<std::wstring> lines = Testing::ProcessLogLines(0);
    for (const auto& line : lines) std::wprintf(L"%ls\n", line.c_str());
    EXPECT_FALSE(globals.g_bBillboardFound);
    EXPECT_EQ(globals.g_sArrivedInstanceId, FakeUsbDevices::kDeviceId);
}

}  // namespace
}  // namespace Arvek::Win32
