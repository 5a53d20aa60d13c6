// The ACPI USB Type-C monitor against the simulated platform driver: how
// the driver's device is found, which ACPI events become window messages,
// and how the monitor ends (stopped by the window's destruction, a failing
// request, no device). The threaded cases also run under TSan.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "agent/core/agent.h"
#include "agent/usbc/acpi_monitor.h"
#include "process_log.h"
#include "sim_fixture.h"

namespace {

using Arvek::Sim::SimDevices;
using Arvek::Testing::SimNotebook;
using namespace Notifications::Tidewatch;

constexpr wchar_t kPyloPath[] = L"\\\\?\\ACPI#ARVK0A0C#0#{38e184ea-2138-468c-aee5-1280532b5c2d}";

bool Logged(const std::wstring& line) {
    const auto lines = Arvek::Testing::ProcessLogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Waits, for a generous while, until `done` holds; the threaded cases must
// never hang the suite.
template <class Condition>
bool Eventually(Condition done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A notebook with the driver's device, the agent and its window.
struct AcpiMonitor : testing::Test {
    AcpiMonitor() {
        Arvek::Testing::ClearProcessLog();
        auto& windowing = Platform().windowing;
        const auto procedure = [](Arvek::Ports::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
            return std::intptr_t{0};
        };
        windowing.RegisterWindowClass({L"AgentWindow", 0, procedure, true, 0});
        agent.Globals().g_hWnd = windowing.CreateMainWindow(0, L"AgentWindow", L"", 0);
    }
    Arvek::Ports::Platform& Platform() { return notebook.machine.Platform(); }
    SimDevices& Devices() { return notebook.machine.Devices(); }
    void AddDriver() {
        Devices().AddInterface({kPyloInterfaceClass, kPyloPath});
        Devices().AddEventDevice(kPyloPath, kIoctlPyloWaitForEvent);
    }
    int UsbCMessagesPosted() {
        const auto queued = notebook.machine.Windowing().Queued();
        return static_cast<int>(std::count_if(queued.begin(), queued.end(), [](const auto& m) {
            return m.message == WM_NOTIFY_ACPI_USB_C && m.wParam == 0 && m.lParam == 0;
        }));
    }
    // The window's destruction, as the main thread handles it.
    void DestroyWindow() { agent.WndProc(agent.Globals().g_hWnd, Arvek::Ports::kWM_DESTROY, 0, 0); }

    SimNotebook notebook{"[machine]\n"};
    CTidewatchAgent agent{Platform(), 0x400000};
};

// Ten interfaces at most; the first good path ends the search but keeps an
// earlier interface's failure.
TEST_F(AcpiMonitor, TheDriversPathAndWhatTheSearchReports) {
    const struct {
        const char* name;
        std::vector<SimDevices::Interface> interfaces;
        Arvek::HRESULT hr;
        std::wstring path;
    } cases[] = {
        {"no device", {}, Arvek::MakeHr(0x80070103u), L""},
        {"one device", {{kPyloInterfaceClass, L"\\\\?\\one"}}, Arvek::kS_OK, L"\\\\?\\one"},
        {"first unreadable, second good",
         {{kPyloInterfaceClass, L"\\\\?\\one", 5}, {kPyloInterfaceClass, L"\\\\?\\two"}},
         Arvek::MakeHr(0x80070005u),
         L"\\\\?\\two"},
        {"a read failing without an error", {{kPyloInterfaceClass, L"\\\\?\\one", 0u}}, Arvek::kE_FAIL, L""},
        {"an unreadable one, then the end",
         {{kPyloInterfaceClass, L"\\\\?\\one", 31}},
         Arvek::MakeHr(0x8007001Fu),
         L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimNotebook machine("[machine]\n");
        for (const auto& device : c.interfaces) machine.machine.Devices().AddInterface(device);
        AgentGlobals globals;
        const std::vector<std::uint8_t> input;
        CIoctlWrapper wrapper(machine.machine.Platform(), globals, input, 1);
        std::wstring path;
        EXPECT_EQ(wrapper.GetPyloDevicePath(path), c.hr);
        EXPECT_EQ(path, c.path);
    }
}

TEST_F(AcpiMonitor, WithoutTheDriverTheMonitorEndsAtOnce) {
    EXPECT_EQ(ACPIUSBCMonitor(Platform(), agent.Globals()), 0u);
    EXPECT_TRUE(Logged(L"ACPIUSBCMonitor : OpenPyloDevice failed: 0x80070103"));
    EXPECT_EQ(Devices().OpenEvents(), 0u);
    EXPECT_EQ(agent.Globals().g_hMonitorStopEvent.load(), 0u);
}

TEST_F(AcpiMonitor, ADeviceThatWillNotOpenEndsTheMonitor) {
    AddDriver();
    Devices().FailOpen(kPyloPath, 5);
    EXPECT_EQ(ACPIUSBCMonitor(Platform(), agent.Globals()), 0u);
    EXPECT_TRUE(Logged(L"ACPIUSBCMonitor : OpenPyloDevice failed: 0x80070005"));
}

// Every request gets an answer byte; only the USB Type-C one reaches the
// window. The window's destruction stops the monitor with its request still
// pending, which is cancelled before anything is closed.
TEST_F(AcpiMonitor, UsbCEventsBecomeMessagesUntilTheWindowGoes) {
    AddDriver();
    std::uint32_t exitCode = 99;
    std::thread monitor([&] { exitCode = ACPIUSBCMonitor(Platform(), agent.Globals()); });
    int expectedRequests = 1;
    for (const std::uint8_t byte : {0x00, 0xA1, 0xA0, 0x7F, 0xA0}) {
        ASSERT_TRUE(Eventually([&] { return Devices().RequestUnderWay() && Devices().RequestsTaken() == expectedRequests; }));
        Devices().RaiseAcpiEvent(byte);
        ++expectedRequests;
    }
    ASSERT_TRUE(Eventually([&] { return Devices().RequestUnderWay() && Devices().RequestsTaken() == expectedRequests; }));
    EXPECT_EQ(UsbCMessagesPosted(), 2);

    DestroyWindow();
    monitor.join();
    EXPECT_EQ(exitCode, 1u);
    EXPECT_TRUE(Logged(L"ACPIUSBCMonitor : Exited while (WAIT_OBJECT_0). dwResult: 1"));
    EXPECT_TRUE(Logged(L"ACPIUSBCMonitor : ListenForEvent returned WAIT_OBJECT_0, with data: 0xA1"));
    EXPECT_FALSE(Devices().RequestUnderWay());
    EXPECT_EQ(Devices().OpenEvents(), 0u);
    EXPECT_EQ(agent.Globals().g_hMonitorStopEvent.load(), 0u);
}

// A byte that is there before the request completes it at once; a request
// the driver refuses ends the monitor with the driver's error.
TEST_F(AcpiMonitor, AnAnswerAtOnceCountsAndARefusedRequestEndsTheMonitor) {
    AddDriver();
    Devices().RaiseAcpiEvent(0xA0);
    std::uint32_t exitCode = 99;
    std::thread monitor([&] { exitCode = ACPIUSBCMonitor(Platform(), agent.Globals()); });
    ASSERT_TRUE(Eventually([&] { return Devices().RequestUnderWay() && Devices().RequestsTaken() == 2; }));
    EXPECT_EQ(UsbCMessagesPosted(), 1);

    Devices().FailNextRequest(31);  // ERROR_GEN_FAILURE
    Devices().RaiseAcpiEvent(0x00);
    monitor.join();
    EXPECT_EQ(exitCode, 31u);
    EXPECT_TRUE(Logged(L"CIoctlWrapper::ListenForEvent : Expected ERROR_IO_PENDING (997) from IOCTL call, but got: 31"));
    EXPECT_EQ(Devices().OpenEvents(), 0u);
}

// A window that went before the monitor made its stop event still stops it.
TEST_F(AcpiMonitor, AWindowGoneBeforeTheMonitorStartedStopsItAtOnce) {
    AddDriver();
    DestroyWindow();
    EXPECT_EQ(ACPIUSBCMonitor(Platform(), agent.Globals()), 1u);
    EXPECT_FALSE(Devices().RequestUnderWay());
    EXPECT_EQ(Devices().OpenEvents(), 0u);
}

}  // namespace
