#include "common/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/strings.h"

namespace Arvek {
namespace {

struct Directive {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    int width = 0;
    int precision = -1;
    int lengthBits = 0;  // 16 for h, 8 for hh, 0 for the argument's own width
    wchar_t conversion = 0;
};

// Appends with the overall cut in force.
class Sink {
public:
    Sink(std::wstring& out, std::size_t maxChars)
        : m_out(out), m_limit(maxChars == std::wstring::npos ? std::wstring::npos : out.size() + maxChars) {}
    bool full() const { return m_limit != std::wstring::npos && m_out.size() >= m_limit; }
    void put(wchar_t c) {
        if (!full()) m_out.push_back(c);
    }
    void put(std::wstring_view s) {
        if (m_limit == std::wstring::npos) {
            m_out.append(s);
        } else if (!full()) {
            m_out.append(s.substr(0, m_limit - m_out.size()));
        }
    }
    void fill(wchar_t c, int count) {
        for (int i = 0; i < count && !full(); ++i) m_out.push_back(c);
    }

private:
    std::wstring& m_out;
    std::size_t m_limit;
};

void PutPadded(Sink& sink, const Directive& directive, std::wstring_view body) {
    const int pad = directive.width - static_cast<int>(body.size());
    if (pad > 0 && !directive.left) sink.fill(L' ', pad);
    sink.put(body);
    if (pad > 0 && directive.left) sink.fill(L' ', pad);
}

// sign/prefix, then zero padding (when '0' applies), then digits; written
// straight into the output, since log lines are made of many small numbers.
void PutNumber(Sink& sink, const Directive& directive, std::wstring_view prefix, std::wstring_view digits, bool zeroAllowed) {
    const int len = static_cast<int>(prefix.size() + digits.size());
    const int pad = directive.width > len ? directive.width - len : 0;
    const bool zeros = directive.zero && !directive.left && zeroAllowed;
    if (pad && !zeros && !directive.left) sink.fill(L' ', pad);
    sink.put(prefix);
    if (pad && zeros) sink.fill(L'0', pad);
    sink.put(digits);
    if (pad && directive.left) sink.fill(L' ', pad);
}

// Digits of a value, right-aligned in a caller's buffer; returns the view.
std::wstring_view ToDigits(std::uint64_t value, unsigned base, bool upper, wchar_t* buffer, std::size_t size) {
    const wchar_t* digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    wchar_t* p = buffer + size;
    // Constant divisors: the compiler turns them into multiplications and shifts.
    if (base == 10) {
        do {
            *--p = digits[value % 10];
            value /= 10;
        } while (value != 0);
    } else if (base == 16) {
        do {
            *--p = digits[value & 0xF];
            value >>= 4;
        } while (value != 0);
    } else {
        do {
            *--p = digits[value & 0x7];
            value >>= 3;
        } while (value != 0);
    }
    return {p, static_cast<std::size_t>(buffer + size - p)};
}

std::uint64_t MaskTo(std::uint64_t value, unsigned bits) { return bits >= 64 ? value : (value & ((1ull << bits) - 1)); }

void PutInteger(Sink& sink, const Directive& directive, const FormatArg& arg) {
    const unsigned argBits = arg.bytes() * 8;
    const unsigned bits = directive.lengthBits ? static_cast<unsigned>(directive.lengthBits) : (argBits ? argBits : 32);
    const wchar_t conv = directive.conversion;
    wchar_t prefixBuffer[3] = {};
    std::size_t prefixLength = 0;
    std::uint64_t magnitude;
    if (conv == L'd' || conv == L'i') {
        // Re-sign from the chosen width so that %hd of 70000 behaves as in C.
        std::uint64_t raw = MaskTo(arg.asUnsigned(), bits);
        std::int64_t value;
        if (bits < 64 && (raw >> (bits - 1)) & 1u)
            value = static_cast<std::int64_t>(raw | ~((1ull << bits) - 1));
        else
            value = static_cast<std::int64_t>(raw);
        if (arg.kind() == FormatArg::Kind::Unsigned && bits >= argBits) value = static_cast<std::int64_t>(raw);
        if (value < 0) {
            prefixBuffer[prefixLength++] = L'-';
            magnitude = 0 - static_cast<std::uint64_t>(value);
        } else {
            if (directive.plus) prefixBuffer[prefixLength++] = L'+';
            else if (directive.space) prefixBuffer[prefixLength++] = L' ';
            magnitude = static_cast<std::uint64_t>(value);
        }
    } else {
        magnitude = MaskTo(arg.asUnsigned(), bits);
    }
    const unsigned base = (conv == L'x' || conv == L'X' || conv == L'p') ? 16 : conv == L'o' ? 8 : 10;
    // 64 bits in octal take 22 digits; precision may ask for up to 4096 zeros.
    constexpr std::size_t kDigits = 4200;
    wchar_t small[32];
    std::wstring large;
    wchar_t* buffer = small;
    std::size_t size = sizeof small / sizeof small[0];
    const std::size_t wanted = std::max<std::size_t>(directive.precision > 0 ? static_cast<std::size_t>(directive.precision) : 0,
                                                     conv == L'p' ? arg.bytes() * 2u : 0u) + 2;
    if (wanted > 30) {
        large.assign(std::min(wanted + 24, kDigits), L'0');
        buffer = large.data();
        size = large.size();
    }
    std::wstring_view digits = ToDigits(magnitude, base, conv == L'X' || conv == L'p', buffer, size - 1);
    // Leading zeros for %p's full width and for the precision.
    std::size_t minDigits = conv == L'p' ? arg.bytes() * 2u : 0;
    if (directive.precision >= 0) {
        if (directive.precision == 0 && magnitude == 0) digits = {};
        minDigits = std::max(minDigits, static_cast<std::size_t>(directive.precision));
    }
    bool octalZero = directive.alt && conv == L'o' && magnitude != 0;
    if (octalZero && digits.size() >= minDigits) minDigits = digits.size() + 1;
    while (digits.size() < minDigits && digits.data() > buffer) {
        wchar_t* p = const_cast<wchar_t*>(digits.data()) - 1;
        *p = L'0';
        digits = {p, digits.size() + 1};
    }
    if (directive.alt && magnitude != 0 && (conv == L'x' || conv == L'X')) {
        prefixBuffer[prefixLength++] = L'0';
        prefixBuffer[prefixLength++] = conv;
    }
    PutNumber(sink, directive, {prefixBuffer, prefixLength}, digits, directive.precision < 0);
}

void PutFloat(Sink& sink, const Directive& directive, double value) {
    std::wstring prefix;
    if (std::signbit(value)) {
        prefix = L"-";
        value = -value;
    } else if (directive.plus) {
        prefix = L"+";
    } else if (directive.space) {
        prefix = L" ";
    }
    const bool upper = directive.conversion == L'F' || directive.conversion == L'E' || directive.conversion == L'G';
    std::wstring digits;
    if (std::isnan(value)) {
        digits = upper ? L"NAN" : L"nan";
    } else if (std::isinf(value)) {
        digits = upper ? L"INF" : L"inf";
    } else {
        const int precision = directive.precision < 0 ? 6 : directive.precision;
        std::chars_format format = std::chars_format::fixed;
        const wchar_t c = static_cast<wchar_t>(directive.conversion | 0x20);
        if (c == L'e') format = std::chars_format::scientific;
        if (c == L'g') format = std::chars_format::general;
        char buffer[400];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format,
                                       c == L'g' && precision == 0 ? 1 : precision);
        if (ec != std::errc{}) end = buffer;
        digits.assign(buffer, end);
        if (upper)
            for (auto& ch : digits) ch = ToUpperInvariant(ch);
    }
    PutNumber(sink, directive, prefix, digits, std::isfinite(value));
}

void PutString(Sink& sink, const Directive& directive, const FormatArg& arg) {
    std::wstring converted;
    std::wstring_view text;
    switch (arg.kind()) {
        case FormatArg::Kind::Wide: text = arg.wide(); break;
        case FormatArg::Kind::Narrow: {
            const std::string_view narrow = arg.narrow();
            const bool ascii = std::all_of(narrow.begin(), narrow.end(),
                                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
            if (ascii && directive.precision < 0 && directive.width == 0) {
                // Function names: plain ASCII, written without a conversion.
                for (const char c : narrow) sink.put(static_cast<wchar_t>(c));
                return;
            }
            converted = WidenUtf8(narrow);
            text = converted;
            break;
        }
        default:
            converted = arg.kind() == FormatArg::Kind::Floating
                            ? std::to_wstring(arg.asFloat())
                            : (arg.kind() == FormatArg::Kind::Signed ? std::to_wstring(arg.asSigned())
                                                                     : std::to_wstring(arg.asUnsigned()));
            text = converted;
            break;
    }
    if (directive.precision >= 0 && text.size() > static_cast<std::size_t>(directive.precision))
        text = text.substr(0, static_cast<std::size_t>(directive.precision));
    PutPadded(sink, directive, text);
}

bool IsString(const FormatArg& arg) {
    return arg.kind() == FormatArg::Kind::Wide || arg.kind() == FormatArg::Kind::Narrow;
}

}  // namespace

void FormatTo(std::wstring& out, std::wstring_view format, std::span<const FormatArg> args, std::size_t maxChars) {
    Sink sink(out, maxChars);
    std::size_t next = 0;
    auto takeInt = [&](int& into) {
        if (next < args.size() && !IsString(args[next]))
            into = static_cast<int>(args[next].asSigned());
        ++next;
    };
    std::size_t i = 0;
    while (i < format.size() && !sink.full()) {
        const wchar_t c = format[i++];
        if (c != L'%') {
            sink.put(c);
            continue;
        }
        if (i >= format.size()) break;  // a lone '%' at the end produces nothing
        if (format[i] == L'%') {
            sink.put(L'%');
            ++i;
            continue;
        }
        Directive directive;
        for (; i < format.size(); ++i) {
            const wchar_t f = format[i];
            if (f == L'-') directive.left = true;
            else if (f == L'+') directive.plus = true;
            else if (f == L' ') directive.space = true;
            else if (f == L'0') directive.zero = true;
            else if (f == L'#') directive.alt = true;
            else break;
        }
        if (i < format.size() && format[i] == L'*') {
            takeInt(directive.width);
            if (directive.width < 0) {
                directive.left = true;
                directive.width = -directive.width;
            }
            ++i;
        } else {
            while (i < format.size() && format[i] >= L'0' && format[i] <= L'9')
                directive.width = std::min(directive.width * 10 + (format[i++] - L'0'), 4096);
        }
        if (i < format.size() && format[i] == L'.') {
            ++i;
            directive.precision = 0;
            if (i < format.size() && format[i] == L'*') {
                takeInt(directive.precision);
                ++i;
            } else {
                while (i < format.size() && format[i] >= L'0' && format[i] <= L'9')
                    directive.precision = std::min(directive.precision * 10 + (format[i++] - L'0'), 4096);
            }
        }
        // Length modifiers.
        while (i < format.size()) {
            const wchar_t m = format[i];
            if (m == L'h') {
                directive.lengthBits = directive.lengthBits == 16 ? 8 : 16;
                ++i;
            } else if (m == L'l' || m == L'L' || m == L'z' || m == L'j' || m == L't' || m == L'w') {
                ++i;
            } else if (m == L'I' && format.substr(i, 3) == L"I64") {
                i += 3;
            } else if (m == L'I' && format.substr(i, 3) == L"I32") {
                i += 3;
            } else {
                break;
            }
        }
        if (i >= format.size()) break;
        directive.conversion = format[i++];
        const FormatArg* arg = next < args.size() ? &args[next] : nullptr;
        switch (directive.conversion) {
            case L'd': case L'i': case L'u': case L'o': case L'x': case L'X': case L'p':
                ++next;
                if (!arg) break;
                if (IsString(*arg)) PutString(sink, Directive{.left = directive.left, .width = directive.width}, *arg);
                else if (arg->kind() == FormatArg::Kind::Floating) PutFloat(sink, Directive{.width = directive.width, .precision = 0, .conversion = L'f'}, arg->asFloat());
                else PutInteger(sink, directive, *arg);
                break;
            case L'f': case L'F': case L'e': case L'E': case L'g': case L'G':
                ++next;
                if (!arg) break;
                if (IsString(*arg)) PutString(sink, Directive{.left = directive.left, .width = directive.width}, *arg);
                else PutFloat(sink, directive, arg->kind() == FormatArg::Kind::Floating ? arg->asFloat()
                                                                                   : static_cast<double>(arg->asSigned()));
                break;
            case L'c':
                ++next;
                if (!arg) break;
                if (IsString(*arg)) {
                    PutString(sink, Directive{.left = directive.left, .width = directive.width, .precision = 1}, *arg);
                } else {
                    const wchar_t ch = static_cast<wchar_t>(arg->asUnsigned());
                    PutPadded(sink, directive, std::wstring_view(&ch, 1));
                }
                break;
            case L's': case L'S':
                ++next;
                if (arg) PutString(sink, directive, *arg);
                break;
            default:
                // Unknown conversion: write the directive's last character, as the C runtimes do.
                sink.put(directive.conversion);
                break;
        }
    }
}

}  // namespace Arvek
