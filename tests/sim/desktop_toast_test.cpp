// The agent's desktop toasts on the simulated notebook: what a toast shows,
// how each failing step of the toast service ends it, what a click, a
// dismissal or a failure of a toast does, and the Start-menu shortcut.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "agent/presentation/desktop_toast.h"
#include "common/format.h"
#include "process_log.h"
#include "sim_fixture.h"

namespace {

using Arvek::HRESULT;
using Arvek::Testing::SimNotebook;
using Notifications::Tidewatch::DesktopToast;
using Notifications::Tidewatch::ToastEventHandler;

constexpr wchar_t kTitle[] = L"USB Type-C\u2122 Connector";
constexpr wchar_t kText[] = L"The device may not work: connect it to another port.";
constexpr wchar_t kPicture[] =
    L"file:///C:\\Program Files (x86)\\Arvek\\Arvek Notifications\\toastImageAndText.png";

constexpr wchar_t kToast[] = L"Notifications::Tidewatch::DesktopToast::";

// The Verbose lines the process log got from the toast's creation.
std::vector<std::wstring> ToastLog() {
    std::vector<std::wstring> lines;
    for (const auto& line : Arvek::Testing::ProcessLogLines())
        if (line.starts_with(std::wstring(L"Verbose ") + kToast)) lines.push_back(line);
    return lines;
}

// The entry and exit lines of the toast's operations, in order.
std::vector<std::wstring> ToastTraces() {
    std::vector<std::wstring> lines;
    for (const auto& line : Arvek::Testing::ProcessLogLines())
        if (line.starts_with(std::wstring(L"TraceIn ") + kToast) || line.starts_with(std::wstring(L"TraceOut ") + kToast))
            lines.push_back(line);
    return lines;
}

struct Toasts : testing::Test {
    explicit Toasts(const std::string& machine = "") : notebook("[machine]\n" + machine) {
        Arvek::Testing::ClearProcessLog();
    }
    Arvek::Ports::Platform& Platform() { return notebook.machine.Platform(); }
    Arvek::Sim::SimToastService& Service() { return notebook.machine.Toasts(); }
    HRESULT Show() { return DesktopToast(Platform()).DisplayToast(kTitle, kText); }
    std::vector<std::wstring> Channel(const char* channel) { return notebook.machine.Log().Texts(channel); }
    // Makes every folder on the way to `path` (the last part is a file's name).
    void MakeFoldersFor(const std::wstring& path) {
        for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
            Platform().files.CreateFolder(path.substr(0, at));
    }
    void PutFile(const std::wstring& path) {
        MakeFoldersFor(path);
        notebook.WriteFile(path, "MZ");
    }

    SimNotebook notebook;
};

TEST_F(Toasts, AToastShowsItsTitleAndTextBesideThePicture) {
    ASSERT_EQ(Show(), Arvek::kS_OK);

    const auto shown = Service().ShownToasts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].appUserModelId, L"Arvek Notifications");
    EXPECT_EQ(shown[0].image, kPicture);
    EXPECT_EQ(shown[0].texts, (std::vector<std::wstring>{kTitle, kText, L""}));
    const std::wstring xml = std::wstring(L"Verbose ") + kToast + L"CreateToastXml : ";
    const std::wstring toast = std::wstring(L"Verbose ") + kToast + L"CreateToast : ";
    EXPECT_EQ(ToastLog(), (std::vector<std::wstring>{
                              xml + L"Title: " + kTitle,
                              xml + L"Text: " + kText,
                              toast + L"Toast Notifier/Event Handler Activated",
                              toast + L"Toast Notifier/Event Handler Dismissed",
                              toast + L"Toast Notifier/Event Handler Failed",
                              toast + L"Toast Notifier Shown",
                          }));
    // Each operation of the toast enters and leaves under its own name.
    const std::wstring in = std::wstring(L"TraceIn ") + kToast, out = std::wstring(L"TraceOut ") + kToast;
    const std::vector<std::wstring> traces = {
        in + L"DisplayToast : ",    in + L"CreateToastXml : ", in + L"SetImageSrc : ", out + L"SetImageSrc : ",
        in + L"SetTextValues : ",   out + L"SetTextValues : ", out + L"CreateToastXml : ", in + L"CreateToast : ",
        out + L"CreateToast : ",    out + L"DisplayToast : ",
    };
    EXPECT_EQ(ToastTraces(), traces);
}

// Every step stops the toast with its own HRESULT: nothing is shown, and the
// subscriptions logged are those that were made.
TEST_F(Toasts, EachFailingStepEndsTheToastWithItsResult) {
    const struct {
        const char* step;
        HRESULT hr;
        std::size_t subscriptionsLogged;
    } cases[] = {
        {"toast.manager", Arvek::MakeHr(0x80040154u), 0},
        {"toast.template-content", Arvek::kE_FAIL, 0},
        {"toast.append-text", Arvek::MakeHr(0x8007000Eu), 0},
        {"toast.count-elements", Arvek::kE_POINTER, 0},
        {"toast.notifier", Arvek::MakeHr(0x80070005u), 0},
        {"toast.notification", Arvek::kE_INVALIDARG, 0},
        {"toast.subscribe-activated", Arvek::kE_FAIL, 0},
        {"toast.subscribe-dismissed", Arvek::kE_FAIL, 1},
        {"toast.subscribe-failed", Arvek::kE_FAIL, 2},
        {"toast.show", Arvek::MakeHr(0x803E0105u), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        SimNotebook machine("[machine]\n");
        Arvek::Testing::ClearProcessLog();
        machine.machine.Faults().Fail(c.step, c.hr);
        EXPECT_EQ(DesktopToast(machine.machine.Platform()).DisplayToast(kTitle, kText), c.hr);
        EXPECT_TRUE(machine.machine.Toasts().ShownToasts().empty());
        const auto log = ToastLog();
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [](const std::wstring& line) { return line.find(L"Event Handler") != line.npos; }),
                  static_cast<std::ptrdiff_t>(c.subscriptionsLogged));
        EXPECT_EQ(std::find(log.begin(), log.end(), std::wstring(L"Verbose ") + kToast + L"CreateToast : Toast Notifier Shown"),
                  log.end());
    }
}

struct ToastsWithoutService : Toasts {
    ToastsWithoutService() : Toasts("toasts = absent\n") {}
};

// As under Wine, which has no toast classes: the class is not registered.
TEST_F(ToastsWithoutService, ADesktopWithoutTheServiceShowsNothing) {
    EXPECT_EQ(Show(), Arvek::MakeHr(0x80040154u));
    EXPECT_TRUE(Service().ShownToasts().empty());
}

// "file:///" and the picture's place under the folder: a folder of 203
// characters makes the address 259 characters long, one more makes 260.
TEST(ToastPicture, AnAddressOfMoreThan259CharactersEndsTheToast) {
    constexpr std::size_t kFits = 259 - 8 - 48;
    for (const std::size_t folder : {kFits, kFits + 1}) {
        SCOPED_TRACE(folder);
        const std::string path = "C:\\" + std::string(folder - 3, 'p');
        SimNotebook notebook("[machine]\nprogram-files-x86 = " + path + "\n");
        const HRESULT hr = DesktopToast(notebook.machine.Platform()).DisplayToast(kTitle, kText);
        const auto shown = notebook.machine.Toasts().ShownToasts();
        if (folder == kFits) {
            EXPECT_EQ(hr, Arvek::kS_OK);
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].image.size(), 259u);
        } else {
            EXPECT_EQ(hr, Arvek::MakeHr(0x8007007Au));
            EXPECT_TRUE(shown.empty());
        }
    }
}

// A click on any toast starts the help program; it is E_FAIL only when the
// shell cannot start it.
TEST_F(Toasts, AClickStartsTheHelpProgram) {
    ASSERT_EQ(Show(), Arvek::kS_OK);
    EXPECT_EQ(Service().Click(0), std::vector<HRESULT>{Arvek::kE_FAIL}) << "not installed";
    PutFile(Notifications::Tidewatch::kHelpProgram);
    EXPECT_EQ(Service().Click(0), std::vector<HRESULT>{Arvek::kS_OK});
    EXPECT_EQ(Channel("shell"),
              (std::vector<std::wstring>{
                  L"open \"C:\\Program Files (x86)\\Arvek\\Arvek Notifications\\Wattsage.exe\": file not found",
                  L"open \"C:\\Program Files (x86)\\Arvek\\Arvek Notifications\\Wattsage.exe\""}));
}

// Without a status window (the agent has none) a dismissal or a failure is
// only logged, and the handler says the text was not taken.
TEST_F(Toasts, DismissalsAndFailuresReachTheStatusWindowIfThereIsOne) {
    const struct {
        std::int32_t reason;
        const wchar_t* text;
    } reasons[] = {
        {0, L"The user dismissed this toast"},
        {1, L"The application hid the toast using ToastNotifier.hide()"},
        {2, L"The toast has timed out"},
        {3, L"Toast not activated"},
        {-1, L"Toast not activated"},
    };
    ASSERT_EQ(Show(), Arvek::kS_OK);
    for (const auto& r : reasons) {
        Arvek::Testing::ClearProcessLog();
        EXPECT_EQ(Service().Dismiss(0, r.reason), std::vector<HRESULT>{Arvek::kE_FAIL});
        const auto log = Arvek::Testing::ProcessLogLines();
        EXPECT_NE(std::find(log.begin(), log.end(), std::wstring(L"Verbose ToastEventHandler::Invoke : ") + r.text),
                  log.end())
            << r.reason;
    }
    EXPECT_EQ(Service().Fail(0, Arvek::kE_FAIL), std::vector<HRESULT>{Arvek::kE_FAIL});

    // A status window of its own takes the texts.
    auto& windowing = Platform().windowing;
    const auto procedure = [](Arvek::Ports::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
        return std::intptr_t{0};
    };
    ASSERT_TRUE(windowing.RegisterWindowClass({L"Status", 0, procedure, true, 0}));
    const auto status = windowing.CreateMainWindow(0, L"Status", L"", 0);
    ASSERT_NE(status, 0u);
    ToastEventHandler handler(Platform(), status);
    EXPECT_EQ(handler.Dismissed(2), Arvek::kS_OK);
    EXPECT_EQ(handler.Failed(Arvek::kE_FAIL), Arvek::kS_OK);
    const auto window = Channel("window");
    EXPECT_EQ(window.back(), Arvek::Format(L"window %#x text \"The toast encountered an error.\"", status));
}

constexpr wchar_t kShortcut[] =
    L"C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Toaster Message.lnk";

TEST_F(Toasts, TheShortcutIsWrittenOnceWithTheProgramAndTheId) {
    MakeFoldersFor(kShortcut);
    DesktopToast toast(Platform());

    ASSERT_EQ(toast.TryCreateShortcut(), Arvek::kS_OK);
    const std::string written = notebook.ReadFile(kShortcut);
    EXPECT_NE(written.find("target=C:\\Program Files\\Arvek\\Tidewatch\\Tidewatch.exe\n"), std::string::npos);
    EXPECT_NE(written.find("System.AppUserModel.ID=Arvek Notifications\n"), std::string::npos);

    notebook.WriteFile(kShortcut, "kept");
    EXPECT_EQ(toast.TryCreateShortcut(), Arvek::kS_FALSE);
    EXPECT_EQ(notebook.ReadFile(kShortcut), "kept");
}

TEST(ToastShortcut, APathThatCannotBeBuiltIsAnInvalidArgument) {
    SimNotebook unset("[machine]\nenv.APPDATA = (unset)\n");
    EXPECT_EQ(DesktopToast(unset.machine.Platform()).TryCreateShortcut(), Arvek::kE_INVALIDARG);

    // 259 characters fit a path buffer of 260 with its terminator.
    constexpr std::size_t kTail = 58;  // "\Microsoft\Windows\Start Menu\Programs\Toaster Message.lnk"
    EXPECT_EQ(DesktopToast::ShortcutPath(std::wstring(259 - kTail, L'a'))->size(), 259u);
    EXPECT_FALSE(DesktopToast::ShortcutPath(std::wstring(260 - kTail, L'a')));
    EXPECT_FALSE(DesktopToast::ShortcutPath(std::nullopt));
}

}  // namespace
