#include "agent/usbc/usb_device.h"

#include <memory>
#include <new>
#include <vector>

#include "common/strings.h"
#include "ports/device_broadcast.h"
#include "shared/log.h"

namespace Notifications::Tidewatch {

using Arvek::Shared::CArvekLogTrace;
using Arvek::Shared::GetLog;
using Arvek::Shared::Information;
using Arvek::Shared::Verbose;
namespace Ports = Arvek::Ports;

namespace {

constexpr char kInit[] = "CUsbDevice::Init";
constexpr char kGetDeviceInfo[] = "CUsbDevice::GetDeviceInfo";
constexpr char kGetHubName[] = "CUsbDevice::GetHubName";
constexpr char kGetDescriptor[] = "CUsbDevice::GetDescriptor";
constexpr char kGetDriverKeyName[] = "CUsbDevice::GetDriverKeyName";
constexpr char kGetDeviceInst[] = "CUsbDevice::GetDeviceInstFromDriverName";

// The fixed buffers the ids and keys are read into.
constexpr std::uint32_t kArrivedIdUnits = 400;
constexpr std::uint32_t kParentIdUnits = 200;
constexpr std::uint32_t kHubIdUnits = 520;
constexpr std::uint32_t kDriverKeyBytes = 528;
constexpr std::uint32_t kFoundIdUnits = 260;
// A driver key name record can hold no more than a counted string's 32767
// units; a hub that reports more (or less than the record itself) is not
// answering about a name.
constexpr std::uint32_t kMaxDriverKeyRecord = kDriverKeyNameOffset + 2 * 32767;
constexpr std::uint32_t kNotEnoughMemory = 8;  // ERROR_NOT_ENOUGH_MEMORY

std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}
std::uint32_t Read16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8;
}
void Write32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// UTF-16 text from `offset` up to its terminator or the end of the bytes.
std::wstring TextAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::wstring text;
    for (std::size_t at = offset; at + 1 < bytes.size(); at += 2) {
        const auto unit = static_cast<wchar_t>(bytes[at] | bytes[at + 1] << 8);
        if (unit == L'\0') break;
        text.push_back(unit);
    }
    return text;
}

// A zeroed record, or nothing when memory runs out.
std::unique_ptr<std::vector<std::uint8_t>> ZeroedRecord(std::size_t size) {
    try {
        return std::make_unique<std::vector<std::uint8_t>>(size, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

std::optional<std::wstring> InstanceIdFromInterfacePath(const std::wstring& path) {
    constexpr std::size_t kPrefix = 4;  // "\\?\"
    const std::size_t lastHash = path.rfind(L'#');
    if (lastHash == std::wstring::npos || lastHash < kPrefix) return std::nullopt;
    std::wstring id = path.substr(kPrefix, lastHash - kPrefix);
    for (auto& c : id)
        if (c == L'#') c = L'\\';
    return Arvek::ToUpperInvariant(id);
}

void CUsbDevice::Init(std::span<const std::uint8_t> record) {
    CArvekLogTrace trace(kInit);
    auto& log = GetLog();
    m_globals.g_sArrivedInstanceId.clear();
    m_globals.g_bBillboardFound = false;

    const Ports::DeviceInterfaceBroadcast arrival = Ports::ReadDeviceInterfaceBroadcast(record);
    using Problem = Ports::DeviceInterfaceBroadcast::Problem;
    if (arrival.problem == Problem::ShorterThanHeader) {
        log.Log(Information, kInit, L"Arrival record of %u bytes is shorter than its 28-byte header: ignored",
                static_cast<std::uint32_t>(record.size()));
        return;
    }
    if (arrival.problem == Problem::NameNotTerminated) {
        log.Log(Information, kInit, L"Arrival record of %u bytes holds no terminated interface path: ignored",
                static_cast<std::uint32_t>(record.size()));
        return;
    }
    log.Log(Information, kInit, L"USB device inserted:  %s", arrival.name);

    const std::optional<std::wstring> id = InstanceIdFromInterfacePath(arrival.name);
    if (!id) {
        log.Log(Information, kInit, L"Interface path without \"#\" names no device instance: %s", arrival.name);
        return;
    }
    m_globals.g_sArrivedInstanceId = *id;
    GetDeviceInfo(*id);
}

void CUsbDevice::GetDeviceInfo(const std::wstring& id) {
    CArvekLogTrace trace(kGetDeviceInfo);
    auto& log = GetLog();
    auto& devices = m_platform.devices;

    std::unique_ptr<Ports::IDeviceInfoList> list;
    const std::uint32_t listError = devices.GetDeviceInfoList(
        &Ports::kGUID_DEVINTERFACE_USB_DEVICE, Ports::kDIGCF_DEVICEINTERFACE | Ports::kDIGCF_ALLCLASSES, list);
    if (listError != 0 || !list) {
        log.Log(Information, kGetDeviceInfo, L"SetupDiGetClassDevs failed, GetLastError = 0x%x", listError);
        return;
    }

    std::unique_ptr<Ports::IControlDevice> hub;
    for (std::uint32_t index = 0; list->EnumerateDevice(index) == 0; ++index) {
        std::wstring listedId;
        std::uint32_t required = 0;
        if (const std::uint32_t error = list->InstanceId(kArrivedIdUnits, listedId, required); error != 0) {
            log.Log(Information, kGetDeviceInfo, L"SetupDiGetDeviceInstanceId failed, GetLastError = 0x%x", error);
            break;
        }
        if (listedId != id) continue;
        log.Log(Information, kGetDeviceInfo, L"Device instance id =%s", id);
        log.Log(Information, kGetDeviceInfo, L"  Enum instance id =%s", listedId);

        Ports::DeviceNode parent = 0;
        std::uint32_t lastError = 0;
        std::wstring parentId;
        std::uint32_t result = devices.GetParent(list->Node(), parent, lastError);
        if (result == Ports::kCR_SUCCESS) result = devices.GetDeviceId(parent, kParentIdUnits, parentId, lastError);
        if (result != Ports::kCR_SUCCESS) {
            log.Log(Information, kGetDeviceInfo, L"CM_Get_Parent failed.  Error= %d", lastError);
            continue;
        }

        const std::wstring hubName = GetHubName(parentId);
        log.Log(Information, kGetDeviceInfo, L"Hub name: %s", hubName);
        hub.reset();
        const std::uint32_t openError = devices.OpenForWriting(hubName, hub);
        if (openError != 0 || !hub) {
            log.Log(Information, kGetDeviceInfo, L"CreateFile failed, GetLastError = 0x%x", openError);
            break;
        }

        const auto node = ZeroedRecord(kNodeInformationSize);
        if (!node) {
            log.Log(Information, kGetDeviceInfo,
                    L"Allocate some space for a USB_NODE_INFORMATION structure failed, GetLastError = 0x%x",
                    kNotEnoughMemory);
            break;
        }
        std::uint32_t returned = 0;
        if (const std::uint32_t error = hub->Control(kIoctlUsbGetNodeInformation, *node, returned); error != 0) {
            log.Log(Information, kGetDeviceInfo, L"DeviceIoControl failed, GetLastError = 0x%x", error);
            break;
        }
        log.LogText(Information, kGetDeviceInfo, L"Hub found, now read descriptor of each port ");
        GetDescriptor(*hub, (*node)[kNodeNumberOfPortsOffset], id);
        if (m_globals.g_bBillboardFound) break;
    }
}

std::wstring CUsbDevice::GetHubName(const std::wstring& hubId) {
    CArvekLogTrace trace(kGetHubName);
    std::unique_ptr<Ports::IDeviceInfoList> list;
    if (m_platform.devices.GetDeviceInfoList(&Ports::kGUID_DEVINTERFACE_USB_HUB,
                                             Ports::kDIGCF_PRESENT | Ports::kDIGCF_DEVICEINTERFACE, list) != 0 ||
        !list)
        return {};
    // The hubs' devices and their hub interfaces, index by index.
    for (std::uint32_t index = 0;; ++index) {
        if (list->EnumerateDevice(index) != 0 || list->EnumerateInterface(index) != 0) return {};
        std::wstring id;
        std::uint32_t required = 0;
        if (list->InstanceId(kHubIdUnits, id, required) != 0) return {};
        if (id != hubId) continue;
        std::uint32_t size = 0;
        if (list->DetailSize(size) != Ports::kERROR_INSUFFICIENT_BUFFER) return {};
        std::wstring path;
        std::uint32_t error = 0;
        if (!list->ReadDetail(size, path, error)) return {};
        return path;
    }
}

void CUsbDevice::GetDescriptor(Ports::IControlDevice& hub, int ports, const std::wstring& id) {
    CArvekLogTrace trace(kGetDescriptor);
    auto& log = GetLog();
    log.Log(Information, kGetDescriptor, L"Num ports = %d", ports);
    for (int port = 1; port <= ports; ++port) {
        const auto record = ZeroedRecord(kConnectionInformationSize);
        if (!record) {
            log.LogText(Information, kGetDescriptor, L"connectionInfoEx = null.");
            return;
        }
        auto& info = *record;
        Write32(info, kConnectionIndexOffset, static_cast<std::uint32_t>(port));
        std::uint32_t returned = 0;
        if (hub.Control(kIoctlUsbGetNodeConnectionInformationEx, info, returned) != 0) {
            log.Log(Verbose, kGetDescriptor, L"cannot get info on this port: %d, move to next one.", port);
            continue;
        }
        if (Read32(info, kConnectionStatusOffset) != kDeviceConnected) continue;
        const std::wstring key = GetDriverKeyName(hub, port);
        if (key.empty()) continue;
        if (GetDeviceInstFromDriverName(key) != id) continue;

        const std::uint32_t deviceClass = info[kDeviceClassOffset];
        log.Log(Information, kGetDescriptor, L"port # = %d", port);
        log.Log(Information, kGetDescriptor, L"bcdUSB = 0x%x", Read16(info, kBcdUsbOffset));
        log.Log(Information, kGetDescriptor, L"BBID = 0x%x", deviceClass);
        log.Log(Information, kGetDescriptor, L"bDeviceSubClass = 0x%x",
                static_cast<std::uint32_t>(info[kDeviceSubClassOffset]));
        log.Log(Information, kGetDescriptor, L"idProduct = 0x%x", Read16(info, kIdProductOffset));
        log.Log(Information, kGetDescriptor, L"bcdDevice = 0x%x", Read16(info, kBcdDeviceOffset));
        m_globals.g_bBillboardFound = deviceClass == kBillboardDeviceClass;
        if (m_globals.g_bBillboardFound) return;
    }
}

std::wstring CUsbDevice::GetDriverKeyName(Ports::IControlDevice& hub, int port) {
    CArvekLogTrace trace(kGetDriverKeyName);
    auto& log = GetLog();
    std::vector<std::uint8_t> probe(kDriverKeyNameSize, 0);
    Write32(probe, kConnectionIndexOffset, static_cast<std::uint32_t>(port));
    std::uint32_t returned = 0;
    if (const std::uint32_t error = hub.Control(kIoctlUsbGetNodeConnectionDriverkeyName, probe, returned);
        error != 0) {
        log.Log(Information, kGetDriverKeyName, L"DeviceIoControl failed.  GetLastError: 0x%x", error);
        return {};
    }
    const std::uint32_t length = Read32(probe, kDriverKeyActualLengthOffset);
    if (length < kDriverKeyNameSize || length > kMaxDriverKeyRecord) {
        log.Log(Information, kGetDriverKeyName,
                L"The hub gives a driver key name record of %u bytes for port %d, which holds no name: port skipped",
                length, port);
        return {};
    }
    const auto record = ZeroedRecord(length);
    if (!record) return {};
    Write32(*record, kConnectionIndexOffset, static_cast<std::uint32_t>(port));
    if (const std::uint32_t error = hub.Control(kIoctlUsbGetNodeConnectionDriverkeyName, *record, returned);
        error != 0) {
        log.Log(Information, kGetDriverKeyName, L"DeviceIoControl failed [2].  GetLastError: 0x%x", error);
        return {};
    }
    return TextAt(*record, kDriverKeyNameOffset);
}

std::wstring CUsbDevice::GetDeviceInstFromDriverName(const std::wstring& key) {
    CArvekLogTrace trace(kGetDeviceInst);
    auto& log = GetLog();
    std::unique_ptr<Ports::IDeviceInfoList> list;
    if (const std::uint32_t error =
            m_platform.devices.GetDeviceInfoList(nullptr, Ports::kDIGCF_PRESENT | Ports::kDIGCF_ALLCLASSES, list);
        error != 0 || !list) {
        log.Log(Verbose, kGetDeviceInst, L"SetupDiGetClassDevs failed, GetLastError = 0x%x", error);
        return {};
    }

    std::wstring found;
    for (std::uint32_t index = 0;; ++index) {
        if (const std::uint32_t error = list->EnumerateDevice(index); error != 0) {
            // The normal end of the list.
            log.Log(Verbose, kGetDeviceInst, L"SetupDiEnumDeviceInfo failed. GetLastError = 0x%x", error);
            break;
        }
        std::vector<std::uint8_t> data;
        std::uint32_t size = 0;
        const std::uint32_t sizeError = list->RegistryProperty(Ports::kSPDRP_DRIVER, 0, data, size);
        if (size == 0 || sizeError == 0) {
            log.Log(Verbose, kGetDeviceInst, L"SetupDiGetDeviceRegistryProperty failed. GetLastError = 0x%x",
                    sizeError);
            continue;
        }
        if (size > kDriverKeyBytes) {
            // Read into the fixed buffer it would be cut or refused; a key
            // that long is no key the system made.
            log.Log(Information, kGetDeviceInst,
                    L"The driver key of device %u needs %u bytes, more than the %u it is read into: device skipped",
                    index, size, kDriverKeyBytes);
            continue;
        }
        std::uint32_t required = 0;
        if (const std::uint32_t error = list->RegistryProperty(Ports::kSPDRP_DRIVER, kDriverKeyBytes, data, required);
            error != 0) {
            log.Log(Verbose, kGetDeviceInst, L"SetupDiGetDeviceRegistryProperty [2] failed. GetLastError = 0x%x",
                    error);
            continue;
        }
        if (TextAt(data, 0) != key) continue;

        std::uint32_t units = 0;
        const std::uint32_t lengthError = list->InstanceId(0, found, units);
        if (lengthError != Ports::kERROR_INSUFFICIENT_BUFFER) {
            log.Log(Verbose, kGetDeviceInst, L"SetupDiGetDeviceInstanceId failed. GetLastError = 0x%x", lengthError);
            found.clear();
            break;
        }
        if (units > kFoundIdUnits) {
            log.Log(Information, kGetDeviceInst,
                    L"The instance id of the device with driver key %s needs %u units, more than the %u it is read "
                    L"into: not read",
                    key, units, kFoundIdUnits);
            found.clear();
            break;
        }
        const std::uint32_t readError = list->InstanceId(kFoundIdUnits, found, units);
        if (readError != 0) found.clear();
        log.Log(Verbose, kGetDeviceInst, L"SetupDiGetDeviceInstanceId [2] returns %d.", readError == 0 ? 1 : 0);
        break;
    }
    return found;
}

}  // namespace Notifications::Tidewatch
