// The text form in which both halves of the .reg import comparison print a
// registry tree: reg_dump.exe what Windows (Wine) stored, reg_import_dump
// what the simulated notebook's reader stores. Header-only and free of the
// project's own code, so that the Windows dumper builds on its own.
//
//   key HKEY_CURRENT_USER\Software\ArvekRegTest\case
//   value HKEY_CURRENT_USER\Software\ArvekRegTest\case "name" 0x00000001 4c0069000000
//
// Names are UTF-16 units: printable ASCII stays, everything else is \uXXXX
// (a value name also escapes \ and "); the default value's name is "". The
// data is its bytes in hex, "-" when there are none. Lines are sorted.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace Arvek::RegText {

inline std::string Escape(const std::u16string& text, bool quoted) {
    std::string out;
    for (const char16_t unit : text) {
        if (quoted && (unit == u'"' || unit == u'\\')) {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(unit));
            out += buffer;
        }
    }
    return out;
}

inline std::string KeyLine(const std::u16string& path) { return "key " + Escape(path, false); }

inline std::string ValueLine(const std::u16string& path, const std::u16string& name, std::uint32_t type,
                             const std::basic_string<unsigned char>& data) {
    char typeText[16];
    std::snprintf(typeText, sizeof typeText, "0x%08X", static_cast<unsigned>(type));
    std::string bytes;
    for (const unsigned char b : data) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>(b));
        bytes += hex;
    }
    return "value " + Escape(path, false) + " \"" + Escape(name, true) + "\" " + typeText + " " +
           (bytes.empty() ? std::string("-") : bytes);
}

inline std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace Arvek::RegText
