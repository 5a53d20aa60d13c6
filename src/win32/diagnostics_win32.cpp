#include "win32/diagnostics_win32.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "common/strings.h"

namespace Arvek::Win32 {

void Win32DebugOutput::Output(std::wstring_view text) {
    const std::wstring terminated(text);
    ::OutputDebugStringW(terminated.c_str());
}

void Win32Console::Write(std::wstring_view text) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    const std::string utf8 = NarrowUtf8(text);
    const char* next = utf8.data();
    std::size_t left = utf8.size();
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(out, next, chunk, &written, nullptr)) return;
        if (written == 0) return;
        next += written;
        left -= written;
    }
}

}  // namespace Arvek::Win32
