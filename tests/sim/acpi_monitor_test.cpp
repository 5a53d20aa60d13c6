// The ACPI USB Type-C monitor against the platform driver's stand-in: how
// the driver's device is found, which ACPI events become window messages,
// and how the monitor ends (stopped by the window's destruction, also when
// the driver never lets a request wait; a refused or failed request; no
// device). The threaded cases also run under TSan.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "agent/core/agent.h"
#include "agent/usbc/acpi_monitor.h"
#include "process_log.h"
#include "sim_fixture.h"

namespace {

using Arvek::Sim::PyloDriver;
using Arvek::Sim::SimDevices;
using Arvek::Testing::ProcessLogged;
using Arvek::Testing::SimNotebook;
using namespace Notifications::Tidewatch;

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

// A notebook with the agent and its window; the driver is installed by the
// tests that want it.
struct AcpiMonitor : testing::Test {
    AcpiMonitor() {
        Arvek::Testing::ClearProcessLog();
        auto& windowing = Platform().windowing;
        const auto procedure = [](Arvek::Ports::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
            return std::intptr_t{0};
        };
        windowing.RegisterWindowClass({L"AgentWindow", 0, procedure, true, 0});
        globals.g_hWnd = windowing.CreateMainWindow(0, L"AgentWindow", L"", 0);
    }
    Arvek::Ports::Platform& Platform() { return notebook.machine.Platform(); }
    SimDevices& Devices() { return notebook.machine.Devices(); }
    PyloDriver& Driver() { return notebook.machine.Pylo(); }
    int UsbCMessagesPosted() {
        const auto queued = notebook.machine.Windowing().Queued();
        return static_cast<int>(std::count_if(queued.begin(), queued.end(), [](const auto& m) {
            return m.message == WM_NOTIFY_ACPI_USB_C && m.wParam == 0 && m.lParam == 0;
        }));
    }
    // The monitor on a thread of its own, as the agent starts it.
    std::future<std::uint32_t> StartMonitor() {
        return std::async(std::launch::async, [this] { return ACPIUSBCMonitor(Platform(), globals); });
    }
    bool WaitingForRequest(int taken) {
        return Eventually([&] { return Driver().RequestUnderWay() && Driver().RequestsTaken() == taken; });
    }
    // The window's destruction, as the main thread handles it.
    void DestroyWindow() { agent.WndProc(globals.g_hWnd, Arvek::Ports::kWM_DESTROY, 0, 0); }

    SimNotebook notebook{"[machine]\n"};
    AgentGlobals globals;
    CTidewatchAgent agent{Platform(), globals, 0x400000};
};

// Ten interfaces at most; the first good path ends the search. An earlier
// interface that could not be read is logged and does not keep the device
// that was found from being opened; without a good one the last failure
// stays.
TEST_F(AcpiMonitor, TheDriversPathAndWhatTheSearchReports) {
    const Arvek::Ports::Guid pylo = kPyloInterfaceClass;
    const struct {
        const char* name;
        std::vector<SimDevices::Interface> interfaces;
        Arvek::HRESULT hr;
        std::wstring path;
    } cases[] = {
        {"no device", {}, Arvek::MakeHr(0x80070103u), L""},
        {"one device", {{pylo, L"\\\\?\\one"}}, Arvek::kS_OK, L"\\\\?\\one"},
        {"first unreadable, second good", {{pylo, L"\\\\?\\one", 5}, {pylo, L"\\\\?\\two"}}, Arvek::kS_OK,
         L"\\\\?\\two"},
        {"a read failing without an error", {{pylo, L"\\\\?\\one", 0u}}, Arvek::kE_FAIL, L""},
        {"an unreadable one, then the end", {{pylo, L"\\\\?\\one", 31}}, Arvek::MakeHr(0x8007001Fu), L""},
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
    EXPECT_TRUE(ProcessLogged(L"Information CIoctlWrapper::GetPyloDevicePath : "
                              L"An earlier interface of the class could not be read: 0x80070005"));
}

// A device found behind an unreadable interface is opened and watched.
TEST_F(AcpiMonitor, ADeviceFoundAfterAnUnreadableInterfaceIsWatched) {
    Devices().AddInterface({kPyloInterfaceClass, L"\\\\?\\broken", 5});
    notebook.machine.InstallPyloDriver();
    auto monitor = StartMonitor();
    ASSERT_TRUE(WaitingForRequest(1));
    Driver().RaiseAcpiEvent(0xA0);
    ASSERT_TRUE(WaitingForRequest(2));
    EXPECT_EQ(UsbCMessagesPosted(), 1);
    DestroyWindow();
    EXPECT_EQ(monitor.get(), 1u);
}

// No device, a device that will not open, a device that "opens" without an
// error and without a handle: the monitor ends at once, with nothing left open.
TEST_F(AcpiMonitor, WithoutAUsableDeviceTheMonitorEndsAtOnce) {
    const struct {
        const char* name;
        bool driver;
        std::optional<Arvek::HRESULT> openFault;
        const wchar_t* line;
    } cases[] = {
        {"no device", false, std::nullopt, L"Error ACPIUSBCMonitor : OpenPyloDevice failed: 0x80070103"},
        {"access denied", true, Arvek::MakeHr(0x80070005u), L"Error ACPIUSBCMonitor : OpenPyloDevice failed: 0x80070005"},
        {"no error, no device", true, Arvek::kS_OK, L"Error ACPIUSBCMonitor : OpenPyloDevice failed: 0x80004005"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimNotebook machine("[machine]\n");
        if (c.driver) machine.machine.InstallPyloDriver();
        if (c.openFault) machine.machine.Faults().Fail("devices.open", *c.openFault);
        Arvek::Testing::ClearProcessLog();
        AgentGlobals globals;
        EXPECT_EQ(ACPIUSBCMonitor(machine.machine.Platform(), globals), 0u);
        EXPECT_TRUE(ProcessLogged(c.line));
        EXPECT_EQ(machine.machine.Devices().OpenEvents(), 0u);
        EXPECT_EQ(machine.machine.Pylo().OpenHandles(), 0);
        EXPECT_EQ(globals.g_hMonitorStopEvent.load(), 0u);
    }
}

// Every request gets an answer byte; only the USB Type-C one reaches the
// window. The window's destruction stops the monitor with its request still
// pending, which is cancelled before anything is closed.
TEST_F(AcpiMonitor, UsbCEventsBecomeMessagesUntilTheWindowGoes) {
    notebook.machine.InstallPyloDriver();
    auto monitor = StartMonitor();
    int expectedRequests = 1;
    for (const std::uint8_t byte : {0x00, 0xA1, 0xA0, 0x7F, 0xA0}) {
        ASSERT_TRUE(WaitingForRequest(expectedRequests));
        Driver().RaiseAcpiEvent(byte);
        ++expectedRequests;
    }
    ASSERT_TRUE(WaitingForRequest(expectedRequests));
    EXPECT_EQ(UsbCMessagesPosted(), 2);

    DestroyWindow();
    EXPECT_EQ(monitor.get(), 1u);
    EXPECT_TRUE(ProcessLogged(L"Verbose ACPIUSBCMonitor : Exited while (WAIT_OBJECT_0). dwResult: 1"));
    EXPECT_TRUE(ProcessLogged(L"Verbose ACPIUSBCMonitor : ListenForEvent returned WAIT_OBJECT_0, with data: 0xA1"));
    EXPECT_FALSE(Driver().RequestUnderWay());
    EXPECT_EQ(Devices().OpenEvents(), 0u);
    EXPECT_EQ(Driver().OpenHandles(), 0);
    EXPECT_EQ(globals.g_hMonitorStopEvent.load(), 0u);
}

// A byte that is there before the request completes it at once; a request
// the driver refuses ends the monitor with the driver's error.
TEST_F(AcpiMonitor, AnAnswerAtOnceCountsAndARefusedRequestEndsTheMonitor) {
    notebook.machine.InstallPyloDriver();
    Driver().RaiseAcpiEvent(0xA0);
    auto monitor = StartMonitor();
    ASSERT_TRUE(WaitingForRequest(2));
    EXPECT_EQ(UsbCMessagesPosted(), 1);

    notebook.machine.Faults().Fail("pylo.request", Arvek::MakeHr(0x8007001Fu), true);  // ERROR_GEN_FAILURE
    Driver().RaiseAcpiEvent(0x00);
    EXPECT_EQ(monitor.get(), 31u);
    EXPECT_TRUE(ProcessLogged(
        L"Verbose CIoctlWrapper::ListenForEvent : Expected ERROR_IO_PENDING (997) from IOCTL call, but got: 31"));
    EXPECT_EQ(Devices().OpenEvents(), 0u);
}

// A request that went pending and then completed with an error ends the
// monitor with that error: it is not issued again, so a driver that fails
// every request cannot keep the thread spinning.
TEST_F(AcpiMonitor, ARequestThatCompletesWithAnErrorEndsTheMonitor) {
    notebook.machine.InstallPyloDriver();
    auto monitor = StartMonitor();
    ASSERT_TRUE(WaitingForRequest(1));
    notebook.machine.Faults().Fail("pylo.completion", Arvek::MakeHr(0x8007001Fu));
    Driver().RaiseAcpiEvent(0xA0);
    EXPECT_EQ(monitor.get(), 0x8007001Fu);
    EXPECT_TRUE(ProcessLogged(L"Information CIoctlWrapper::ListenForEvent : The request completed with error 31"));
    EXPECT_EQ(Driver().RequestsTaken(), 1);
    EXPECT_EQ(UsbCMessagesPosted(), 0);
    EXPECT_EQ(Devices().OpenEvents(), 0u);
    EXPECT_EQ(Driver().OpenHandles(), 0);
}

// A driver that completes every request at once never lets the monitor wait
// for its stop event; the window's destruction still ends it.
TEST_F(AcpiMonitor, ADriverThatNeverLetsARequestWaitCannotKeepTheMonitorRunning) {
    notebook.machine.InstallPyloDriver();
    Driver().AnswerAtOnce(true);
    auto monitor = StartMonitor();
    ASSERT_TRUE(Eventually([&] { return Driver().RequestsTaken() > 100; }));
    DestroyWindow();
    const bool ended = monitor.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    // A monitor that did not stop is let go by a driver that waits again.
    if (!ended) Driver().AnswerAtOnce(false);
    EXPECT_TRUE(ended) << "the monitor did not stop";
    EXPECT_EQ(monitor.get(), 1u);
    EXPECT_EQ(Devices().OpenEvents(), 0u);
}

// A window that went before the monitor made its stop event still stops it.
TEST_F(AcpiMonitor, AWindowGoneBeforeTheMonitorStartedStopsItAtOnce) {
    notebook.machine.InstallPyloDriver();
    DestroyWindow();
    EXPECT_EQ(ACPIUSBCMonitor(Platform(), globals), 1u);
    EXPECT_FALSE(Driver().RequestUnderWay());
    EXPECT_EQ(Devices().OpenEvents(), 0u);
}

}  // namespace
