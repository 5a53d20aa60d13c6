// Windows and messages over user32. Under Wine these need an X display
// (ctest runs suites named "*Windowing*" on a virtual one).
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "process_log_win32.h"
#include "win32/handles.h"
#include "win32/windowing_win32.h"

namespace Arvek::Win32 {
namespace {

using Ports::Message;
using Ports::WindowHandle;

constexpr std::uint32_t kSum = Ports::kWM_APP + 1;    // answers wParam + lParam
constexpr std::uint32_t kThrow = Ports::kWM_APP + 2;  // the procedure throws

class Win32WindowingTest : public testing::Test {
protected:
    // Class names no other test process uses.
    static std::wstring ClassName(const wchar_t* what) {
        return std::wstring(L"ArvekTest.") + what + L"." + std::to_wstring(::GetCurrentProcessId());
    }

    // A class whose procedure records every message and answers kSum with `tag` added.
    Ports::WindowClass RecordingClass(const std::wstring& name, std::intptr_t tag = 0) {
        Ports::WindowClass windowClass;
        windowClass.className = name;
        windowClass.style = Ports::kCS_HREDRAW | Ports::kCS_VREDRAW;
        windowClass.backgroundSysColorPlusOne = Ports::kCOLOR_WINDOW + 1;
        windowClass.procedure = [this, tag](WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                            std::intptr_t lParam) -> std::intptr_t {
            seen.push_back({window, message, wParam, lParam});
            switch (message) {
                case kSum: return static_cast<std::intptr_t>(wParam) + lParam + tag;
                case kThrow: throw std::runtime_error("from the window procedure");
                case Ports::kWM_DESTROY: windowing.PostQuit(7); return 0;
                default: return windowing.DefaultProcedure(window, message, wParam, lParam);
            }
        };
        return windowClass;
    }

    WindowHandle Create(const std::wstring& className) {
        const WindowHandle window = windowing.CreateMainWindow(0, className, L"Arvek test", Ports::kWS_OVERLAPPEDWINDOW);
        EXPECT_NE(window, 0u) << "CreateWindowExW failed (" << ::GetLastError()
                              << "); under Wine it needs an X display";
        return window;
    }

    bool Saw(std::uint32_t message) const {
        for (const auto& m : seen)
            if (m.message == message) return true;
        return false;
    }

    std::vector<Message> seen;  // declared first: the procedures write here until `windowing` ends
    Win32Windowing windowing{::GetModuleHandleW(nullptr)};
};

TEST_F(Win32WindowingTest, HiddenWindowLivesThroughTheMessageLoopUntilQuit) {
    const std::wstring name = ClassName(L"Loop");
    ASSERT_TRUE(windowing.RegisterWindowClass(RecordingClass(name)));
    const WindowHandle window = Create(name);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(Saw(Ports::kWM_CREATE)) << "WM_CREATE arrives before CreateMainWindow returns";
    windowing.RegisterSessionNotification(window, Ports::kNOTIFY_FOR_THIS_SESSION);
    windowing.ShowWindow(window, Ports::kSW_HIDE);
    windowing.UpdateWindow(window);
    EXPECT_FALSE(::IsWindowVisible(reinterpret_cast<HWND>(window)));

    ASSERT_TRUE(windowing.Post(window, kSum, 2, 3));
    Message message;
    ASSERT_EQ(windowing.GetNextMessage(message), 1);
    EXPECT_EQ(message.hwnd, window);
    EXPECT_EQ(message.message, kSum);
    EXPECT_EQ(message.wParam, 2u);
    EXPECT_EQ(message.lParam, 3);
    windowing.Translate(message);
    EXPECT_EQ(windowing.Dispatch(message), 5);

    // WM_DESTROY posts the quit message; the loop's last message carries its code.
    EXPECT_TRUE(windowing.DestroyWindow(window));
    EXPECT_TRUE(Saw(Ports::kWM_DESTROY));
    int got = 0;
    for (int i = 0; i < 100 && (got = windowing.GetNextMessage(message)) == 1; ++i) windowing.Dispatch(message);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(message.message, Ports::kWM_QUIT);
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_FALSE(windowing.DestroyWindow(window));  // already gone
}

TEST_F(Win32WindowingTest, EachClassReachesItsOwnProcedure) {
    const std::wstring first = ClassName(L"First");
    const std::wstring second = ClassName(L"Second");
    ASSERT_TRUE(windowing.RegisterWindowClass(RecordingClass(first, 100)));
    ASSERT_TRUE(windowing.RegisterWindowClass(RecordingClass(second, 200)));
    const WindowHandle a = Create(first);
    const WindowHandle b = Create(second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_EQ(::SendMessageW(reinterpret_cast<HWND>(a), kSum, 1, 2), 103);
    EXPECT_EQ(::SendMessageW(reinterpret_cast<HWND>(b), kSum, 1, 2), 203);
    EXPECT_EQ(windowing.Dispatch({b, kSum, 4, 5}), 209);  // a message that never was in the queue
    EXPECT_TRUE(windowing.DestroyWindow(a));
    EXPECT_TRUE(windowing.DestroyWindow(b));
}

TEST_F(Win32WindowingTest, AClassNameIsTakenUntilItsRegistrarEnds) {
    const std::wstring name = ClassName(L"Taken");
    {
        Win32Windowing owner(::GetModuleHandleW(nullptr));
        ASSERT_TRUE(owner.RegisterWindowClass(RecordingClass(name)));
        EXPECT_FALSE(windowing.RegisterWindowClass(RecordingClass(name)));
    }
    EXPECT_TRUE(windowing.RegisterWindowClass(RecordingClass(name)));
    const WindowHandle window = Create(name);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(::SendMessageW(reinterpret_cast<HWND>(window), kSum, 1, 1), 2);
    EXPECT_TRUE(windowing.DestroyWindow(window));
}

TEST_F(Win32WindowingTest, AnExceptionFromTheProcedureStopsAtTheAdapter) {
    const std::wstring name = ClassName(L"Throw");
    ASSERT_TRUE(windowing.RegisterWindowClass(RecordingClass(name)));
    const WindowHandle window = Create(name);
    ASSERT_NE(window, 0u);
    Testing::ClearProcessLog();
    // The default procedure's answer to an application message is 0.
    EXPECT_EQ(::SendMessageW(reinterpret_cast<HWND>(window), kThrow, 0, 0), 0);
    EXPECT_EQ(Testing::ProcessLogLines(),
              std::vector<std::wstring>{
                  L"Error Arvek::Win32::WindowProcedure : from the window procedure: the call ended in an exception"});
    EXPECT_EQ(::SendMessageW(reinterpret_cast<HWND>(window), kSum, 1, 1), 2);  // still in service
    EXPECT_TRUE(windowing.DestroyWindow(window));
}

TEST_F(Win32WindowingTest, SetTextChangesTheCaptionAndNeedsAWindow) {
    const std::wstring name = ClassName(L"Text");
    ASSERT_TRUE(windowing.RegisterWindowClass(RecordingClass(name)));
    const WindowHandle window = Create(name);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(windowing.SetText(window, L"Arvek \u00fcber"));
    wchar_t caption[64] = {};
    ::GetWindowTextW(reinterpret_cast<HWND>(window), caption, 64);
    EXPECT_EQ(std::wstring(caption), L"Arvek \u00fcber");
    EXPECT_TRUE(Saw(WM_SETTEXT)) << "through the window's own procedure";
    EXPECT_TRUE(windowing.DestroyWindow(window));
    EXPECT_FALSE(windowing.SetText(0, L"nowhere"));
}

TEST_F(Win32WindowingTest, SetEventSignalsAndNullHandlesAreRefused) {
    UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    EXPECT_TRUE(windowing.SetEvent(reinterpret_cast<Ports::EventHandle>(event.Get())));
    EXPECT_EQ(::WaitForSingleObject(event.Get(), 0), WAIT_OBJECT_0);
    // The agent hands over its null registrations when it ends; the system
    // refuses them and nothing else happens.
    EXPECT_FALSE(windowing.SetEvent(0));
    EXPECT_FALSE(windowing.UnregisterDeviceNotification(0));
}

}  // namespace
}  // namespace Arvek::Win32
