// Text helpers shared by every subsystem: invariant upper-casing and
// case-insensitive comparison, the firmware's decimal reading, and the
// UTF-8 conversions used where 8-bit text (function names, file contents)
// meets the UTF-16 strings of the rest of the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Arvek {

// Upper-cases one character culture-independently: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic letters, as the invariant locale does.
wchar_t ToUpperInvariant(wchar_t c);
std::wstring ToUpperInvariant(std::wstring_view text);

// Equal ignoring case, culture-independently.
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);

// Reads a decimal integer the way the C runtime's _wtoi does: leading white
// space and one sign are accepted, reading stops at the first non-digit, and
// text without digits gives 0. Values beyond 32 bits wrap as they do there.
std::int32_t ParseDecimal(std::wstring_view text);

// The text without leading and trailing spaces, tabs and carriage returns
// (the line ends of text files written on Windows).
std::string_view TrimSpaces(std::string_view text);

// UTF-8 <-> wide. Invalid input becomes U+FFFD; on Windows (16-bit wchar_t)
// characters above the BMP become surrogate pairs and back.
std::wstring WidenUtf8(std::string_view utf8);
std::string NarrowUtf8(std::wstring_view wide);

}  // namespace Arvek

namespace Arvek {

// Registry and resource text is UTF-16LE bytes on every platform. These read
// such bytes into a wide string (stopping at the first NUL unit) and back
// (with a terminating NUL unit when asked).
std::wstring FromUtf16Le(const std::uint8_t* data, std::size_t bytes);
std::basic_string<std::uint8_t> ToUtf16Le(std::wstring_view text, bool terminate);

}  // namespace Arvek
