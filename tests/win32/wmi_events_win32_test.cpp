// WMI event subscriptions through the real WMI client, under Wine in this
// build. Wine 8 has no unsecured apartment (REGDB_E_CLASSNOTREG), so the
// contract is held to the steps it has: the locator, the connection to
// ROOT\WMI, the proxy blanket, an asynchronous notification query handed to
// a sink of this process directly (Wine ends it with SetStatus from a pool
// thread and never raises an event), and its cancel. The agent's real
// registrations take the unsecured apartment's failure path.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "agent/core/globals.h"
#include "agent/wmi_events/arvek_wmi_events.h"
#include "process_log_win32.h"
#include "shared/log.h"
#include "tolm_standin_fixture.h"
#include "win32/handles.h"
#include "win32/platform_win32.h"
#include "win32/wmi_events_win32.h"

namespace Arvek::Testing {
namespace {

// A sink that keeps what WMI tells it, from whichever thread.
class RecordingSink final : public Ports::IWmiEventSink {
public:
    HRESULT Indicate(const std::vector<Ports::IWmiObject*>& objects) noexcept override {
        std::lock_guard guard(m_lock);
        m_indicated += objects.size();
        return kS_OK;
    }
    HRESULT SetStatus(std::int32_t flags, HRESULT result, const std::optional<std::wstring>&,
                      Ports::IWmiObject*) noexcept override {
        std::lock_guard guard(m_lock);
        m_statuses.push_back({flags, result});
        m_changed.notify_all();
        return kS_OK;
    }
    // The first status, waiting for it for a while.
    std::optional<std::pair<std::int32_t, HRESULT>> FirstStatus() {
        std::unique_lock guard(m_lock);
        if (!m_changed.wait_for(guard, std::chrono::seconds(20), [&] { return !m_statuses.empty(); })) return std::nullopt;
        return m_statuses.front();
    }
    std::size_t Indicated() {
        std::lock_guard guard(m_lock);
        return m_indicated;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::pair<std::int32_t, HRESULT>> m_statuses;
    std::size_t m_indicated = 0;
};

class Win32WmiEventsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_apartment.Result())); }
    Win32::ComApartment m_apartment;
    Win32::Win32WmiEvents m_events;
};

TEST_F(Win32WmiEventsTest, TheStepsOfASubscriptionThatWineHasWork) {
    std::unique_ptr<Ports::IWmiLocator> locator;
    ASSERT_EQ(m_events.CreateLocator(locator), kS_OK);
    std::unique_ptr<Ports::IWmiEventServices> services;
    ASSERT_EQ(locator->ConnectServer(L"ROOT\\WMI", services), kS_OK);
    ASSERT_EQ(services->SetProxyBlanket(Ports::kRPC_C_AUTHN_WINNT, Ports::kRPC_C_AUTHZ_NONE,
                                        Ports::kRPC_C_AUTHN_LEVEL_CONNECT, Ports::kRPC_C_IMP_LEVEL_IMPERSONATE,
                                        Ports::kEOAC_NONE),
              kS_OK);

    const auto sink = std::make_shared<RecordingSink>();
    std::unique_ptr<Ports::IWmiStubSink> handler;
    ASSERT_EQ(Win32::MakeInProcessSink(sink, handler), kS_OK);
    ASSERT_EQ(services->ExecNotificationQueryAsync(L"SELECT * FROM arqBEvnt WHERE EventID = 3",
                                                   Ports::kWBEM_FLAG_SEND_STATUS, *handler),
              kS_OK);
    const auto status = sink->FirstStatus();
    ASSERT_TRUE(status) << "no SetStatus within 20 s";
    EXPECT_EQ(status->first, Ports::kWBEM_STATUS_COMPLETE);
    EXPECT_EQ(sink->Indicated(), 0u);
    EXPECT_EQ(services->CancelAsyncCall(*handler), kS_OK);

    std::unique_ptr<Ports::IWmiEventServices> nowhere;
    EXPECT_TRUE(Failed(locator->ConnectServer(L"ROOT\\NOWHERE", nowhere)));
    EXPECT_FALSE(nowhere);
}

TEST_F(Win32WmiEventsTest, WineHasNoUnsecuredApartment) {
    if (!UnderWine()) GTEST_SKIP() << "a fact of Wine's";
    std::unique_ptr<Ports::IWmiUnsecuredApartment> apartment;
    EXPECT_EQ(m_events.CreateUnsecuredApartment(apartment), kREGDB_E_CLASSNOTREG);
    EXPECT_FALSE(apartment);
}

// The agent's registrations with the platform component there: each gets as
// far as the unsecured apartment, says so with its HRESULT, and gives it back.
class Win32WmiRegistrationTolmServerTest : public testing::Test {
protected:
    void SetUp() override {
        m_scenario.UseText("[tolm]\nPlatform.MachineID = string 1234\nSmartAdapter.Supported = bool true\n");
    }
    StandinScenario m_scenario;
};

TEST_F(Win32WmiRegistrationTolmServerTest, EveryRegistrationStopsAtTheUnsecuredApartment) {
    if (!UnderWine()) GTEST_SKIP() << "Windows has the unsecured apartment";
    using Notifications::ArvekWmiEvents::CArvekWmiEvents;
    constexpr HRESULT kNotRegistered = kREGDB_E_CLASSNOTREG;
    Win32::Win32Platform platform;
    Notifications::Tidewatch::AgentGlobals globals;
    ClearProcessLog();
    bool adapterHeldBack = false;
    {
        CArvekWmiEvents events(platform, globals);
        const HRESULT adapter = events.RegisterSmartAdapterEvent(L"");
        // The host's BIOS decides whether the adapter's kind is held back.
        adapterHeldBack = events.SuppressesAdaptorNotification();
        EXPECT_EQ(adapter, adapterHeldBack ? kS_OK : kNotRegistered);
        EXPECT_EQ(events.RegisterUSBCWMIEvent(L""), kNotRegistered);
        EXPECT_EQ(events.RegisterTarnwallEvent(L""), kNotRegistered);
        EXPECT_EQ(events.RegisterFirmwareWMIEvent(), kNotRegistered);
        EXPECT_EQ(events.RegisterPrivacyPanelWMIEvent(), kNotRegistered);
        EXPECT_EQ(events.RegisterFirmwareRuntimeWMIEvent(), kNotRegistered);
        EXPECT_EQ(events.RegisterGPIOWMIEvent(), kNotRegistered);
        ASSERT_TRUE(events.UsbCEvent() && events.GpioEvent());
        EXPECT_TRUE(events.UsbCEvent()->HoldsServices()) << "connected, then stopped: half-set";
        EXPECT_FALSE(events.UsbCEvent()->HoldsSink());
    }
    const auto lines = ProcessLogLines(Shared::TraceIn);
    const auto has = [&](const std::wstring& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    const std::wstring events = L"Notifications::ArvekWmiEvents::";
    const std::wstring step = L"CoCreateInstance(IID_IUnsecuredApartment) failed: 0x80040154";
    // Five kinds with a firmware event id, and the adapter's unless held back.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"Information " + events + L"WmiEvent::Register : " + step),
              adapterHeldBack ? 5 : 6);
    EXPECT_TRUE(has(L"Information " + events + L"PublicWmiEvent::RegisterPublicWMIEvent : " + step));
    EXPECT_TRUE(has(L"Verbose " + events + L"WmiEvent::Register : ConnectServer succeeded"));
    EXPECT_TRUE(has(L"Verbose " + events + L"WmiEvent::Register : CoSetProxyBlanket succeeded"));
    EXPECT_TRUE(has(L"Information " + events +
                    L"CArvekWmiEvents::RegisterUSBCWMIEvent : Failed to register for USB Type-C event, [hr:0x80040154]"));
    EXPECT_TRUE(has(L"Verbose " + events +
                    L"CArvekWmiEvents::RegisterTarnwallEvent : Failed to register for Tarnwall event, [hr:0x80040154]"));
    EXPECT_TRUE(has(L"Verbose " + events +
                    L"CArvekWmiEvents::RegisterFirmwareWMIEvent : Failed to register for Firmware event, [hr:0x80040154]"));
    EXPECT_TRUE(has(L"Verbose " + events +
                    L"CArvekWmiEvents::RegisterPrivacyPanelWMIEvent : Failed to register for Firmware event, "
                    L"[hr:0x80040154]"));
    EXPECT_TRUE(has(L"Verbose " + events +
                    L"CArvekWmiEvents::RegisterFirmwareRuntimeWMIEvent : Failed to register for Firmware Runtime "
                    L"event, [hr:0x80040154]"));
    EXPECT_TRUE(has(L"Verbose " + events +
                    L"CArvekWmiEvents::RegisterGPIOWMIEvent : Failed to register for GPIO event, [hr:0x80040154]"));
    // Nothing was subscribed, so the destruction cancels nothing.
    EXPECT_FALSE(std::any_of(lines.begin(), lines.end(),
                             [](const std::wstring& line) { return line.find(L"CancelAsyncCall") != std::wstring::npos; }));
}

}  // namespace
}  // namespace Arvek::Testing
