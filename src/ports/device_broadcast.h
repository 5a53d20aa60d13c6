// The record WM_DEVICECHANGE carries in lParam for a device-interface
// arrival (DEV_BROADCAST_DEVICEINTERFACE_W of dbt.h, natural alignment):
//
//   offset  0  DWORD dbcc_size         the whole record, name and terminator included
//   offset  4  DWORD dbcc_devicetype   DBT_DEVTYP_DEVICEINTERFACE (5)
//   offset  8  DWORD dbcc_reserved
//   offset 12  GUID  dbcc_classguid    the interface class
//   offset 28  WCHAR dbcc_name[]       the interface path, NUL-terminated
//
// sizeof is 32 (the one-unit name padded to 4), so a record the system
// makes for a path of n units is 28 + 2 (n + 1) bytes. Pure byte work: the
// simulated system and the tests build records, the agent reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "ports/guid.h"

namespace Arvek::Ports {

constexpr std::uint32_t kDBT_DEVICEARRIVAL = 0x8000;
constexpr std::uint32_t kDBT_DEVTYP_DEVICEINTERFACE = 5;

constexpr std::size_t kBroadcastSizeOffset = 0;
constexpr std::size_t kBroadcastDeviceTypeOffset = 4;
constexpr std::size_t kBroadcastClassOffset = 12;
constexpr std::size_t kBroadcastNameOffset = 28;

// What a record holds, or why it cannot be read.
struct DeviceInterfaceBroadcast {
    enum class Problem { None, ShorterThanHeader, NameNotTerminated };
    Problem problem = Problem::None;
    std::uint32_t size = 0;        // dbcc_size as the record says
    std::uint32_t deviceType = 0;
    Guid interfaceClass;
    std::wstring name;
};

inline std::uint32_t ReadBroadcastDword(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && offset + i < bytes.size(); ++i)
        value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

// The record in `bytes` (as many as its dbcc_size says): a record shorter
// than its 28-byte header, or whose name has no terminator inside it, is
// refused with its problem; the name is read up to its terminator.
inline DeviceInterfaceBroadcast ReadDeviceInterfaceBroadcast(std::span<const std::uint8_t> bytes) {
    DeviceInterfaceBroadcast record;
    if (bytes.size() < kBroadcastNameOffset) {
        record.problem = DeviceInterfaceBroadcast::Problem::ShorterThanHeader;
        return record;
    }
    record.size = ReadBroadcastDword(bytes, kBroadcastSizeOffset);
    record.deviceType = ReadBroadcastDword(bytes, kBroadcastDeviceTypeOffset);
    const std::size_t g = kBroadcastClassOffset;
    record.interfaceClass.data1 = ReadBroadcastDword(bytes, g);
    record.interfaceClass.data2 = static_cast<std::uint16_t>(bytes[g + 4] | bytes[g + 5] << 8);
    record.interfaceClass.data3 = static_cast<std::uint16_t>(bytes[g + 6] | bytes[g + 7] << 8);
    for (std::size_t i = 0; i < 8; ++i) record.interfaceClass.data4[i] = bytes[g + 8 + i];
    for (std::size_t at = kBroadcastNameOffset; at + 1 < bytes.size(); at += 2) {
        const auto unit = static_cast<wchar_t>(bytes[at] | bytes[at + 1] << 8);
        if (unit == L'\0') return record;
        record.name.push_back(unit);
    }
    record.name.clear();
    record.problem = DeviceInterfaceBroadcast::Problem::NameNotTerminated;
    return record;
}

// The record the system sends for the arrival of `path`, of the size it
// says (28 + 2 (n + 1) bytes, name terminated).
inline std::vector<std::uint8_t> MakeDeviceInterfaceBroadcast(const Guid& interfaceClass, const std::wstring& path) {
    std::vector<std::uint8_t> bytes(kBroadcastNameOffset + (path.size() + 1) * 2, 0);
    const auto put32 = [&](std::size_t offset, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put32(kBroadcastSizeOffset, static_cast<std::uint32_t>(bytes.size()));
    put32(kBroadcastDeviceTypeOffset, kDBT_DEVTYP_DEVICEINTERFACE);
    const std::size_t g = kBroadcastClassOffset;
    put32(g, interfaceClass.data1);
    bytes[g + 4] = static_cast<std::uint8_t>(interfaceClass.data2);
    bytes[g + 5] = static_cast<std::uint8_t>(interfaceClass.data2 >> 8);
    bytes[g + 6] = static_cast<std::uint8_t>(interfaceClass.data3);
    bytes[g + 7] = static_cast<std::uint8_t>(interfaceClass.data3 >> 8);
    for (std::size_t i = 0; i < 8; ++i) bytes[g + 8 + i] = interfaceClass.data4[i];
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto unit = static_cast<std::uint16_t>(path[i]);
        bytes[kBroadcastNameOffset + 2 * i] = static_cast<std::uint8_t>(unit);
        bytes[kBroadcastNameOffset + 2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
    return bytes;
}

// The bytes of the record at a WM_DEVICECHANGE's lParam, as many as its
// dbcc_size says (the window procedure checked its device type).
inline std::span<const std::uint8_t> DeviceBroadcastAt(std::intptr_t lParam) {
    const auto* record = reinterpret_cast<const std::uint8_t*>(lParam);
    if (!record) return {};
    std::uint32_t size = 0;
    std::memcpy(&size, record + kBroadcastSizeOffset, sizeof(size));
    return {record, size};
}

}  // namespace Arvek::Ports
