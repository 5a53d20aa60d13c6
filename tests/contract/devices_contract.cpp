#include "contract/devices_contract.h"

#include <vector>

#include "common/hresult.h"
#include "common/strings.h"

namespace Arvek::Testing {
namespace {

// Vendor 0xA7E0 is no real vendor's: nothing else on the machine is listed
// under these ids.
const std::wstring kPresentId = L"USB\\VID_A7E0&PID_C001\\ARVEKCONTRACT1";
const std::wstring kPresentPath = L"\\\\?\\USB#VID_A7E0&PID_C001#ARVEKCONTRACT1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const std::wstring kPresentKey = L"{36fc9e60-c465-11cf-8056-444553540000}\\7001";
const std::wstring kAbsentId = L"USB\\VID_A7E0&PID_C002\\ARVEKCONTRACT2";
const std::wstring kAbsentPath = L"\\\\?\\USB#VID_A7E0&PID_C002#ARVEKCONTRACT2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

constexpr std::uint32_t kByInterfaceAcrossClasses = Ports::kDIGCF_DEVICEINTERFACE | Ports::kDIGCF_ALLCLASSES;
constexpr std::uint32_t kPresentByInterface = Ports::kDIGCF_DEVICEINTERFACE | Ports::kDIGCF_PRESENT;

// The instance ids a list holds, each read with room to spare.
std::vector<std::wstring> ListedIds(Ports::IDeviceInfoList& list) {
    std::vector<std::wstring> ids;
    for (std::uint32_t index = 0; list.EnumerateDevice(index) == 0 && index < 10000; ++index) {
        std::wstring id;
        std::uint32_t required = 0;
        EXPECT_EQ(list.InstanceId(1024, id, required), 0u);
        ids.push_back(id);
    }
    return ids;
}

bool Holds(const std::vector<std::wstring>& ids, const std::wstring& id) {
    for (const auto& listed : ids)
        if (listed == id) return true;
    return false;
}

std::unique_ptr<Ports::IDeviceInfoList> List(Ports::IDevices& devices, const Ports::Guid* interfaceClass,
                                             std::uint32_t flags) {
    std::unique_ptr<Ports::IDeviceInfoList> list;
    EXPECT_EQ(devices.GetDeviceInfoList(interfaceClass, flags, list), 0u);
    EXPECT_TRUE(list);
    return list;
}

// Selects the device with that id in the list; false when it is not there.
bool Select(Ports::IDeviceInfoList& list, const std::wstring& id) {
    for (std::uint32_t index = 0; list.EnumerateDevice(index) == 0 && index < 10000; ++index) {
        std::wstring listed;
        std::uint32_t required = 0;
        if (list.InstanceId(1024, listed, required) == 0 && listed == id) return true;
    }
    return false;
}

}  // namespace

void DevicesContract::SetUp() {
    backend = GetParam()();
    backend->AddDevice(kPresentId, kPresentPath, Ports::kGUID_DEVINTERFACE_USB_DEVICE, true, kPresentKey);
    backend->AddDevice(kAbsentId, kAbsentPath, Ports::kGUID_DEVINTERFACE_USB_DEVICE, false, std::nullopt);
}

// Across classes by interface the absent device is listed too. (Only
// present devices by interface of one class: Windows leaves the absent one
// out of the devices too, Wine 8 only out of the interfaces, below; the
// simulated tree does as Windows does.)
TEST_P(DevicesContract, ListsAcrossClassesHoldAbsentDevicesToo) {
    auto& devices = backend->Devices();
    const auto usb = Ports::kGUID_DEVINTERFACE_USB_DEVICE;
    const auto all = ListedIds(*List(devices, &usb, kByInterfaceAcrossClasses));
    EXPECT_TRUE(Holds(all, kPresentId));
    EXPECT_TRUE(Holds(all, kAbsentId));
    EXPECT_TRUE(Holds(ListedIds(*List(devices, nullptr, Ports::kDIGCF_PRESENT | Ports::kDIGCF_ALLCLASSES)), kPresentId));

    // Past the end, and before any device was enumerated, nothing is read.
    auto list = List(devices, &usb, kPresentByInterface);
    std::wstring id = L"stale";
    std::uint32_t required = 7;
    EXPECT_NE(list->InstanceId(1024, id, required), 0u);
    EXPECT_EQ(list->Node(), 0u);
    EXPECT_EQ(list->EnumerateDevice(10000), Ports::kERROR_NO_MORE_ITEMS);
    EXPECT_EQ(list->Node(), 0u);
}

// The instance id into a buffer of a given size: too small is
// ERROR_INSUFFICIENT_BUFFER with the units it needs, terminator included.
TEST_P(DevicesContract, TheInstanceIdTellsTheSizeItNeeds) {
    const auto usb = Ports::kGUID_DEVINTERFACE_USB_DEVICE;
    auto list = List(backend->Devices(), &usb, kByInterfaceAcrossClasses);
    ASSERT_TRUE(Select(*list, kPresentId));
    EXPECT_NE(list->Node(), 0u);
    const auto units = static_cast<std::uint32_t>(kPresentId.size() + 1);
    for (const std::uint32_t capacity : {0u, units - 1}) {
        std::wstring id;
        std::uint32_t required = 0;
        EXPECT_EQ(list->InstanceId(capacity, id, required), Ports::kERROR_INSUFFICIENT_BUFFER) << capacity;
        EXPECT_EQ(required, units) << capacity;
        EXPECT_TRUE(id.empty());
    }
    std::wstring id;
    std::uint32_t required = 0;
    EXPECT_EQ(list->InstanceId(units, id, required), 0u);
    EXPECT_EQ(id, kPresentId);
}

// The driver key: its size first, then the read; a device without one
// has no such property.
TEST_P(DevicesContract, TheDriverKeyIsReadAfterItsSize) {
    const auto usb = Ports::kGUID_DEVINTERFACE_USB_DEVICE;
    auto list = List(backend->Devices(), &usb, kByInterfaceAcrossClasses);
    ASSERT_TRUE(Select(*list, kPresentId));
    std::vector<std::uint8_t> data;
    std::uint32_t size = 0;
    EXPECT_EQ(list->RegistryProperty(Ports::kSPDRP_DRIVER, 0, data, size), Ports::kERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, (kPresentKey.size() + 1) * 2);
    EXPECT_EQ(list->RegistryProperty(Ports::kSPDRP_DRIVER, size - 1, data, size), Ports::kERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(list->RegistryProperty(Ports::kSPDRP_DRIVER, 528, data, size), 0u);
    const auto expected = ToUtf16Le(kPresentKey, true);
    EXPECT_EQ(data, std::vector<std::uint8_t>(expected.begin(), expected.end()));

    ASSERT_TRUE(Select(*list, kAbsentId));
    EXPECT_EQ(list->RegistryProperty(Ports::kSPDRP_DRIVER, 0, data, size), Ports::kERROR_INVALID_DATA);
    EXPECT_EQ(size, 0u);
}

// The present interfaces of the list's class, read to their paths (Wine
// gives them in lower case).
TEST_P(DevicesContract, AnInterfaceOfTheListsClassGivesItsPath) {
    const auto usb = Ports::kGUID_DEVINTERFACE_USB_DEVICE;
    auto list = List(backend->Devices(), &usb, kPresentByInterface);
    std::vector<std::wstring> paths;
    for (std::uint32_t index = 0; list->EnumerateInterface(index) == 0 && index < 10000; ++index) {
        std::uint32_t size = 0;
        ASSERT_EQ(list->DetailSize(size), Ports::kERROR_INSUFFICIENT_BUFFER);
        std::wstring path;
        std::uint32_t error = 0;
        ASSERT_TRUE(list->ReadDetail(size, path, error)) << error;
        paths.push_back(ToUpperInvariant(path));
    }
    EXPECT_TRUE(Holds(paths, ToUpperInvariant(kPresentPath)));
    EXPECT_FALSE(Holds(paths, ToUpperInvariant(kAbsentPath)));
}

// A hub that is not there cannot be opened for writing.
TEST_P(DevicesContract, OpeningAPathThatIsNoDeviceForWritingFails) {
    std::unique_ptr<Ports::IControlDevice> hub;
    EXPECT_EQ(backend->Devices().OpenForWriting(L"\\\\?\\USB#VID_A7E0&PID_C003#NONE#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", hub),
              kERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(hub);
    EXPECT_EQ(backend->Devices().OpenForWriting(L"", hub), kERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(hub);
}

}  // namespace Arvek::Testing
