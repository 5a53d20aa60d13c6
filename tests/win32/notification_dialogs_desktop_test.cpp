// The agent's notification dialogs under Wine, looked at and pressed from
// outside as the user would: dialog-host.exe shows one dialog through the
// agent's handlers and the Windows adapter (its resources are Tidewatch.exe's);
// this process finds it, reads its controls and the screen, moves the
// pointer, clicks and presses keys. Runs in a Wine virtual desktop (ctest's
// wine.notification_dialogs), which draws the title bar and its close
// button; it keeps screenshots of both dialogs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "desktop_win32.h"
#include "win32/dialogs_win32.h"
#include "win32/resources_win32.h"

namespace {

using Arvek::Testing::Capture;
using Arvek::Testing::DosPath;
using Arvek::Testing::Started;
using Arvek::Testing::ToScreen;
namespace Win32 = Arvek::Win32;

constexpr wchar_t kCaption[] = L"Arvek Notifications";
constexpr wchar_t kMarkerName[] = L"IgnoreVelashadeDialog.txt";
constexpr std::size_t kLongText = 2048;
constexpr unsigned kLinkBlue = 0x0000C0;  // RGB(0, 0, 192) as 0xRRGGBB

using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

struct Search {
    DWORD process;
    const wchar_t* caption;
    HWND except;
    HWND found;
};

// A visible dialog-manager window of `process` with `caption`, other than
// `except`.
HWND FindDialogOf(DWORD process, const wchar_t* caption, HWND except = nullptr) {
    Search search{process, caption, except, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            wchar_t text[256] = {};
            ::GetWindowTextW(window, text, 256);
            if (owner == s.process && window != s.except && ::IsWindowVisible(window) &&
                std::wstring(name) == L"#32770" && std::wstring(text) == s.caption) {
                s.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// WM_GETTEXT, which the system carries across processes.
std::wstring TextOf(HWND window) {
    const auto length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied = ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

// The texts of a window's static controls, in their order.
std::vector<std::wstring> StaticTexts(HWND window) {
    std::vector<std::wstring> texts;
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            wchar_t name[32] = {};
            ::GetClassNameW(child, name, 32);
            if (std::wstring(name) == L"Static") reinterpret_cast<std::vector<std::wstring>*>(data)->push_back(TextOf(child));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// --- the pointer, the mouse button and the keyboard ---------------------------
//
// The pointer moves for real (SetCursorPos), so the link's capture sees
// where it is. Buttons and keys are posted to the window they are meant for,
// as the system delivers them: under Wine a real click that follows another
// one soon may still reach the control of the first.

void MovePointer(POINT screen) {
    ::SetCursorPos(screen.x, screen.y);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

POINT CentreOf(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    return ToScreen(window, client.right / 2, client.bottom / 2);
}

// A left click in the middle of a control.
void PressControl(HWND control) {
    RECT client{};
    ::GetClientRect(control, &client);
    const LPARAM at = MAKELPARAM(client.right / 2, client.bottom / 2);
    ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(control, WM_LBUTTONUP, 0, at);
}

// Escape where the dialog manager reads it: at the window with the focus.
void PressEscape(HWND dialog) {
    // The key goes where the focus is, once the dialog has given it to one
    // of its controls (on a busy machine that can take a moment after the
    // window shows).
    HWND target = dialog;
    WaitUntil(
        [&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof(info);
            if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info) || info.hwndFocus == nullptr)
                return false;
            target = info.hwndFocus;
            return true;
        },
        std::chrono::seconds(5));
    ::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

// --- what the screen shows -------------------------------------------------------

bool IsLinkBlue(unsigned rgb) {
    const unsigned r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return rgb != ~0u && b >= 0x80 && r < 0x60 && g < 0x60;
}

// The link line's blue pixels: how many, whether any has exactly the link's
// colour, and whether one row of them runs the width of the text (an
// underline).
struct LinkPixels {
    int blue = 0;
    bool exactColour = false;
    bool underlined = false;
};

LinkPixels ReadLink(const Capture& capture, HWND link) {
    RECT client{};
    ::GetClientRect(link, &client);
    const POINT origin = ToScreen(link, 0, 0);
    LinkPixels pixels;
    int left = client.right, right = -1;
    std::vector<int> perRow(static_cast<std::size_t>(client.bottom), 0);
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x) {
            const unsigned rgb = capture.At(POINT{origin.x + x, origin.y + y});
            if (!IsLinkBlue(rgb)) continue;
            ++pixels.blue;
            ++perRow[static_cast<std::size_t>(y)];
            pixels.exactColour |= rgb == kLinkBlue;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    const int width = right - left + 1;
    for (const int count : perRow) pixels.underlined |= width > 20 && count * 10 >= width * 9;
    return pixels;
}

// The mean difference per colour channel between an icon control on the
// screen and `icon` drawn at its own size in the control's middle on the
// control's background, at the best of the placements near the middle.
double IconDistance(const Capture& capture, HWND control, HICON icon) {
    RECT client{};
    ::GetClientRect(control, &client);
    const int width = client.right, height = client.bottom;
    ICONINFO info{};
    if (width <= 0 || height <= 0 || !::GetIconInfo(icon, &info)) return 1e9;
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    const int iconWidth = bitmap.bmWidth;
    const int iconHeight = info.hbmColor != nullptr ? bitmap.bmHeight : bitmap.bmHeight / 2;
    if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);

    const POINT origin = ToScreen(control, 0, 0);
    const unsigned background = capture.At(origin);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP canvas = ::CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, canvas);
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    double best = 1e9;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            HBRUSH brush = ::CreateSolidBrush(RGB(background >> 16, (background >> 8) & 0xFF, background & 0xFF));
            ::FillRect(dc, &client, brush);
            ::DeleteObject(brush);
            ::DrawIconEx(dc, (width - iconWidth) / 2 + dx, (height - iconHeight) / 2 + dy, icon, 0, 0, 0, nullptr,
                         DI_NORMAL);
            ::GdiFlush();
            double sum = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const unsigned want = pixels[y * width + x] & 0xFFFFFF;
                    const unsigned got = capture.At(POINT{origin.x + x, origin.y + y});
                    for (int shift = 0; shift < 24; shift += 8)
                        sum += std::abs(static_cast<int>((want >> shift) & 0xFF) - static_cast<int>((got >> shift) & 0xFF));
                }
            best = std::min(best, sum / (width * height * 3.0));
        }
    ::SelectObject(dc, old);
    ::DeleteObject(canvas);
    ::DeleteDC(dc);
    return best;
}

// The width of a line of text in a font of `points` at the screen's
// resolution.
int TextWidth(const std::wstring& text, const wchar_t* face, int points) {
    HDC dc = ::GetDC(nullptr);
    HFONT font = ::CreateFontW(-::MulDiv(points, ::GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE,
                               FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH, face);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, dc);
    return size.cx;
}

// The pixels of the agent's teal (resources/arvek.ico) at the left of the
// title bar, where the dialog's icon shows.
int AgentIconPixels(const Capture& capture, HWND dialog) {
    RECT bounds{};
    ::GetWindowRect(dialog, &bounds);
    int count = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) count += capture.At(POINT{bounds.left + x, bounds.top + y}) == 0x1F7A8C;
    return count;
}

// Which system icon the control shows: the one nearest on the screen.
const wchar_t* ShownIcon(const Capture& capture, HWND control) {
    const std::pair<const wchar_t*, LPCWSTR> icons[] = {
        {L"information", IDI_INFORMATION}, {L"warning", IDI_WARNING}, {L"error", IDI_ERROR}};
    const wchar_t* nearest = L"none";
    double best = 8.0;  // farther than this is no match at all
    for (const auto& [name, id] : icons) {
        const double distance = IconDistance(capture, control, ::LoadIconW(nullptr, id));
        if (distance < best) {
            best = distance;
            nearest = name;
        }
    }
    return nearest;
}

// --- the fixture ----------------------------------------------------------------

class NotificationDialogsDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        m_host = DosPath(ARVEK_DIALOG_HOST_EXE);
        m_strings = ::LoadLibraryExW(m_host.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_strings, nullptr);
        wchar_t folder[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH + 1, folder);
        m_marker = std::wstring(folder) + kMarkerName;
        ::DeleteFileW(m_marker.c_str());
    }
    void TearDown() override {
        for (auto& started : m_started) Arvek::Testing::Finish(started);
        if (m_strings != nullptr) ::FreeLibrary(m_strings);
        ::DeleteFileW(m_marker.c_str());
    }

    // The host showing one dialog, and that dialog once it is on the screen.
    HWND Show(unsigned templateId, int type, unsigned textId) {
        m_started.push_back(Arvek::Testing::Start(
            m_host, std::to_wstring(templateId) + L" " + std::to_wstring(type) + L" " + std::to_wstring(textId)));
        Started& host = m_started.back();
        EXPECT_TRUE(host.ok);
        if (!host.ok) return nullptr;
        HWND dialog = nullptr;
        WaitUntil([&] { return (dialog = FindDialogOf(host.info.dwProcessId, kCaption)) != nullptr; });
        EXPECT_NE(dialog, nullptr) << "no dialog " << templateId << " of type " << type;
        // Painted: the initialisation's foreground change and the first paint
        // have passed.
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        return dialog;
    }
    Started& Host() { return m_started.back(); }
    // The exit code of the host once it ended, or nothing while it runs.
    std::optional<DWORD> HostEnded(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        if (::WaitForSingleObject(Host().info.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD code = 99;
        ::GetExitCodeProcess(Host().info.hProcess, &code);
        return code;
    }
    std::wstring Text(unsigned id, std::size_t capacity = kLongText) {
        return Win32::Win32Resources(m_strings).LoadText(id, capacity);
    }
    std::optional<std::string> Marker() const { return Arvek::Testing::ReadWholeFile(m_marker); }
    void WriteMarker(const std::string& content) const { ASSERT_TRUE(Arvek::Testing::WriteWholeFile(m_marker, content)); }

    std::wstring m_host;
    HMODULE m_strings = nullptr;
    std::wstring m_marker;
    std::deque<Started> m_started;
};

// Each type's icon, text and link line; the link in its blue, and a link
// made of the static control only where the type has one.
TEST_F(NotificationDialogsDesktop, EachTypeShowsItsIconTextAndLinkLine) {
    enum class Link { Hyperlink, Emptied, AsInResource };
    struct Case {
        int type;
        unsigned textId;
        const wchar_t* icon;
        Link link;
    };
    const Case cases[] = {
        {0, 524, L"information", Link::Hyperlink}, {1, 525, L"warning", Link::Hyperlink},
        {2, 523, L"warning", Link::Hyperlink},     {3, 529, L"error", Link::Emptied},
        {4, 515, L"information", Link::Emptied},   {5, 552, L"warning", Link::Hyperlink},
        {9, 515, L"information", Link::AsInResource},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        HWND dialog = Show(102, c.type, c.textId);
        ASSERT_NE(dialog, nullptr);
        HWND link = ::GetDlgItem(dialog, 140);
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(TextOf(::GetDlgItem(dialog, 139)), Text(c.textId, 1024));
        const std::wstring expectedLink = c.link == Link::Hyperlink ? Text(553)
                                          : c.link == Link::Emptied ? L""
                                                                    : L"For More Information Click Here";
        EXPECT_EQ(TextOf(link), expectedLink);
        const bool hyperlink = c.link == Link::Hyperlink;
        EXPECT_EQ((::GetWindowLongPtrW(link, GWL_STYLE) & SS_NOTIFY) != 0, hyperlink);
        // A plain static lets the mouse through to the dialog; the link
        // takes its clicks.
        const POINT middle = CentreOf(link);
        EXPECT_EQ(::SendMessageW(link, WM_NCHITTEST, 0, MAKELPARAM(middle.x, middle.y)),
                  hyperlink ? HTCLIENT : HTTRANSPARENT);
        EXPECT_EQ(::GetPropW(link, Win32::kHyperlinkFromStatic), hyperlink ? reinterpret_cast<HANDLE>(1) : nullptr);
        EXPECT_EQ(::GetPropW(link, Win32::kHyperlinkOriginalProc) != nullptr, hyperlink);
        EXPECT_EQ(::GetPropW(link, Win32::kHyperlinkUnderlineFont) != nullptr, hyperlink);
        EXPECT_EQ(::GetPropW(dialog, Win32::kHyperlinkOriginalProc) != nullptr, hyperlink);
        const Capture capture(dialog);
        EXPECT_GE(AgentIconPixels(capture, dialog), 30) << "the title bar shows the agent's icon";
        EXPECT_STREQ(ShownIcon(capture, ::GetDlgItem(dialog, 135)), c.icon);
        const LinkPixels pixels = ReadLink(capture, link);
        EXPECT_EQ(pixels.blue > 0, !expectedLink.empty()) << "the link line's text is drawn in the link's blue";
        if (!expectedLink.empty()) {
            EXPECT_TRUE(pixels.exactColour);
        }
        EXPECT_FALSE(pixels.underlined) << "underlined before the pointer came";

        // A click into the message gives it the focus (its EN_SETFOCUS is a
        // WM_COMMAND of the dialog's) and leaves the dialog open.
        HWND message = ::GetDlgItem(dialog, 139);
        const POINT inside = CentreOf(message);
        POINT client = inside;
        ::ScreenToClient(message, &client);
        ::PostMessageW(message, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
        ::PostMessageW(message, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
        EXPECT_TRUE(WaitUntil([&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof(info);
            return ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus == message;
        })) << "the message took the focus";
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(::IsWindowVisible(dialog)) << "a click into the message closed the dialog";

        ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        EXPECT_EQ(HostEnded(), std::optional<DWORD>(0)) << "OK ends the dialog with 0";
    }
}

// The pointer over the link underlines it, with the capture telling when it
// leaves; a click shows string 530 in a message box without caption, and
// the dialog ends once that box is closed.
TEST_F(NotificationDialogsDesktop, HoverUnderlinesTheLinkAndItsClickShowsTheExplanation) {
    HWND dialog = Show(102, 0, 524);
    ASSERT_NE(dialog, nullptr);
    HWND link = ::GetDlgItem(dialog, 140);
    ASSERT_NE(::GetPropW(link, Win32::kHyperlinkUnderlineFont), nullptr);
    // (A font or icon handle does not cross processes under Wine: the
    // capture and the screen tell what the link does.)
    const auto capture = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        return ::GetGUIThreadInfo(Host().info.dwThreadId, &info) ? info.hwndCapture : nullptr;
    };
    const auto underlined = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // repainted
        return ReadLink(Capture(dialog), link).underlined;
    };
    EXPECT_FALSE(underlined());
    // The whole address fits on the link line, in the dialog's font.
    RECT line{};
    ::GetClientRect(link, &line);
    EXPECT_LE(TextWidth(Text(553), L"MS Shell Dlg", 8), line.right);

    MovePointer(CentreOf(link));
    ASSERT_TRUE(WaitUntil([&] { return capture() == link; })) << "the link took no capture";
    EXPECT_TRUE(WaitUntil(underlined, std::chrono::seconds(5)));
    Capture(dialog).SaveBmp(DosPath(ARVEK_ARTIFACTS_DIR "/notification-dialog.bmp"));

    // Away from the link: the font and the capture go back.
    MovePointer(ToScreen(dialog, 5, 5));
    EXPECT_TRUE(WaitUntil([&] { return capture() == nullptr; })) << "the link kept the capture";
    EXPECT_TRUE(WaitUntil([&] { return !underlined(); }, std::chrono::seconds(5))) << "the link stayed underlined";

    PressControl(link);
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = FindDialogOf(Host().info.dwProcessId, L"", dialog)) != nullptr; }))
        << "no message box";
    const std::vector<std::wstring> texts = StaticTexts(box);
    EXPECT_NE(std::find(texts.begin(), texts.end(), Text(530)), texts.end()) << "the box shows string 530";
    EXPECT_TRUE(::IsWindow(dialog)) << "the dialog waits for the box";
    EXPECT_FALSE(HostEnded(std::chrono::milliseconds(0)));

    // The box takes clicks of its own: the link holds no capture.
    EXPECT_NE(capture(), link);
    ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(HostEnded(), std::optional<DWORD>(0)) << "the link's click ends the dialog after the box";
}

// Type 5 has a link but sets no selector: in a process where no dialog of
// type 0, 1 or 2 was shown, its click shows nothing and ends the dialog.
TEST_F(NotificationDialogsDesktop, ALinkBeforeAnySelectingDialogShowsNoMessageBox) {
    HWND dialog = Show(102, 5, 552);
    ASSERT_NE(dialog, nullptr);
    PressControl(::GetDlgItem(dialog, 140));
    bool boxSeen = false;
    const bool ended = WaitUntil([&] {
        boxSeen |= FindDialogOf(Host().info.dwProcessId, L"", dialog) != nullptr;
        return ::WaitForSingleObject(Host().info.hProcess, 0) == WAIT_OBJECT_0;
    });
    EXPECT_FALSE(boxSeen);
    ASSERT_TRUE(ended) << "the click did not end the dialog";
    EXPECT_EQ(HostEnded(), std::optional<DWORD>(0));
}

// The privacy-screen dialog keeps its box in the marker file: each command
// writes it, OK and the close button end the dialog, Escape does not.
TEST_F(NotificationDialogsDesktop, VelashadeDialogKeepsTheBoxInTheMarkerFile) {
    HWND dialog = Show(142, 4, 555);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(dialog, 139)), Text(555, 1024));
    HWND box = ::GetDlgItem(dialog, 141);
    EXPECT_EQ(TextOf(box), Text(556));
    EXPECT_EQ(::GetDlgItem(dialog, 140), nullptr);
    EXPECT_STREQ(ShownIcon(Capture(dialog), ::GetDlgItem(dialog, 135)), L"information");

    // Escape is a command like any other: with the box unticked it deletes
    // the marker file (left there by an earlier answer), and the dialog
    // stays.
    WriteMarker("true");
    PressEscape(dialog);
    EXPECT_TRUE(WaitUntil([&] { return !Marker(); })) << "Escape did not reach the dialog";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(::IsWindowVisible(dialog)) << "Escape closed the dialog";

    ::PostMessageW(box, BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    EXPECT_TRUE(WaitUntil([&] { return Marker() == std::optional<std::string>("true"); }))
        << "ticking the box writes the marker file";
    EXPECT_TRUE(::IsWindowVisible(dialog)) << "the box's click closed the dialog";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Capture(dialog).SaveBmp(DosPath(ARVEK_ARTIFACTS_DIR "/velashade-dialog.bmp"));

    ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(HostEnded(), std::optional<DWORD>(0));
    EXPECT_EQ(Marker(), std::optional<std::string>("true"));

    // Shown again, closed with the title bar's button and the box unticked.
    dialog = Show(142, 4, 555);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog, 141), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    // What the title bar's close button sends.
    ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(HostEnded(), std::optional<DWORD>(0)) << "the close button did not end the dialog";
    EXPECT_EQ(Marker(), std::nullopt) << "closing with the box unticked deletes the marker file";
}

// The manifest: version 6 of the common controls, and the version checks
// see Windows 10 when Wine plays it (they would see 6.2 without the
// manifest's supported systems).
TEST_F(NotificationDialogsDesktop, TheManifestBringsCommonControls6AndWindows10) {
    HWND dialog = Show(102, 4, 515);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(Arvek::Testing::LoadsCommonControls6(Host().info.hProcess));
    ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(HostEnded(), std::optional<DWORD>(0));

    constexpr wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\dialog-host.exe";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kAppDefaults, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    constexpr wchar_t kWin10[] = L"win10";
    ::RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kWin10), sizeof kWin10);
    ::RegCloseKey(key);
    m_started.push_back(Arvek::Testing::Start(m_host, L"version"));
    const auto code = HostEnded();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kAppDefaults);
    EXPECT_EQ(code, std::optional<DWORD>(0)) << "the version checks do not see Windows 10";
}

}  // namespace
