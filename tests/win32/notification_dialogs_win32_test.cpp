// The agent's notification dialogs without a window: what the handlers
// decide for each type and command (on a recording window, with the Windows
// files and the program's strings), and the dialog templates as Tidewatch.exe
// carries them. The dialogs on the screen are NotificationDialogsDesktop's.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "agent/presentation/dialogs.h"
#include "common/strings.h"
#include "desktop_win32.h"
#include "process_log_win32.h"
#include "shared/log.h"
#include "win32/platform_win32.h"

namespace {

namespace Ports = Arvek::Ports;
namespace Tidewatch = Notifications::Tidewatch;

// What a handler did to its dialog, one line a call.
class RecordingWindow final : public Ports::IDialogWindow {
public:
    void SetControlText(int control, const std::wstring& text) override {
        calls.push_back(L"text " + std::to_wstring(control) + L" " + text);
    }
    void SetControlIcon(int control, Ports::SystemIcon icon) override {
        calls.push_back(L"icon " + std::to_wstring(control) + L" " + std::to_wstring(static_cast<int>(icon)));
    }
    void SetBigIcon(std::uint32_t id) override { calls.push_back(L"big icon " + std::to_wstring(id)); }
    void MakeHyperlink(int control, const std::wstring& text) override {
        calls.push_back(L"hyperlink " + std::to_wstring(control) + L" " + text);
    }
    bool IsChecked(int) override { return checked; }
    void BringToForeground() override { calls.push_back(L"foreground"); }
    void End(std::intptr_t result) override { ended = result; }

    bool checked = false;
    std::optional<std::intptr_t> ended;
    std::vector<std::wstring> calls;
};

// Message boxes kept instead of shown.
class RecordingDialogs final : public Ports::IDialogs {
public:
    std::intptr_t ShowModal(std::uint32_t, Ports::IDialogHandler&) override { return -1; }
    int ShowMessageBox(const std::wstring& text, const std::wstring& caption) override {
        boxes.push_back(caption + L"|" + text);
        return IDOK;
    }
    std::vector<std::wstring> boxes;
};

// The Windows platform (the test program's strings: Tidewatch.exe's script
// is compiled into it) with the message boxes recorded.
struct DialogPlatform {
    Arvek::Win32::Win32Platform windows;
    RecordingDialogs dialogs;
    Ports::Platform platform{windows.registry,  windows.process,    windows.clock,   windows.files,
                             windows.namedObjects, windows.eventLog, windows.debugOutput, windows.console,
                             windows.windowing, windows.resources,  windows.com,     windows.tolm,
                             windows.xml,       windows.wmi,        windows.toasts,  windows.shell,
                             windows.devices,   windows.threads,    windows.wmiEvents, dialogs};

    std::wstring Text(std::uint32_t id) { return windows.resources.LoadText(id, 2048); }
};

class NotificationDialogHandlers : public ::testing::Test {
protected:
    void SetUp() override {
        Tidewatch::SetLinkSelector(-1);  // as in a new process
        m_marker = Tidewatch::VelashadeMarkerPath(m_ports.windows.files);
        ASSERT_FALSE(m_marker.empty());
        ::DeleteFileW(m_marker.c_str());
    }
    void TearDown() override { ::DeleteFileW(m_marker.c_str()); }

    // A notification dialog of `type` initialised, and its link clicked.
    std::vector<std::wstring> InitialiseAndPressLink(int type) {
        Tidewatch::CNotificationDialog dialog(m_ports.platform, {L"message", type});
        RecordingWindow window;
        dialog.OnInit(window);
        m_ports.dialogs.boxes.clear();
        dialog.OnLinkPressed(window);
        return m_ports.dialogs.boxes;
    }
    bool MarkerExists() const { return ::GetFileAttributesW(m_marker.c_str()) != INVALID_FILE_ATTRIBUTES; }

    DialogPlatform m_ports;
    std::wstring m_marker;
};

TEST_F(NotificationDialogHandlers, InitialisationFollowsTheType) {
    const std::wstring link = m_ports.Text(553);
    struct Case {
        int type;
        std::vector<std::wstring> calls;
    };
    const auto look = [&](const std::wstring& linkCall, int icon) {
        std::vector<std::wstring> calls;
        if (!linkCall.empty()) calls.push_back(linkCall);
        calls.insert(calls.end(), {L"big icon 136", L"icon 135 " + std::to_wstring(icon), L"text 139 message",
                                   L"foreground"});
        return calls;
    };
    constexpr int kInformation = 0, kWarning = 1, kError = 2;
    const Case cases[] = {
        {0, look(L"hyperlink 140 " + link, kInformation)}, {1, look(L"hyperlink 140 " + link, kWarning)},
        {2, look(L"hyperlink 140 " + link, kWarning)},     {3, look(L"text 140 ", kError)},
        {4, look(L"text 140 ", kInformation)},             {5, look(L"hyperlink 140 " + link, kWarning)},
        {6, look(L"", kInformation)},                      {-1, look(L"", kInformation)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Tidewatch::CNotificationDialog dialog(m_ports.platform, {L"message", c.type});
        RecordingWindow window;
        dialog.OnInit(window);
        EXPECT_EQ(window.calls, c.calls);
        EXPECT_FALSE(window.ended);
    }
}

// The selector is the process's: the last dialog of type 0, 1 or 2 decides
// what every later link click shows, whatever the later dialogs' types.
TEST_F(NotificationDialogHandlers, TheLastSelectingDialogDecidesWhatALinkShows) {
    EXPECT_TRUE(InitialiseAndPressLink(5).empty()) << "no dialog of type 0, 1 or 2 yet";
    EXPECT_EQ(InitialiseAndPressLink(1), std::vector<std::wstring>{L"|" + m_ports.Text(531)});
    EXPECT_EQ(InitialiseAndPressLink(5), std::vector<std::wstring>{L"|" + m_ports.Text(531)});
    EXPECT_EQ(InitialiseAndPressLink(2), std::vector<std::wstring>{L"|" + m_ports.Text(508)});
    EXPECT_EQ(InitialiseAndPressLink(3), std::vector<std::wstring>{L"|" + m_ports.Text(508)});
    EXPECT_EQ(InitialiseAndPressLink(7), std::vector<std::wstring>{L"|" + m_ports.Text(508)});
    EXPECT_EQ(InitialiseAndPressLink(0), std::vector<std::wstring>{L"|" + m_ports.Text(530)});
    EXPECT_EQ(Tidewatch::LinkSelector(), 0);
}

TEST_F(NotificationDialogHandlers, EveryCommandButTheMessagesOwnAndTheCloseButtonEndTheNotificationDialog) {
    for (const int control : {Ports::kIDOK, Ports::kIDCANCEL, Ports::kDialogLinkControl}) {
        Tidewatch::CNotificationDialog dialog(m_ports.platform, {L"message", 0});
        RecordingWindow window;
        dialog.OnCommand(window, control);
        EXPECT_EQ(window.ended, std::optional<std::intptr_t>(0)) << control;
    }
    {
        // The message took the focus: the user has not answered yet.
        Tidewatch::CNotificationDialog dialog(m_ports.platform, {L"message", 0});
        RecordingWindow window;
        dialog.OnCommand(window, Ports::kDialogTextControl);
        EXPECT_EQ(window.ended, std::nullopt);
    }
    Tidewatch::CNotificationDialog dialog(m_ports.platform, {L"message", 0});
    RecordingWindow window;
    dialog.OnClose(window);
    EXPECT_EQ(window.ended, std::optional<std::intptr_t>(0));
}

// Every command and the close button write the box into the marker file;
// only OK and the close button end the dialog.
TEST_F(NotificationDialogHandlers, TheVelashadeDialogKeepsItsBoxInTheMarkerFile) {
    struct Case {
        const char* what;
        std::optional<int> command;  // none: the close button
        bool ticked;
        bool ends;
    };
    const Case cases[] = {
        {"OK, ticked", Ports::kIDOK, true, true},          {"OK, unticked", Ports::kIDOK, false, true},
        {"the box, ticked", Ports::kDialogCheckBox, true, false},
        {"the box, unticked", Ports::kDialogCheckBox, false, false},
        {"Escape, ticked", Ports::kIDCANCEL, true, false}, {"Escape, unticked", Ports::kIDCANCEL, false, false},
        {"close, ticked", std::nullopt, true, true},       {"close, unticked", std::nullopt, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The file as an earlier answer may have left it: there for an
        // unticked box, missing for a ticked one.
        if (c.ticked) {
            ::DeleteFileW(m_marker.c_str());
        } else {
            ASSERT_TRUE(m_ports.windows.files.WriteBinaryFile(m_marker, {'t', 'r', 'u', 'e'}));
        }
        Tidewatch::CVelashadeDialog dialog(m_ports.platform, {L"message", 4});
        RecordingWindow window;
        window.checked = c.ticked;
        if (c.command) {
            dialog.OnCommand(window, *c.command);
        } else {
            dialog.OnClose(window);
        }
        EXPECT_EQ(window.ended.has_value(), c.ends);
        EXPECT_EQ(MarkerExists(), c.ticked);
        if (c.ticked) {
            EXPECT_EQ(Arvek::Testing::ReadWholeFile(m_marker), std::optional<std::string>("true"));
        }
    }
}

TEST_F(NotificationDialogHandlers, TheVelashadeDialogLabelsItsBox) {
    Tidewatch::CVelashadeDialog dialog(m_ports.platform, {L"message", 4});
    RecordingWindow window;
    dialog.OnInit(window);
    ASSERT_FALSE(window.calls.empty());
    EXPECT_EQ(window.calls.back(), L"text 141 " + m_ports.Text(556));
    EXPECT_EQ(window.calls.front(), L"text 140 ");
}

// Only the two templates have procedures here; another is refused before
// any window is made.
TEST_F(NotificationDialogHandlers, ATemplateWithoutProcedureIsNotShown) {
    Arvek::Testing::ClearProcessLog();
    Arvek::Win32::Win32Dialogs dialogs(::GetModuleHandleW(nullptr));
    Tidewatch::CNotificationDialog handler(m_ports.platform, {L"message", 0});
    EXPECT_EQ(dialogs.ShowModal(1000, handler), -1);
    EXPECT_EQ(Arvek::Testing::ProcessLogLines(Arvek::Shared::Information),
              std::vector<std::wstring>{
                  L"Information Arvek::Win32::Win32Dialogs::ShowModal : No dialog procedure for template 1000"});
}

// --- the templates ------------------------------------------------------------------

struct Control {
    DWORD id;
    std::wstring className;  // in capitals (names of classes ignore case), ordinals by their names
    short x, y, cx, cy;
    DWORD style;
    std::wstring text;
    bool operator==(const Control&) const = default;
};

void PrintTo(const Control& c, std::ostream* out) {
    *out << c.id << " " << Arvek::NarrowUtf8(c.className) << " " << c.x << "," << c.y << " " << c.cx << "x" << c.cy
         << " style 0x" << std::hex << c.style << std::dec << " \"" << Arvek::NarrowUtf8(c.text) << "\"";
}

struct Template {
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::wstring caption;
    WORD points = 0;
    std::wstring face;
    std::vector<Control> controls;
};

// Reads an extended dialog template; nothing when it is not one.
std::optional<Template> ReadTemplate(const BYTE* data, DWORD size) {
    const BYTE* at = data;
    const BYTE* end = data + size;
    const auto take = [&](auto& value) {
        if (at + sizeof value > end) return false;
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return true;
    };
    const auto text = [&](std::wstring& out, WORD* ordinal) {
        WORD unit = 0;
        if (!take(unit)) return false;
        if (unit == 0xFFFF) return ordinal != nullptr && take(*ordinal);
        while (unit != 0) {
            out += static_cast<wchar_t>(unit);
            if (!take(unit)) return false;
        }
        return true;
    };
    WORD version = 0, signature = 0, count = 0;
    DWORD help = 0, exStyle = 0;
    Template result;
    short x = 0, y = 0;
    std::wstring menu, windowClass;
    WORD ignored = 0;
    if (!take(version) || !take(signature) || version != 1 || signature != 0xFFFF) return std::nullopt;
    if (!take(help) || !take(exStyle) || !take(result.style) || !take(count) || !take(x) || !take(y) ||
        !take(result.cx) || !take(result.cy) || !text(menu, &ignored) || !text(windowClass, &ignored) ||
        !text(result.caption, nullptr))
        return std::nullopt;
    WORD weight = 0;
    BYTE italic = 0, charset = 0;
    if (!take(result.points) || !take(weight) || !take(italic) || !take(charset) || !text(result.face, nullptr))
        return std::nullopt;
    for (WORD i = 0; i < count; ++i) {
        at = data + ((at - data + 3) & ~static_cast<std::ptrdiff_t>(3));
        Control control{};
        WORD extra = 0;
        WORD atom = 0;
        if (!take(help) || !take(exStyle) || !take(control.style) || !take(control.x) || !take(control.y) ||
            !take(control.cx) || !take(control.cy) || !take(control.id) || !text(control.className, &atom) ||
            !text(control.text, nullptr) || !take(extra))
            return std::nullopt;
        for (auto& c : control.className) c = static_cast<wchar_t>(std::towupper(c));
        if (atom == 0x80) control.className = L"BUTTON";
        if (atom == 0x81) control.className = L"EDIT";
        if (atom == 0x82) control.className = L"STATIC";
        at += extra;
        result.controls.push_back(control);
    }
    return result;
}

std::optional<Template> TidewatchTemplate(WORD id) {
    wchar_t self[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    path = path.substr(0, path.rfind(L'\\') + 1) + L"Tidewatch.exe";
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return std::nullopt;
    std::optional<Template> result;
    if (HRSRC found = ::FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(id),
                                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))) {
        const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(module, found)));
        if (bytes != nullptr) result = ReadTemplate(bytes, ::SizeofResource(module, found));
    }
    ::FreeLibrary(module);
    return result;
}

TEST(Win32NotificationDialogTemplates, TidewatchCarriesBothDialogsInEnglish) {
    constexpr DWORD kDialogStyle =
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND | DS_SETFONT | DS_FIXEDSYS;
    constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
    constexpr DWORD kIcon = kChild | SS_ICON | SS_CENTERIMAGE | SS_RIGHTJUST | SS_REALSIZEIMAGE;
    const Control ok{1, L"BUTTON", 232, 83, 44, 12, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, L"OK"};
    const Control icon{135, L"STATIC", 19, 17, 21, 20, kIcon, L""};
    const std::pair<WORD, std::vector<Control>> dialogs[] = {
        {102,
         {ok,
          {139, L"EDIT", 51, 15, 232, 60, kChild | ES_READONLY | ES_MULTILINE | ES_AUTOVSCROLL | WS_TABSTOP, L""},
          {140, L"STATIC", 54, 85, 129, 8, kChild | SS_LEFT | SS_NOPREFIX | WS_GROUP, L"For More Information Click Here"},
          icon}},
        {142,
         {ok,
          {139, L"STATIC", 60, 23, 200, 10, kChild | SS_LEFT | WS_GROUP, L""},
          {141, L"BUTTON", 60, 60, 140, 10, kChild | BS_AUTOCHECKBOX | WS_TABSTOP, L""},
          icon}},
    };
    for (const auto& [id, controls] : dialogs) {
        SCOPED_TRACE(id);
        const std::optional<Template> dialog = TidewatchTemplate(id);
        ASSERT_TRUE(dialog) << "no extended template in English";
        EXPECT_EQ(dialog->style, kDialogStyle);
        EXPECT_EQ(dialog->cx, 307);
        EXPECT_EQ(dialog->cy, 114);
        EXPECT_EQ(dialog->caption, L"Arvek Notifications");
        EXPECT_EQ(dialog->points, 8);
        EXPECT_EQ(dialog->face, L"MS Shell Dlg");
        EXPECT_EQ(dialog->controls, controls);
    }
}

}  // namespace
