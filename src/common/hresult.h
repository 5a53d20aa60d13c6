// HRESULT, Win32 error codes and the COM error exception: the core's own
// copies of the Windows result model, so that behaviour which depends on the
// exact codes builds and runs without any Windows header.
//
// Names carry a "k" prefix because the Windows headers define the plain
// names (S_OK, E_FAIL, ERROR_SUCCESS, ...) as macros; the win32 adapter
// includes both.
#pragma once

#include <cstdint>
#include <string>

namespace Arvek {

using HRESULT = std::int32_t;

constexpr HRESULT MakeHr(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT kS_OK = 0;
constexpr HRESULT kS_FALSE = 1;
constexpr HRESULT kE_NOTIMPL = MakeHr(0x80004001u);
constexpr HRESULT kE_NOINTERFACE = MakeHr(0x80004002u);
constexpr HRESULT kE_POINTER = MakeHr(0x80004003u);
constexpr HRESULT kE_FAIL = MakeHr(0x80004005u);
constexpr HRESULT kE_UNEXPECTED = MakeHr(0x8000FFFFu);
constexpr HRESULT kE_INVALIDARG = MakeHr(0x80070057u);
constexpr HRESULT kE_OUTOFMEMORY = MakeHr(0x8007000Eu);
constexpr HRESULT kE_ACCESSDENIED = MakeHr(0x80070005u);
constexpr HRESULT kE_HANDLE = MakeHr(0x80070006u);
// The code a Tolm command reports for a command name it does not know.
constexpr HRESULT kE_INVALID_COMMAND = MakeHr(0x80000003u);
constexpr HRESULT kREGDB_E_CLASSNOTREG = MakeHr(0x80040154u);
constexpr HRESULT kCO_E_NOTINITIALIZED = MakeHr(0x800401F0u);
constexpr HRESULT kDISP_E_TYPEMISMATCH = MakeHr(0x80020005u);

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

// Win32 error codes used by the behaviour.
constexpr std::uint32_t kERROR_SUCCESS = 0;
constexpr std::uint32_t kERROR_FILE_NOT_FOUND = 2;
constexpr std::uint32_t kERROR_PATH_NOT_FOUND = 3;
constexpr std::uint32_t kERROR_ACCESS_DENIED = 5;
constexpr std::uint32_t kERROR_INVALID_HANDLE = 6;
constexpr std::uint32_t kERROR_NOT_ENOUGH_MEMORY = 8;
constexpr std::uint32_t kERROR_INVALID_PARAMETER = 87;
constexpr std::uint32_t kERROR_INSUFFICIENT_BUFFER = 122;
constexpr std::uint32_t kERROR_BAD_ARGUMENTS = 160;
constexpr std::uint32_t kERROR_BAD_PATHNAME = 161;
constexpr std::uint32_t kERROR_ALREADY_EXISTS = 183;
constexpr std::uint32_t kERROR_MORE_DATA = 234;
constexpr std::uint32_t kERROR_NO_MORE_ITEMS = 259;
constexpr std::uint32_t kERROR_KEY_DELETED = 1018;
constexpr std::uint32_t kERROR_TIMEOUT = 1460;

// HRESULT_FROM_WIN32: 0x80070000 plus the low 16 bits of a positive code;
// zero and negative values pass unchanged.
constexpr HRESULT HresultFromWin32(std::uint32_t error) {
    return static_cast<std::int32_t>(error) <= 0
               ? static_cast<HRESULT>(error)
               : MakeHr((error & 0x0000FFFFu) | 0x80070000u);
}

// The exception a failing COM call raises: an HRESULT and an optional
// description. Callers catch it at their own operation's boundary.
class ComError {
public:
    explicit ComError(HRESULT hr, std::wstring description = {})
        : m_hr(hr), m_description(std::move(description)) {}
    HRESULT Error() const noexcept { return m_hr; }
    const std::wstring& Description() const noexcept { return m_description; }

private:
    HRESULT m_hr;
    std::wstring m_description;
};

}  // namespace Arvek
