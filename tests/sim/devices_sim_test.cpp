// The simulated device tree: the devices contract against it, and the
// configuration manager's parents, which Wine cannot answer.
#include <gtest/gtest.h>

#include <vector>

#include "contract/devices_contract.h"
#include "sim/os/sim_devices.h"

namespace Arvek::Testing {
namespace {

class SimBackend final : public DevicesContractBackend {
public:
    Ports::IDevices& Devices() override { return m_devices; }
    void AddDevice(const std::wstring& instanceId, const std::wstring& path, const Ports::Guid& interfaceClass,
                   bool present, const std::optional<std::wstring>& driverKey) override {
        m_devices.AddDevice({instanceId, present, driverKey, L"", {{interfaceClass, path}}});
    }

private:
    Sim::SimDevices m_devices;
};

std::unique_ptr<DevicesContractBackend> MakeSimBackend() { return std::make_unique<SimBackend>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sim, DevicesContract, testing::Values(&MakeSimBackend),
                         [](const auto&) { return std::string("SimDevices"); });

namespace {

// As on Windows, a list of present devices leaves absent ones out.
TEST(SimDevicesTree, PresentListsLeaveAbsentDevicesOut) {
    Sim::SimDevices devices;
    const auto usb = Ports::kGUID_DEVINTERFACE_USB_DEVICE;
    devices.AddDevice({L"USB\\A\\1", true, std::nullopt, L"", {{usb, L"\\\\?\\USB#A#1#x"}}});
    devices.AddDevice({L"USB\\A\\2", false, std::nullopt, L"", {{usb, L"\\\\?\\USB#A#2#x"}}});
    devices.AddDevice({L"USB\\A\\3", true, std::nullopt, L"", {}});
    const struct {
        const Ports::Guid* interfaceClass;
        std::uint32_t flags;
        std::vector<std::wstring> ids;
    } cases[] = {
        {&usb, Ports::kDIGCF_PRESENT | Ports::kDIGCF_DEVICEINTERFACE, {L"USB\\A\\1"}},
        {&usb, Ports::kDIGCF_DEVICEINTERFACE, {L"USB\\A\\1", L"USB\\A\\2"}},
        {nullptr, Ports::kDIGCF_PRESENT | Ports::kDIGCF_ALLCLASSES, {L"USB\\A\\1", L"USB\\A\\3"}},
        {&Ports::kGUID_DEVINTERFACE_USB_HUB, Ports::kDIGCF_DEVICEINTERFACE, {}},
    };
    for (const auto& c : cases) {
        std::unique_ptr<Ports::IDeviceInfoList> list;
        ASSERT_EQ(devices.GetDeviceInfoList(c.interfaceClass, c.flags, list), 0u);
        std::vector<std::wstring> ids;
        for (std::uint32_t index = 0; list->EnumerateDevice(index) == 0; ++index) {
            std::uint32_t required = 0;
            ids.emplace_back();
            EXPECT_EQ(list->InstanceId(64, ids.back(), required), 0u);
        }
        EXPECT_EQ(ids, c.ids) << c.flags;
    }
}

// A device's parent is the node its tree names, or the tree's root, which
// has none; ids are read into a buffer of a given size.
TEST(SimDevicesTree, ParentsComeFromTheTree) {
    Sim::SimDevices devices;
    devices.AddDevice({L"USB\\ROOT_HUB30\\1", true, std::nullopt, L"", {}});
    devices.AddDevice({L"USB\\VID_1&PID_2\\3", true, L"{x}\\0001", L"USB\\ROOT_HUB30\\1", {}});
    devices.AddDevice({L"USB\\VID_1&PID_2\\4", true, std::nullopt, L"USB\\NOT_THERE", {}});
    std::unique_ptr<Ports::IDeviceInfoList> list;
    ASSERT_EQ(devices.GetDeviceInfoList(nullptr, Ports::kDIGCF_ALLCLASSES, list), 0u);

    const auto parentId = [&](std::uint32_t index, std::wstring& id) {
        EXPECT_EQ(list->EnumerateDevice(index), 0u);
        Ports::DeviceNode parent = 0;
        std::uint32_t lastError = 1;
        const std::uint32_t result = devices.GetParent(list->Node(), parent, lastError);
        if (result != Ports::kCR_SUCCESS) return result;
        return devices.GetDeviceId(parent, 200, id, lastError);
    };
    std::wstring id;
    EXPECT_EQ(parentId(1, id), Ports::kCR_SUCCESS);
    EXPECT_EQ(id, L"USB\\ROOT_HUB30\\1");
    EXPECT_EQ(parentId(0, id), Ports::kCR_SUCCESS);
    EXPECT_EQ(id, L"HTREE\\ROOT\\0");
    EXPECT_EQ(parentId(2, id), Ports::kCR_NO_SUCH_DEVNODE);

    // The root has no parent; a buffer without room for the terminator is too small.
    Ports::DeviceNode root = 0, none = 0;
    std::uint32_t lastError = 0;
    ASSERT_EQ(list->EnumerateDevice(0), 0u);
    ASSERT_EQ(devices.GetParent(list->Node(), root, lastError), Ports::kCR_SUCCESS);
    EXPECT_EQ(devices.GetParent(root, none, lastError), Ports::kCR_NO_SUCH_DEVNODE);
    EXPECT_EQ(devices.GetDeviceId(root, 12, id, lastError), Ports::kCR_BUFFER_SMALL);
    EXPECT_EQ(devices.GetDeviceId(root, 13, id, lastError), Ports::kCR_SUCCESS);
}

}  // namespace
}  // namespace Arvek::Testing
