// Billboard detection with the Windows adapter under Wine: a fake USB
// device and hub described in the prefix's registry (Wine's setup API reads
// devices, instance ids and driver keys from the Enum and DeviceClasses
// keys alone), found by CUsbDevice as far as Wine goes: its CM_Get_Parent
// is a stub that fails, so the search ends there.
#include <windows.h>
#include <dbt.h>
#include <winioctl.h>
#include <usbioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cwctype>
#include <string>
#include <vector>

#include "agent/usbc/usb_device.h"
#include "ports/device_broadcast.h"
#include "process_log_win32.h"
#include "usb_registry_win32.h"
#include "win32/platform_win32.h"

namespace Arvek::Win32 {
namespace {

using Notifications::Tidewatch::AgentGlobals;
using Notifications::Tidewatch::CUsbDevice;
using Testing::FakeUsbDevices;

// The record layouts the core reads as bytes, held to the platform's own.
static_assert(sizeof(USB_NODE_INFORMATION) == Notifications::Tidewatch::kNodeInformationSize);
static_assert(offsetof(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor.bNumberOfPorts) ==
              Notifications::Tidewatch::kNodeNumberOfPortsOffset);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, PipeList) + 30 * sizeof(USB_PIPE_INFO) ==
              Notifications::Tidewatch::kConnectionInformationSize);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceDescriptor.bcdUSB) ==
              Notifications::Tidewatch::kBcdUsbOffset);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceDescriptor.bDeviceClass) ==
              Notifications::Tidewatch::kDeviceClassOffset);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceDescriptor.bDeviceSubClass) ==
              Notifications::Tidewatch::kDeviceSubClassOffset);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceDescriptor.idProduct) ==
              Notifications::Tidewatch::kIdProductOffset);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceDescriptor.bcdDevice) ==
              Notifications::Tidewatch::kBcdDeviceOffset);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, ConnectionStatus) ==
              Notifications::Tidewatch::kConnectionStatusOffset);
static_assert(sizeof(USB_NODE_CONNECTION_DRIVERKEY_NAME) == Notifications::Tidewatch::kDriverKeyNameSize);
static_assert(offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, ActualLength) ==
              Notifications::Tidewatch::kDriverKeyActualLengthOffset);
static_assert(offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, DriverKeyName) ==
              Notifications::Tidewatch::kDriverKeyNameOffset);
static_assert(IOCTL_USB_GET_NODE_INFORMATION == Notifications::Tidewatch::kIoctlUsbGetNodeInformation);
static_assert(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX ==
              Notifications::Tidewatch::kIoctlUsbGetNodeConnectionInformationEx);
static_assert(IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME ==
              Notifications::Tidewatch::kIoctlUsbGetNodeConnectionDriverkeyName);
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_devicetype) == Ports::kBroadcastDeviceTypeOffset);
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_classguid) == Ports::kBroadcastClassOffset);
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) == Ports::kBroadcastNameOffset);
static_assert(DBT_DEVICEARRIVAL == Ports::kDBT_DEVICEARRIVAL && DBT_DEVTYP_DEVICEINTERFACE == Ports::kDBT_DEVTYP_DEVICEINTERFACE);

const std::wstring kHubKey = L"{36fc9e60-c465-11cf-8056-444553540000}\\9990";
const std::wstring kDeviceKey = L"{36fc9e60-c465-11cf-8056-444553540000}\\9991";

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(::towlower(c)); });
    return text;
}

struct Win32UsbDevice : testing::Test {
    Win32UsbDevice() {
        fake.Add(FakeUsbDevices::kHubId, FakeUsbDevices::kHubPath, Ports::kGUID_DEVINTERFACE_USB_HUB, true, kHubKey);
        fake.Add(FakeUsbDevices::kDeviceId, FakeUsbDevices::kDevicePath, Ports::kGUID_DEVINTERFACE_USB_DEVICE, true,
                 kDeviceKey);
        Testing::ClearProcessLog();
    }
    // The arrival of the device's interface, its path in lower case as the
    // system writes it.
    void Arrive() {
        CUsbDevice(platform, globals)
            .Init(Ports::MakeDeviceInterfaceBroadcast(Ports::kGUID_DEVINTERFACE_USB_DEVICE,
                                                      Lower(FakeUsbDevices::kDevicePath)));
    }

    Win32Platform platform;
    AgentGlobals globals;
    std::unique_ptr<FakeUsbDevices> owned = std::make_unique<FakeUsbDevices>();
    FakeUsbDevices& fake = *owned;
};

TEST_F(Win32UsbDevice, TheArrivedDeviceIsFoundAndTheSearchEndsAtWinesParentStub) {
    globals.g_bBillboardFound = true;  // from an earlier arrival
    Arrive();
    EXPECT_FALSE(globals.g_bBillboardFound);
    EXPECT_EQ(globals.g_sArrivedInstanceId, FakeUsbDevices::kDeviceId);

    const std::vector<std::wstring> expected = {
        L"TraceIn CUsbDevice::Init : ",
        L"Information CUsbDevice::Init : USB device inserted:  " + Lower(FakeUsbDevices::kDevicePath),
        L"TraceIn CUsbDevice::GetDeviceInfo : ",
        L"Information CUsbDevice::GetDeviceInfo : Device instance id =" + std::wstring(FakeUsbDevices::kDeviceId),
        L"Information CUsbDevice::GetDeviceInfo :   Enum instance id =" + std::wstring(FakeUsbDevices::kDeviceId),
        // The thread's last error after the stub: whatever came before it.
        L"Information CUsbDevice::GetDeviceInfo : CM_Get_Parent failed.  Error= ",
        L"TraceOut CUsbDevice::GetDeviceInfo : ",
        L"TraceOut CUsbDevice::Init : ",
    };
    const std::vector<std::wstring> lines = Testing::ProcessLogLines(0);
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << i;

    // Once the fake devices are gone, the search finds nothing.
    owned.reset();
    Testing::ClearProcessLog();
    Arrive();
    for (const auto& line : Testing::ProcessLogLines(0))
        EXPECT_EQ(line.find(L"Device instance id ="), std::wstring::npos) << line;
}

// What Wine answers the steps the stub keeps the search from: the hub's
// interface path, a device by its driver key; and the stub itself, which
// reports CR_NO_SUCH_DEVNODE and leaves the last error as it was.
TEST_F(Win32UsbDevice, WineAnswersTheStepsAroundItsParentStub) {
    CUsbDevice device(platform, globals);
    EXPECT_EQ(device.GetHubName(FakeUsbDevices::kHubId), Lower(FakeUsbDevices::kHubPath));
    EXPECT_EQ(device.GetHubName(L"USB\\VID_A7E0&PID_0B0B\\NOHUB"), L"");
    EXPECT_EQ(device.GetDeviceInstFromDriverName(kDeviceKey), FakeUsbDevices::kDeviceId);
    EXPECT_EQ(device.GetDeviceInstFromDriverName(kDeviceKey + L"0"), L"");
    const auto lines = Testing::ProcessLogLines(0);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        L"Verbose CUsbDevice::GetDeviceInstFromDriverName : SetupDiGetDeviceInstanceId [2] returns 1."),
              lines.end());

    std::unique_ptr<Ports::IDeviceInfoList> list;
    ASSERT_EQ(platform.devices.GetDeviceInfoList(&Ports::kGUID_DEVINTERFACE_USB_DEVICE,
                                                 Ports::kDIGCF_DEVICEINTERFACE | Ports::kDIGCF_ALLCLASSES, list),
              0u);
    bool found = false;
    for (std::uint32_t index = 0; !found && list->EnumerateDevice(index) == 0; ++index) {
        std::wstring id;
        std::uint32_t required = 0;
        found = list->InstanceId(400, id, required) == 0 && id == FakeUsbDevices::kDeviceId;
    }
    ASSERT_TRUE(found);
    Ports::DeviceNode parent = 7;
    std::uint32_t lastError = 0;
    ::SetLastError(1234);
    EXPECT_EQ(platform.devices.GetParent(list->Node(), parent, lastError), Ports::kCR_NO_SUCH_DEVNODE);
    EXPECT_EQ(parent, 0u);
    EXPECT_EQ(lastError, 1234u);
    std::wstring own;
    EXPECT_EQ(platform.devices.GetDeviceId(list->Node(), 200, own, lastError), Ports::kCR_SUCCESS);
    EXPECT_EQ(own, FakeUsbDevices::kDeviceId);
    EXPECT_EQ(platform.devices.GetDeviceId(list->Node(), 5, own, lastError), Ports::kCR_BUFFER_SMALL);
}

}  // namespace
}  // namespace Arvek::Win32
