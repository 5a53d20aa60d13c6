// What the Windows tests that drive another program's windows share: the
// program started and ended, Unix paths as Windows sees them, files it
// leaves, and the screen's pixels read back and kept as BMP files.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace Arvek::Testing {

// The Windows path of a Unix path under Wine (the path itself elsewhere).
std::wstring DosPath(const std::string& unixPath);

struct Started {
    PROCESS_INFORMATION info{};
    bool ok = false;
};

// Starts `program` with `arguments` (appended to its quoted path).
Started Start(const std::wstring& program, const std::wstring& arguments = L"");

// Ends a program that still runs and closes its handles.
void Finish(Started& started);

// A file's bytes, or nothing when it cannot be opened; and a file written
// whole (false when it cannot be).
std::optional<std::string> ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::string& content);

// Whether the process has loaded comctl32.dll from the side-by-side store
// (version 6) rather than from the system folder.
bool LoadsCommonControls6(HANDLE process);

// A window's client point in screen coordinates.
POINT ToScreen(HWND window, int x, int y);

// A window's pixels as they are on the screen.
class Capture {
public:
    explicit Capture(HWND window);

    // 0xRRGGBB at a point in screen coordinates, or ~0 outside the capture.
    unsigned At(POINT screen) const;
    void SaveBmp(const std::wstring& path) const;

private:
    RECT m_rect{};
    BITMAPINFOHEADER m_header{};
    int m_stride = 0;
    std::vector<BYTE> m_pixels;
};

}  // namespace Arvek::Testing
