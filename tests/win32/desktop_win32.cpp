#include "desktop_win32.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>

namespace Arvek::Testing {

std::wstring DosPath(const std::string& unixPath) {
    using ToDos = LPWSTR(CDECL*)(LPCSTR);
    const auto toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    std::wstring result(unixPath.begin(), unixPath.end());
    if (toDos != nullptr) {
        if (LPWSTR dos = toDos(unixPath.c_str())) {
            result = dos;
            ::HeapFree(::GetProcessHeap(), 0, dos);
        }
    }
    return result;
}

Started Start(const std::wstring& program, const std::wstring& arguments) {
    Started started;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    started.ok = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &started.info) != FALSE;
    return started;
}

void Finish(Started& started) {
    if (!started.ok) return;
    if (::WaitForSingleObject(started.info.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(started.info.hProcess, 1);
    ::CloseHandle(started.info.hProcess);
    ::CloseHandle(started.info.hThread);
    started.ok = false;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    FILE* in = ::_wfopen(path.c_str(), L"rb");
    if (in == nullptr) return std::nullopt;
    std::string content;
    char buffer[4096];
    while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, in)) content.append(buffer, read);
    std::fclose(in);
    return content;
}

bool WriteWholeFile(const std::wstring& path, const std::string& content) {
    FILE* out = ::_wfopen(path.c_str(), L"wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    return std::fclose(out) == 0 && written;
}

bool LoadsCommonControls6(HANDLE process) {
    HMODULE modules[512] = {};
    DWORD needed = 0;
    if (!::K32EnumProcessModules(process, modules, sizeof(modules), &needed)) return false;
    const DWORD count = std::min<DWORD>(needed / sizeof(HMODULE), 512);
    for (DWORD i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH] = {};
        ::K32GetModuleFileNameExW(process, modules[i], path, MAX_PATH);
        std::wstring lower(path);
        for (auto& c : lower) c = static_cast<wchar_t>(::towlower(c));
        if (lower.ends_with(L"\\comctl32.dll") && lower.find(L"\\winsxs\\") != std::wstring::npos &&
            lower.find(L"common-controls") != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

POINT ToScreen(HWND window, int x, int y) {
    POINT point{x, y};
    ::ClientToScreen(window, &point);
    return point;
}

Capture::Capture(HWND window) {
    ::GetWindowRect(window, &m_rect);
    const int width = m_rect.right - m_rect.left;
    const int height = m_rect.bottom - m_rect.top;
    if (width <= 0 || height <= 0) return;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, m_rect.left, m_rect.top, SRCCOPY);
    ::SelectObject(memory, old);
    m_header.biSize = sizeof(m_header);
    m_header.biWidth = width;
    m_header.biHeight = height;  // bottom-up, as a BMP file stores it
    m_header.biPlanes = 1;
    m_header.biBitCount = 24;
    m_stride = ((width * 3 + 3) / 4) * 4;
    m_pixels.resize(static_cast<std::size_t>(m_stride) * height);
    ::GetDIBits(memory, bitmap, 0, height, m_pixels.data(), reinterpret_cast<BITMAPINFO*>(&m_header), DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

unsigned Capture::At(POINT screen) const {
    const int x = screen.x - m_rect.left;
    const int y = screen.y - m_rect.top;
    if (m_pixels.empty() || x < 0 || y < 0 || x >= m_header.biWidth || y >= m_header.biHeight) return ~0u;
    const BYTE* p = &m_pixels[static_cast<std::size_t>(m_header.biHeight - 1 - y) * m_stride + x * 3];
    return (unsigned{p[2]} << 16) | (unsigned{p[1]} << 8) | p[0];
}

void Capture::SaveBmp(const std::wstring& path) const {
    if (m_pixels.empty()) return;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(m_header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(m_pixels.size());
    if (FILE* out = ::_wfopen(path.c_str(), L"wb")) {
        std::fwrite(&file, sizeof(file), 1, out);
        std::fwrite(&m_header, sizeof(m_header), 1, out);
        std::fwrite(m_pixels.data(), 1, m_pixels.size(), out);
        std::fclose(out);
    }
}

}  // namespace Arvek::Testing
