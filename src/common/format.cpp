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

// Where the text goes, with the overall cut in force: a window of
// characters written in place, either the caller's buffer (which ends the
// output when it is full) or a chunk on the stack that is appended to the
// caller's string whenever it fills. Messages are made of short runs and
// small numbers; writing them into a window and appending whole chunks keeps
// the string's bookkeeping out of every character.
class Sink {
public:
    Sink(wchar_t* buffer, std::size_t capacity) : m_begin(buffer), m_p(buffer), m_end(buffer + capacity) {}
    Sink(std::wstring& out, std::size_t maxChars) : m_out(&out), m_left(maxChars), m_begin(m_chunk), m_p(m_chunk) {
        NextWindow();
    }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    bool full() { return m_p == m_end && !Refill(); }
    void put(wchar_t c) {
        if (m_p == m_end && !Refill()) return;
        *m_p++ = c;
    }
    void put(std::wstring_view s) {
        if (s.size() <= kShortCopy && s.size() <= static_cast<std::size_t>(m_end - m_p)) {
            // Digits and short runs that fit: cheaper than a call to the library.
            for (const wchar_t c : s) *m_p++ = c;
            return;
        }
        putLong(s);
    }
    void putLong(std::wstring_view s) {
        const wchar_t* from = s.data();
        std::size_t count = s.size();
        while (count != 0) {
            if (m_p == m_end && !Refill()) return;
            const std::size_t n = std::min(count, static_cast<std::size_t>(m_end - m_p));
            if (n <= kShortCopy) {
                // Digits and short runs: cheaper than a call to the library.
                for (std::size_t i = 0; i < n; ++i) m_p[i] = from[i];
            } else {
                std::char_traits<wchar_t>::copy(m_p, from, n);
            }
            m_p += n;
            from += n;
            count -= n;
        }
    }
    // 8-bit text known to be ASCII, widened as it is written.
    void putAscii(std::string_view s) {
        std::size_t at = 0;
        while (at < s.size()) {
            if (m_p == m_end && !Refill()) return;
            const std::size_t n = std::min(s.size() - at, static_cast<std::size_t>(m_end - m_p));
            for (std::size_t i = 0; i < n; ++i) m_p[i] = static_cast<wchar_t>(s[at + i]);
            m_p += n;
            at += n;
        }
    }
    void fill(wchar_t c, int count) {
        while (count > 0) {
            if (m_p == m_end && !Refill()) return;
            const auto n = std::min(static_cast<std::size_t>(count), static_cast<std::size_t>(m_end - m_p));
            std::char_traits<wchar_t>::assign(m_p, n, c);
            m_p += n;
            count -= static_cast<int>(n);
        }
    }
    // The caller's buffer: how many characters were written. The string:
    // appends what the chunk still holds.
    std::size_t finish() {
        if (m_out) {
            m_out->append(m_chunk, static_cast<std::size_t>(m_p - m_chunk));
            m_p = m_chunk;
        }
        return static_cast<std::size_t>(m_p - m_begin);
    }

private:
    static constexpr std::size_t kChunk = 256;
    static constexpr std::size_t kShortCopy = 16;

    bool Refill() {
        if (!m_out) return false;
        m_out->append(m_chunk, static_cast<std::size_t>(m_p - m_chunk));
        m_p = m_chunk;
        return NextWindow();
    }
    bool NextWindow() {
        const std::size_t n = std::min(kChunk, m_left);
        if (m_left != std::wstring::npos) m_left -= n;
        m_end = m_chunk + n;
        return n != 0;
    }

    std::wstring* m_out = nullptr;
    std::size_t m_left = 0;  // characters the string may still take after this window
    wchar_t* m_begin;
    wchar_t* m_p;
    wchar_t* m_end = nullptr;
    wchar_t m_chunk[kChunk];
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

void PutPaddedInteger(Sink& sink, const Directive& directive, const FormatArg& arg, std::uint64_t magnitude,
                      unsigned base, std::wstring_view sign);

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
    if (directive.width == 0 && directive.precision < 0 && !directive.alt && conv != L'p') {
        // "%d", "%u", "%X": the sign and the digits, nothing to pad.
        wchar_t buffer[24];  // 64 bits take 22 octal digits
        sink.put({prefixBuffer, prefixLength});
        sink.put(ToDigits(magnitude, base, conv == L'X', buffer, std::size(buffer)));
        return;
    }
    PutPaddedInteger(sink, directive, arg, magnitude, base, {prefixBuffer, prefixLength});
}

// An integer with width, precision or '#': zeros and spaces as C puts them.
void PutPaddedInteger(Sink& sink, const Directive& directive, const FormatArg& arg, std::uint64_t magnitude,
                      unsigned base, std::wstring_view sign) {
    const wchar_t conv = directive.conversion;
    wchar_t prefixBuffer[3] = {};
    std::size_t prefixLength = sign.size();
    std::copy(sign.begin(), sign.end(), prefixBuffer);
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
    wchar_t prefix = 0;
    if (std::signbit(value)) {
        prefix = L'-';
        value = -value;
    } else if (directive.plus) {
        prefix = L'+';
    } else if (directive.space) {
        prefix = L' ';
    }
    const bool upper = directive.conversion == L'F' || directive.conversion == L'E' || directive.conversion == L'G';
    // The longest a double takes in fixed notation with the precision that
    // fits; beyond that to_chars reports an error and nothing is written.
    constexpr std::size_t kMaxDigits = 400;
    wchar_t digits[kMaxDigits];
    std::size_t count = 0;
    if (std::isnan(value) || std::isinf(value)) {
        const wchar_t* text = std::isnan(value) ? (upper ? L"NAN" : L"nan") : (upper ? L"INF" : L"inf");
        for (; text[count] != 0; ++count) digits[count] = text[count];
    } else {
        const int precision = directive.precision < 0 ? 6 : directive.precision;
        std::chars_format format = std::chars_format::fixed;
        const wchar_t c = static_cast<wchar_t>(directive.conversion | 0x20);
        if (c == L'e') format = std::chars_format::scientific;
        if (c == L'g') format = std::chars_format::general;
        char buffer[kMaxDigits];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format,
                                       c == L'g' && precision == 0 ? 1 : precision);
        if (ec != std::errc{}) end = buffer;
        // Digits, '.', 'e', '+', '-': plain ASCII, upper-cased as such.
        for (const char* p = buffer; p != end; ++p)
            digits[count++] = static_cast<wchar_t>(upper && *p >= 'a' && *p <= 'z' ? *p - 'a' + 'A' : *p);
    }
    PutNumber(sink, directive, {&prefix, prefix ? 1u : 0u}, {digits, count}, std::isfinite(value));
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void PutString(Sink& sink, const Directive& directive, const FormatArg& arg) {
    std::wstring converted;
    std::wstring_view text;
    switch (arg.kind()) {
        case FormatArg::Kind::Wide: text = arg.wide(); break;
        case FormatArg::Kind::Narrow: {
            std::string_view narrow = arg.narrow();
            if (IsAscii(narrow)) {
                // Function names and most 8-bit texts: one character each,
                // widened as they are written.
                if (directive.precision >= 0 && narrow.size() > static_cast<std::size_t>(directive.precision))
                    narrow = narrow.substr(0, static_cast<std::size_t>(directive.precision));
                const int pad = directive.width - static_cast<int>(narrow.size());
                if (pad > 0 && !directive.left) sink.fill(L' ', pad);
                sink.putAscii(narrow);
                if (pad > 0 && directive.left) sink.fill(L' ', pad);
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

// A conversion letter straight after the '%' ("%d", "%s"): no flags, width,
// precision or length to read.
bool IsBareConversion(wchar_t c) {
    switch (c) {
        case L'd': case L'i': case L'u': case L'o': case L'x': case L'X': case L'p': case L'c': case L's':
        case L'S': case L'f': case L'F': case L'e': case L'E': case L'g': case L'G':
            return true;
        default:
            return false;
    }
}

bool IsString(const FormatArg& arg) {
    return arg.kind() == FormatArg::Kind::Wide || arg.kind() == FormatArg::Kind::Narrow;
}

void Format(Sink& sink, std::wstring_view format, std::span<const FormatArg> args) {
    std::size_t next = 0;
    auto takeInt = [&](int& into) {
        if (next < args.size() && !IsString(args[next]))
            into = static_cast<int>(args[next].asSigned());
        ++next;
    };
    std::size_t i = 0;
    while (i < format.size() && !sink.full()) {
        // The text up to the next directive, in one piece.
        const std::size_t percent = std::min(format.find(L'%', i), format.size());
        if (percent != i) {
            sink.put(format.substr(i, percent - i));
            i = percent;
            continue;
        }
        ++i;
        if (i >= format.size()) break;  // a lone '%' at the end produces nothing
        if (format[i] == L'%') {
            sink.put(L'%');
            ++i;
            continue;
        }
        Directive directive;
        if (!IsBareConversion(format[i])) {
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
        }
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

}  // namespace

void FormatTo(std::wstring& out, std::wstring_view format, std::span<const FormatArg> args, std::size_t maxChars) {
    Sink sink(out, maxChars);
    Format(sink, format, args);
    sink.finish();
}

std::size_t FormatToBuffer(wchar_t* buffer, std::size_t capacity, std::wstring_view format,
                           std::span<const FormatArg> args) noexcept {
    Sink sink(buffer, capacity);
    try {
        Format(sink, format, args);
    } catch (...) {
        // Out of memory while widening a text: what was written stays.
    }
    return sink.finish();
}

}  // namespace Arvek
