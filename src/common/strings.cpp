#include "common/strings.h"

#include <cwctype>

namespace Arvek {

wchar_t ToUpperInvariant(wchar_t c) {
    const auto u = static_cast<std::uint32_t>(c);
    if (u < 0x80) return (u >= 'a' && u <= 'z') ? static_cast<wchar_t>(u - 0x20) : c;
    // Latin-1: U+00E0..U+00FE except the division sign; U+00FF maps to U+0178.
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<wchar_t>(u - 0x20);
    if (u == 0xFF) return static_cast<wchar_t>(0x178);
    if (u == 0xB5) return static_cast<wchar_t>(0x39C);
    // Latin Extended-A pairs (upper even, lower odd), with the odd-aligned runs.
    if ((u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177))
        return (u & 1u) ? static_cast<wchar_t>(u - 1) : c;
    if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E))
        return (u & 1u) ? c : static_cast<wchar_t>(u - 1);
    // Greek.
    if (u >= 0x3B1 && u <= 0x3CB && u != 0x3C2) return static_cast<wchar_t>(u - 0x20);
    if (u == 0x3C2) return static_cast<wchar_t>(0x3A3);
    // Cyrillic.
    if (u >= 0x430 && u <= 0x44F) return static_cast<wchar_t>(u - 0x20);
    if (u >= 0x450 && u <= 0x45F) return static_cast<wchar_t>(u - 0x50);
    return c;
}

std::wstring ToUpperInvariant(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out) c = ToUpperInvariant(c);
    return out;
}

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ToUpperInvariant(a[i]) != ToUpperInvariant(b[i])) return false;
    return true;
}

std::int32_t ParseDecimal(std::wstring_view text) {
    std::size_t i = 0;
    // The C runtime's white space: space and \t \n \v \f \r.
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - L'0');
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendCodePoint(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}
}  // namespace

std::wstring WidenUtf8(std::string_view in) {
    std::wstring out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        if (b0 < 0x80) {
            out.push_back(static_cast<wchar_t>(b0));
            ++i;
            continue;
        }
        int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
        if (b0 > 0xF4) extra = -1;
        char32_t cp = extra == 3 ? (b0 & 0x07u) : extra == 2 ? (b0 & 0x0Fu) : (b0 & 0x1Fu);
        bool ok = extra > 0;
        std::size_t j = i + 1;
        for (int k = 0; ok && k < extra; ++k, ++j) {
            if (j >= in.size()) { ok = false; break; }
            const auto b = static_cast<unsigned char>(in[j]);
            if ((b & 0xC0u) != 0x80u) { ok = false; break; }
            cp = (cp << 6) | (b & 0x3Fu);
        }
        static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out.push_back(static_cast<wchar_t>(kReplacement));
            // Skip the lead byte and any continuation bytes that follow it.
            ++i;
            while (i < in.size() && (static_cast<unsigned char>(in[i]) & 0xC0u) == 0x80u && extra-- > 0) ++i;
            continue;
        }
        AppendCodePoint(out, cp);
        i = j;
    }
    return out;
}

std::string NarrowUtf8(std::wstring_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t cp = static_cast<char32_t>(in[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size()) {
                const auto lo = static_cast<char32_t>(in[i + 1]);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    ++i;
                }
            }
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace Arvek

namespace Arvek {

std::wstring FromUtf16Le(const std::uint8_t* data, std::size_t bytes) {
    std::wstring out;
    out.reserve(bytes / 2);
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        char32_t unit = static_cast<char32_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) break;
        if constexpr (sizeof(wchar_t) == 4) {
            // Join surrogate pairs into one character.
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes) {
                const char32_t lo = static_cast<char32_t>(data[i + 2] | (data[i + 3] << 8));
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (lo - 0xDC00);
                    i += 2;
                }
            }
        }
        out.push_back(static_cast<wchar_t>(unit));
    }
    return out;
}

std::basic_string<std::uint8_t> ToUtf16Le(std::wstring_view text, bool terminate) {
    std::basic_string<std::uint8_t> out;
    auto put = [&out](char32_t unit) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
    };
    for (const wchar_t c : text) {
        const auto cp = static_cast<char32_t>(c);
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    if (terminate) put(0);
    return out;
}

std::string_view TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace Arvek
