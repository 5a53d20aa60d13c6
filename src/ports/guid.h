// A GUID as the platform lays it out (interface classes, device classes).
#pragma once

#include <array>
#include <cstdint>
#include <cwchar>
#include <string>

namespace Arvek::Ports {

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

// The device-interface classes of USB devices and USB hubs.
inline constexpr Guid kGUID_DEVINTERFACE_USB_DEVICE{
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
inline constexpr Guid kGUID_DEVINTERFACE_USB_HUB{
    0xF18A0E88, 0xC30C, 0x11D0, {0x88, 0x15, 0x00, 0xA0, 0xC9, 0x06, 0xBE, 0xD8}};

// The registry form: "{A5DCBF10-6530-11D2-901F-00C04FB951ED}".
inline std::wstring GuidText(const Guid& guid) {
    wchar_t text[39];
    std::swprintf(text, 39, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.data1, guid.data2,
                  guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3], guid.data4[4],
                  guid.data4[5], guid.data4[6], guid.data4[7]);
    return text;
}

}  // namespace Arvek::Ports
