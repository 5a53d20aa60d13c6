// The one printf-style formatter of both programs.
//
// Every message of the programs is written with C formatting directives
// ("%d", "%08X", "%-11s", "%7.1Lf", ...), but the C library's wide printf
// family cannot be trusted with them: %s and %S swap meanings between MSVC,
// mingw-w64 and glibc, and a text from the firmware must never be able to act
// as a format. Arguments are therefore captured with their types (variadic
// templates, no C varargs) and the directives are interpreted here, the same
// way on every platform.
//
// Supported: flags "-+ 0#", width and precision (digits or "*"), the length
// modifiers h hh l ll L I64 z j t w (h and hh cut integers to 16 and 8 bits;
// the others are accepted and ignored, the argument's own width counts),
// conversions d i u o x X c s S f F e E g G p and %%. Both %s and %S take any
// string, wide or 8-bit (8-bit text is read as UTF-8). A directive without a
// matching argument produces nothing; a number given to %s is written in
// decimal, a string given to a numeric directive is written as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace Arvek {

class FormatArg {
public:
    enum class Kind : std::uint8_t { Signed, Unsigned, Floating, Wide, Narrow, Pointer };

    template <class T>
        requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, wchar_t> &&
                 !std::is_same_v<T, char>)
    FormatArg(T value) noexcept  // NOLINT(google-explicit-constructor)
        : m_kind(std::is_signed_v<T> ? Kind::Signed : Kind::Unsigned), m_bytes(sizeof(T)) {
        if constexpr (std::is_signed_v<T>)
            m_int = static_cast<std::int64_t>(value);
        else
            m_uint = static_cast<std::uint64_t>(value);
    }
    FormatArg(bool value) noexcept : m_kind(Kind::Signed), m_bytes(4), m_int(value ? 1 : 0) {}
    FormatArg(wchar_t value) noexcept : m_kind(Kind::Unsigned), m_bytes(sizeof(wchar_t)), m_uint(static_cast<std::uint64_t>(value)) {}
    FormatArg(char value) noexcept : m_kind(Kind::Signed), m_bytes(1), m_int(value) {}
    FormatArg(double value) noexcept : m_kind(Kind::Floating), m_bytes(8), m_float(value) {}
    FormatArg(float value) noexcept : m_kind(Kind::Floating), m_bytes(8), m_float(value) {}
    FormatArg(long double value) noexcept : m_kind(Kind::Floating), m_bytes(8), m_float(static_cast<double>(value)) {}
    FormatArg(const wchar_t* value) noexcept : m_kind(Kind::Wide), m_wide(value ? value : L"(null)") {}
    FormatArg(wchar_t* value) noexcept : FormatArg(static_cast<const wchar_t*>(value)) {}
    FormatArg(const char* value) noexcept : m_kind(Kind::Narrow), m_narrow(value ? value : "(null)") {}
    FormatArg(char* value) noexcept : FormatArg(static_cast<const char*>(value)) {}
    FormatArg(std::wstring_view value) noexcept : m_kind(Kind::Wide), m_wide(value) {}
    FormatArg(const std::wstring& value) noexcept : m_kind(Kind::Wide), m_wide(value) {}
    FormatArg(std::string_view value) noexcept : m_kind(Kind::Narrow), m_narrow(value) {}
    FormatArg(const std::string& value) noexcept : m_kind(Kind::Narrow), m_narrow(value) {}
    FormatArg(const void* value) noexcept
        : m_kind(Kind::Pointer), m_bytes(sizeof(void*)), m_uint(reinterpret_cast<std::uintptr_t>(value)) {}
    FormatArg(std::nullptr_t) noexcept : m_kind(Kind::Pointer), m_bytes(sizeof(void*)), m_uint(0) {}

    Kind kind() const noexcept { return m_kind; }
    unsigned bytes() const noexcept { return m_bytes; }
    std::int64_t asSigned() const noexcept { return m_kind == Kind::Signed ? m_int : static_cast<std::int64_t>(m_uint); }
    std::uint64_t asUnsigned() const noexcept { return m_kind == Kind::Signed ? static_cast<std::uint64_t>(m_int) : m_uint; }
    double asFloat() const noexcept { return m_float; }
    std::wstring_view wide() const noexcept { return m_wide; }
    std::string_view narrow() const noexcept { return m_narrow; }

private:
    Kind m_kind;
    unsigned m_bytes = 0;
    union {
        std::int64_t m_int;
        std::uint64_t m_uint = 0;
        double m_float;
    };
    std::wstring_view m_wide;
    std::string_view m_narrow;
};

// Formats into `out` (appending), producing at most maxChars characters in
// all; output beyond that is cut. Never throws on a bad format.
void FormatTo(std::wstring& out, std::wstring_view format, std::span<const FormatArg> args,
              std::size_t maxChars = std::wstring::npos);

// Formats into the caller's buffer, at most `capacity` characters and no
// terminator; returns how many were written. Allocates nothing for numbers,
// wide strings and ASCII 8-bit strings, and never throws: should widening
// another 8-bit text run out of memory, what was written so far stays.
std::size_t FormatToBuffer(wchar_t* buffer, std::size_t capacity, std::wstring_view format,
                           std::span<const FormatArg> args) noexcept;

inline std::wstring FormatV(std::wstring_view format, std::span<const FormatArg> args,
                            std::size_t maxChars = std::wstring::npos) {
    std::wstring out;
    FormatTo(out, format, args, maxChars);
    return out;
}

template <class... Args>
std::wstring Format(std::wstring_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return FormatV(format, {});
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        return FormatV(format, list);
    }
}

}  // namespace Arvek
