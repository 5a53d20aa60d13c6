// A GUID as the platform lays it out (interface classes, device classes).
#pragma once

#include <array>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <string_view>
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

// The registry form back, in either case; nothing for any other text.
inline std::optional<Guid> GuidFromText(std::wstring_view text) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters.
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return std::nullopt;
    std::uint8_t nibbles[32];
    std::size_t count = 0;
    for (std::size_t i = 1; i < 37; ++i) {
        const wchar_t c = text[i];
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (c != L'-') return std::nullopt;
            continue;
        }
        if (c >= L'0' && c <= L'9') nibbles[count++] = static_cast<std::uint8_t>(c - L'0');
        else if (c >= L'a' && c <= L'f') nibbles[count++] = static_cast<std::uint8_t>(c - L'a' + 10);
        else if (c >= L'A' && c <= L'F') nibbles[count++] = static_cast<std::uint8_t>(c - L'A' + 10);
        else return std::nullopt;
    }
    const auto value = [&](std::size_t from, std::size_t digits) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < digits; ++i) v = v << 4 | nibbles[from + i];
        return v;
    };
    Guid guid;
    guid.data1 = value(0, 8);
    guid.data2 = static_cast<std::uint16_t>(value(8, 4));
    guid.data3 = static_cast<std::uint16_t>(value(12, 4));
    for (std::size_t i = 0; i < 8; ++i) guid.data4[i] = static_cast<std::uint8_t>(value(16 + 2 * i, 2));
    return guid;
}

}  // namespace Arvek::Ports
