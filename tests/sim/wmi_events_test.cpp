// The firmware's WMI events on the simulated notebook: the subscriptions
// (every step, every state), their sinks, the firmware-event object's seven
// registrations, and the processing of the smart adapter's and the USB
// Type-C events.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "agent/core/globals.h"
#include "agent/wmi_events/arvek_wmi_events.h"
#include "agent/wmi_events/wmi_event.h"
#include "process_log.h"
#include "common/format.h"
#include "common/strings.h"
#include "sim/os/reg_file.h"
#include "sim_fixture.h"

namespace {

using Arvek::HRESULT;
using Arvek::Variant;
using Arvek::Sim::FirmwareWmi;
using Arvek::Sim::SimWmi;
using Arvek::Testing::ProcessLogged;
using Arvek::Testing::ProcessLogLines;
using Arvek::Testing::SimNotebook;
using Notifications::ArvekWmiEvents::CArvekWmiEvents;
using Notifications::ArvekWmiEvents::PublicWmiEvent;
using Notifications::ArvekWmiEvents::WmiEvent;
using testing::Contains;
using testing::ElementsAre;
using testing::Not;

constexpr char kEvents[] = "Notifications::ArvekWmiEvents::";

std::wstring Line(const char* level, const std::string& function, const std::wstring& text) {
    return Arvek::WidenUtf8(std::string(level) + " " + kEvents + function + " : ") + text;
}

// The image is complete, the platform component answers what the case says.
std::string Notebook(const std::string& tolm, const std::string& machine = "") {
    return "[machine]\n" + machine +
           "[registry]\nWindows Registry Editor Version 5.00\n\n" + Arvek::Testing::kImageCompleteReg +
           "[tolm]\n" + tolm;
}

SimWmi::Event Bios(std::vector<std::pair<std::wstring, Variant>> properties) {
    return {L"arqBEvnt", {std::move(properties)}};
}
SimWmi::Event UsbC(Variant data) { return Bios({{L"EventID", Variant::I4(131073)}, {L"EventData", std::move(data)}}); }

// A notebook and the agent's firmware-event object on it.
struct Events {
    explicit Events(const std::string& scenario) : notebook(scenario) {
        Arvek::Testing::ClearProcessLog();
        globals.g_hInstance = 0x400000;
        events.emplace(Platform(), globals);
    }
    Arvek::Ports::Platform& Platform() { return notebook.machine.Platform(); }
    SimWmi& Wmi() { return notebook.machine.Wmi(); }
    std::size_t Raise(std::vector<SimWmi::Event> raised) { return notebook.machine.FirmwareEvents().Raise(std::move(raised)); }
    std::vector<std::wstring> Toasts() {
        std::vector<std::wstring> texts;
        for (const auto& toast : notebook.machine.Toasts().ShownToasts()) texts.push_back(toast.texts[1]);
        return texts;
    }
    std::vector<std::wstring> Wmi(const char*) { return notebook.machine.Log().Texts("wmi"); }
    std::wstring Text(std::uint32_t id) { return Platform().resources.LoadText(id, 260); }

    SimNotebook notebook;
    Notifications::Tidewatch::AgentGlobals globals;
    std::optional<CArvekWmiEvents> events;
};

const std::string kComponent = "Platform.MachineID = string 1234\n";

// --- the subscriptions -------------------------------------------------------------

TEST(WmiSubscription, RegistersOnceAndUnregistersFromEveryState) {
    Events e(Notebook(kComponent));
    WmiEvent subscription(e.Platform());
    EXPECT_EQ(subscription.Unregister(), Arvek::kS_OK) << "idle: nothing to cancel";

    EXPECT_EQ(subscription.Register(21, &*e.events, nullptr), Arvek::kE_INVALIDARG);
    EXPECT_TRUE(ProcessLogged(Line("Information", "WmiEvent::Register", L"Callback function is null")));
    EXPECT_FALSE(subscription.HoldsServices());
    EXPECT_TRUE(e.Wmi().NotificationQueries().empty());

    ASSERT_EQ(subscription.Register(21, &*e.events, &CArvekWmiEvents::ProcessFirmwareEvent), Arvek::kS_OK);
    EXPECT_TRUE(subscription.HoldsServices() && subscription.HoldsSink());
    EXPECT_EQ(e.Wmi().NotificationQueries(), std::vector<std::wstring>{L"SELECT * FROM arqBEvnt WHERE EventID = 21"});
    EXPECT_TRUE(ProcessLogged(Line("TraceOut", "WmiEvent::Register", L"hr: 0x00000000")));
    for (const wchar_t* step : {L"CoCreateInstance(IID_IWbemLocator) succeeded", L"ConnectServer succeeded",
                                L"CoSetProxyBlanket succeeded", L"CoCreateInstance(IID_IUnsecuredApartment) succeeded",
                                L"CreateObjectStub succeeded", L"ExecNotificationQueryAsync succeeded"})
        EXPECT_TRUE(ProcessLogged(Line("Verbose", "WmiEvent::Register", step))) << step;

    // A second registration leaves the first as it is.
    EXPECT_EQ(subscription.Register(22, &*e.events, &CArvekWmiEvents::ProcessFirmwareEvent), Arvek::kE_FAIL);
    EXPECT_TRUE(ProcessLogged(Line("Information", "WmiEvent::Register", L"IWbemServices object already created.")));
    EXPECT_EQ(e.Wmi().Subscriptions(), 1u);

    // The form without parameters subscribes for the smart adapter's id.
    WmiEvent adapter(e.Platform());
    ASSERT_EQ(adapter.Register(&*e.events, &CArvekWmiEvents::ProcessSmartAdapterEvent), Arvek::kS_OK);
    EXPECT_EQ(e.Wmi().NotificationQueries().back(), L"SELECT * FROM arqBEvnt WHERE EventID = 3");

    // Unregistering cancels; WMI tells the sink the call was cancelled.
    Arvek::Testing::ClearProcessLog();
    EXPECT_EQ(subscription.Unregister(), Arvek::kS_OK);
    EXPECT_FALSE(subscription.HoldsServices() || subscription.HoldsSink());
    EXPECT_TRUE(ProcessLogged(Line("Verbose", "WmiEvent::Unregister", L"CancelAsyncCall returned: 0x00000000")));
    EXPECT_TRUE(ProcessLogged(
        Line("TraceIn", "WmiEventSink::SetStatus", L"hResult: 0x80041032, lFlags: 0x00000000 (WBEM_STATUS_COMPLETE)")));
    EXPECT_TRUE(ProcessLogged(Line("TraceOut", "WmiEvent::Unregister", L"hr: 0x00000000")));
    EXPECT_EQ(e.Wmi().Subscriptions(), 1u);
    EXPECT_EQ(adapter.Unregister(), Arvek::kS_OK);
    EXPECT_EQ(e.Wmi().Subscriptions(), 0u);
}

// Every step can fail on its own: its text and HRESULT at Information, and
// what is held afterwards (the services from the connection on).
TEST(WmiSubscription, EachFailingStepSaysSoAndKeepsWhatItHad) {
    const struct {
        const char* step;
        const wchar_t* text;
        bool services, sink;
    } cases[] = {
        {"wmi.create-locator", L"CoCreateInstance(IID_IWbemLocator) failed: 0x80070005", false, false},
        {"wmi.connect", L"ConnectServer failed: 0x80070005", false, false},
        {"wmi.proxy-blanket", L"CoSetProxyBlanket failed: 0x80070005", true, false},
        {"wmi.unsecured-apartment", L"CoCreateInstance(IID_IUnsecuredApartment) failed: 0x80070005", true, false},
        {"wmi.create-stub", L"CreateObjectStub failed: 0x80070005", true, false},
        {"wmi.query-sink", L"QueryInterface failed: 0x80070005", true, false},
        {"wmi.exec-notification", L"ExecNotificationQueryAsync failed: 0x80070005", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        Events e(Notebook(kComponent));
        e.notebook.machine.Faults().Fail(c.step, Arvek::kE_ACCESSDENIED);
        WmiEvent subscription(e.Platform());
        EXPECT_EQ(subscription.Register(21, &*e.events, &CArvekWmiEvents::ProcessFirmwareEvent), Arvek::kE_ACCESSDENIED);
        EXPECT_TRUE(ProcessLogged(Line("Information", "WmiEvent::Register", c.text)));
        EXPECT_EQ(subscription.HoldsServices(), c.services);
        EXPECT_EQ(subscription.HoldsSink(), c.sink);
        // Half-set is not Idle: a new registration is refused until Unregister.
        if (c.services) {
            EXPECT_EQ(subscription.Register(21, &*e.events, &CArvekWmiEvents::ProcessFirmwareEvent), Arvek::kE_FAIL);
        }
        e.notebook.machine.Faults().Heal(c.step);
        subscription.Unregister();
        EXPECT_EQ(subscription.Register(21, &*e.events, &CArvekWmiEvents::ProcessFirmwareEvent), Arvek::kS_OK);
        subscription.Unregister();
    }
}

// While the Windows image is being set up the query may fail: logged lower.
TEST(WmiSubscription, AFailedQueryDuringImageSetUpIsLoggedAtVerbose) {
    Events e("[tolm]\n" + kComponent);  // no image state: not complete
    e.notebook.machine.Faults().Fail("wmi.exec-notification", Arvek::MakeHr(0x80041001u));
    WmiEvent subscription(e.Platform());
    EXPECT_EQ(subscription.Register(21, &*e.events, &CArvekWmiEvents::ProcessFirmwareEvent), Arvek::MakeHr(0x80041001u));
    EXPECT_TRUE(ProcessLogged(Line("Verbose", "WmiEvent::Register",
                                   L"ExecNotificationQueryAsync failed, Ignoring since still unbundling: 0x80041001")));
    subscription.Unregister();
}

// The public class's query names the class and nothing else, cut to 63
// characters.
TEST(WmiSubscription, ThePublicClassIsAskedForWholeAndTheQueryCutAt63) {
    Events e(Notebook(kComponent));
    PublicWmiEvent subscription(e.Platform());
    EXPECT_EQ(subscription.RegisterEvent(L"ARVEKBIOS_BIOSEvent", &*e.events, nullptr), Arvek::kE_INVALIDARG);
    ASSERT_EQ(subscription.RegisterEvent(L"ARVEKBIOS_BIOSEvent", &*e.events, &CArvekWmiEvents::ProcessWMIEvent),
              Arvek::kS_OK);
    EXPECT_EQ(subscription.RegisterEvent(L"ARVEKBIOS_BIOSEvent", &*e.events, &CArvekWmiEvents::ProcessWMIEvent),
              Arvek::kE_FAIL);
    subscription.Unregister();

    PublicWmiEvent longer(e.Platform());
    const std::wstring name(60, L'N');
    EXPECT_EQ(longer.RegisterEvent(name, &*e.events, &CArvekWmiEvents::ProcessWMIEvent), Arvek::MakeHr(0x80041010u));
    EXPECT_EQ(e.Wmi().NotificationQueries(),
              (std::vector<std::wstring>{L"SELECT * FROM ARVEKBIOS_BIOSEvent", L"SELECT * FROM " + name.substr(0, 49)}));
    longer.Unregister();
}

// --- the sinks --------------------------------------------------------------------

// One handler call per object, in order; without "EventData" a handler with
// parameters is not called, one without is; an unreadable "EventID" is 0.
TEST(WmiSinks, ABatchReachesTheHandlerObjectByObject) {
    Events e(Notebook(kComponent + "SmartAdapter.Supported = bool true\nSmartAdapter.Status = i4 1\n"));
    ASSERT_EQ(e.events->RegisterUSBCWMIEvent(L""), Arvek::kS_OK);
    ASSERT_EQ(e.events->RegisterSmartAdapterEvent(L""), Arvek::kS_OK);
    Arvek::Testing::ClearProcessLog();
    EXPECT_EQ(e.Raise({UsbC(Variant::I4(2)), Bios({{L"EventID", Variant::I4(131073)}}), UsbC(Variant::I4(0x1FF)),
                       Bios({{L"EventID", Variant::I4(3)}}), Bios({{L"EventData", Variant::I4(7)}})}),
              2u);
    std::vector<std::wstring> ports, adapter;
    for (const auto& line : ProcessLogLines()) {
        if (line.find(L"USB Type-C event for iPortID") != std::wstring::npos) ports.push_back(line);
        if (line.find(L"SmartAdapterData") != std::wstring::npos) adapter.push_back(line);
    }
    const std::wstring usbc = Line("Verbose", "CArvekWmiEvents::ProcessUSBCWMIEvent", L"USB Type-C event for iPortID: ");
    EXPECT_EQ(ports, (std::vector<std::wstring>{usbc + L"2.", usbc + L"255."}));
    EXPECT_EQ(adapter.size(), 1u) << "the smart adapter's event, without data";
    EXPECT_TRUE(ProcessLogged(Line("Verbose", "WmiEventSink::Indicate", L"Event ID: 131073")));
    EXPECT_TRUE(ProcessLogged(Line("Verbose", "WmiEventSink::Indicate", L"Event data: 511")));
}

// Firmware data is untrusted: any type tag, a null string, a missing or
// unreadable id; nothing crashes and the handler sees the low bits.
TEST(WmiSinks, EventDataOfAnyTypeIsTakenByItsLowBits) {
    Events e(Notebook(kComponent));
    ASSERT_EQ(e.events->RegisterUSBCWMIEvent(L""), Arvek::kS_OK);
    const Variant odd[] = {Variant::Bstr(L"255"), Variant::Empty(), Variant::Raw(Arvek::kVT_BSTR, 0),
                           Variant::Raw(Arvek::kVT_R8, 0x4070000000000000ull), Variant::Raw(Arvek::kVT_NULL, 0)};
    for (const auto& data : odd) {
        Arvek::Testing::ClearProcessLog();
        EXPECT_EQ(e.Raise({UsbC(data)}), 1u);
        EXPECT_TRUE(ProcessLogged(Line("Verbose", "CArvekWmiEvents::ProcessUSBCWMIEvent",
                                       L"USB Type-C event for iPortID: 0.")))
            << data.vt;
    }
    // An id read as text cannot be the USB Type-C id: refused by its handler.
    Arvek::Testing::ClearProcessLog();
    EXPECT_EQ(e.Raise({Bios({{L"EventID", Variant::Bstr(L"131073")}, {L"EventData", Variant::I4(1)}})}), 0u)
        << "a text id does not match the subscription's filter";
}

// A huge batch is one delivery, handled object by object.
TEST(WmiSinks, AHugeBatchIsHandledWhole) {
    Events e(Notebook(kComponent, "") + "\n");
    e.notebook.machine.Registry().Import(Arvek::Sim::ParseRegText(
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Arvek\\Arvek Notifications]\n"
        "\"SuppressUsbCBiosNotifications\"=\"true\"\n",
        "policy.reg", 1));
    ASSERT_EQ(e.events->RegisterUSBCWMIEvent(L""), Arvek::kS_OK);
    std::vector<SimWmi::Event> batch(5000, UsbC(Variant::I4(1)));
    Arvek::Testing::ClearProcessLog();
    EXPECT_EQ(e.Raise(batch), 1u);
    const auto lines = ProcessLogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         Line("Verbose", "CArvekWmiEvents::ProcessUSBCWMIEvent", L"USB Type-C event for iPortID: 1.")),
              5000);
}

TEST(WmiSinks, SetStatusOnlyLogsItsFlags) {
    const struct {
        std::int32_t flags;
        const wchar_t* label;
    } cases[] = {{0, L"WBEM_STATUS_COMPLETE"}, {2, L"WBEM_STATUS_COMPLETE"}, {1, L"?"}, {-1, L"?"}};
    for (const auto& c : cases) {
        Arvek::Testing::ClearProcessLog();
        Notifications::ArvekWmiEvents::WmiEventSink sink(nullptr, nullptr, &CArvekWmiEvents::ProcessFirmwareEvent);
        EXPECT_EQ(sink.SetStatus(c.flags, Arvek::kE_FAIL, std::wstring(L"x"), nullptr), 0);
        EXPECT_TRUE(ProcessLogged(Line("TraceIn", "WmiEventSink::SetStatus",
                                       Arvek::Format(L"hResult: 0x80004005, lFlags: 0x%08X (%s)",
                                                     static_cast<std::uint32_t>(c.flags), c.label))));
    }
}

// Each instance of the public class reaches the handler with its own class
// name and description; without a description it does not, nor with a
// class name that cannot be read as text; the class name's case does not
// matter.
TEST(WmiSinks, PublicEventsReachTheHandlerEachWithItsOwnText) {
    Events e(Notebook(kComponent + "F10Setting.WMIEvents.Enabled = bool true\n"));
    ASSERT_EQ(e.events->RegisterGPIOWMIEvent(), Arvek::kS_OK);
    const auto Public = [](std::vector<std::pair<std::wstring, Variant>> p, const wchar_t* cls = L"ARVEKBIOS_BIOSEvent") {
        return SimWmi::Event{cls, {std::move(p)}};
    };
    EXPECT_EQ(e.Raise({Public({{L"Description", Variant::Bstr(L"Fan 2 failed")}}),
                       Public({{L"Description", Variant::Bstr(L"Lid sensor")}}), Public({}),
                       Public({{L"__Class", Variant::Raw(Arvek::kVT_NULL, 0)}, {L"Description", Variant::Bstr(L"x")}}),
                       Public({{L"Description", Variant::Bstr(L"Case")}}, L"arvekbios_BIOSEVENT"),
                       Public({{L"Description", Variant::I4(5)}})}),
              1u);
    EXPECT_EQ(e.Toasts(), (std::vector<std::wstring>{L"Fan 2 failed", L"Lid sensor", L"Case", L""}));
    EXPECT_TRUE(ProcessLogged(Line("Information", "PublicWMIEventSink::Indicate",
                                   L"The class name of type 1 cannot be read as text; the event is not handled")));
    EXPECT_TRUE(ProcessLogged(Line("Verbose", "PublicWMIEventSink::Indicate", L"Event Name : arvekbios_BIOSEVENT")));
}

// A firmware event raised while the main thread waits in a loop of its own
// (a dialog's) is delivered inside that loop.
TEST(WmiSinks, AnEventArrivesInsideANestedLoop) {
    Events e(Notebook(kComponent) + "[timeline]\n1s post WM_APP+1\n2s wmi-event arqBEvnt EventID=i4 131073 EventData=i4 4\n"
                                    "3s post WM_APP+2\n");
    ASSERT_EQ(e.events->RegisterUSBCWMIEvent(L""), Arvek::kS_OK);
    auto& windowing = e.notebook.machine.Windowing();
    int depth = 0, depthAtEvent = -1;
    bool answered = false;
    windowing.RegisterWindowClass({L"Dialog", 0,
                                   [&](Arvek::Ports::WindowHandle, std::uint32_t message, std::uintptr_t, std::intptr_t) {
                                       if (message == Arvek::Ports::kWM_APP + 1) {
                                           ++depth;
                                           Arvek::Ports::Message next;
                                           while (!answered && windowing.GetNextMessage(next) > 0) {
                                               windowing.Dispatch(next);
                                               if (depthAtEvent < 0 && ProcessLogged(Line("Verbose", "CArvekWmiEvents::ProcessUSBCWMIEvent", L"USB Type-C event for iPortID: 4.")))
                                                   depthAtEvent = depth;
                                           }
                                           --depth;
                                       }
                                       if (message == Arvek::Ports::kWM_APP + 2) answered = true;
                                       return std::intptr_t{0};
                                   },
                                   true, 0});
    windowing.CreateMainWindow(0, L"Dialog", L"", 0);
    Arvek::Ports::Message next;
    while (windowing.GetNextMessage(next) > 0) windowing.Dispatch(next);
    EXPECT_EQ(depthAtEvent, 1);
}

// --- the registrations --------------------------------------------------------------

// Each kind's subscription, gated by the platform component.
TEST(WmiRegistrations, EveryKindSubscribesToItsOwnEvent) {
    Events e(Notebook(kComponent + "SmartAdapter.Supported = bool true\n"));
    EXPECT_EQ(e.notebook.machine.Com().Balance(), 1) << "the constructor entered the apartment";
    EXPECT_EQ(e.events->RegisterSmartAdapterEvent(L"C:\\a.ico"), Arvek::kS_OK);
    EXPECT_EQ(e.events->RegisterUSBCWMIEvent(L"C:\\b.ico"), Arvek::kS_OK);
    EXPECT_EQ(e.events->RegisterTarnwallEvent(L""), Arvek::kS_OK);
    EXPECT_EQ(e.events->RegisterFirmwareWMIEvent(), Arvek::kS_OK);
    EXPECT_EQ(e.events->RegisterPrivacyPanelWMIEvent(), Arvek::kS_OK);
    EXPECT_EQ(e.events->RegisterFirmwareRuntimeWMIEvent(), Arvek::kS_OK);
    EXPECT_EQ(e.events->RegisterGPIOWMIEvent(), Arvek::kS_OK);
    EXPECT_EQ(e.events->IconPath(), L"");
    EXPECT_EQ(e.Wmi().NotificationQueries(),
              (std::vector<std::wstring>{L"SELECT * FROM arqBEvnt WHERE EventID = 3",
                                         L"SELECT * FROM arqBEvnt WHERE EventID = 131073",
                                         L"SELECT * FROM arqBEvnt WHERE EventID = 131074",
                                         L"SELECT * FROM arqBEvnt WHERE EventID = 21",
                                         L"SELECT * FROM arqBEvnt WHERE EventID = 20",
                                         L"SELECT * FROM arqBEvnt WHERE EventID = 33",
                                         L"SELECT * FROM ARVEKBIOS_BIOSEvent"}));
    EXPECT_TRUE(ProcessLogged(Line("Verbose", "CArvekWmiEvents::RegisterUSBCWMIEvent", L"Register for USB Type-C event passed.")));
    EXPECT_EQ(e.Wmi().Subscriptions(), 7u);

    // Going, it cancels them in its own order and leaves the apartment.
    e.events.reset();
    EXPECT_EQ(e.Wmi().Subscriptions(), 0u);
    std::vector<std::wstring> cancelled;
    for (const auto& line : e.Wmi(""))
        if (line.starts_with(L"cancelled: ")) cancelled.push_back(line.substr(11));
    EXPECT_EQ(cancelled, (std::vector<std::wstring>{L"SELECT * FROM arqBEvnt WHERE EventID = 3",
                                                    L"SELECT * FROM arqBEvnt WHERE EventID = 131074",
                                                    L"SELECT * FROM arqBEvnt WHERE EventID = 131073",
                                                    L"SELECT * FROM arqBEvnt WHERE EventID = 21",
                                                    L"SELECT * FROM arqBEvnt WHERE EventID = 20",
                                                    L"SELECT * FROM arqBEvnt WHERE EventID = 33",
                                                    L"SELECT * FROM ARVEKBIOS_BIOSEvent"}));
    EXPECT_EQ(e.notebook.machine.Com().Balance(), 0);
}

// Each kind's failure text, at its level; the privacy panel's are the
// firmware event's.
TEST(WmiRegistrations, AFailedSubscriptionIsLoggedWithTheKindsText) {
    Events e(Notebook(kComponent + "SmartAdapter.Supported = bool true\n"));
    e.notebook.machine.Faults().Fail("wmi.exec-notification", Arvek::MakeHr(0x80041001u));
    const struct {
        HRESULT (CArvekWmiEvents::*registration)();
        const char* function;
        const char* level;
        const wchar_t* text;
    } cases[] = {
        {&CArvekWmiEvents::RegisterFirmwareWMIEvent, "RegisterFirmwareWMIEvent", "Verbose",
         L"Failed to register for Firmware event, [hr:0x80041001]"},
        {&CArvekWmiEvents::RegisterPrivacyPanelWMIEvent, "RegisterPrivacyPanelWMIEvent", "Verbose",
         L"Failed to register for Firmware event, [hr:0x80041001]"},
        {&CArvekWmiEvents::RegisterFirmwareRuntimeWMIEvent, "RegisterFirmwareRuntimeWMIEvent", "Verbose",
         L"Failed to register for Firmware Runtime event, [hr:0x80041001]"},
        {&CArvekWmiEvents::RegisterGPIOWMIEvent, "RegisterGPIOWMIEvent", "Verbose",
         L"Failed to register for GPIO event, [hr:0x80041001]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(((*e.events).*c.registration)(), Arvek::MakeHr(0x80041001u));
        EXPECT_TRUE(ProcessLogged(Line(c.level, std::string("CArvekWmiEvents::") + c.function, c.text))) << c.function;
    }
    EXPECT_EQ(e.events->RegisterUSBCWMIEvent(L""), Arvek::MakeHr(0x80041001u));
    EXPECT_TRUE(ProcessLogged(Line("Information", "CArvekWmiEvents::RegisterUSBCWMIEvent",
                                   L"Failed to register for USB Type-C event, [hr:0x80041001]")));
    EXPECT_EQ(e.events->RegisterTarnwallEvent(L""), Arvek::MakeHr(0x80041001u));
    EXPECT_TRUE(ProcessLogged(Line("Verbose", "CArvekWmiEvents::RegisterTarnwallEvent",
                                   L"Failed to register for Tarnwall event, [hr:0x80041001]")));
    EXPECT_EQ(e.events->RegisterSmartAdapterEvent(L""), Arvek::MakeHr(0x80041001u));
    EXPECT_TRUE(ProcessLogged(Line("Verbose", "CArvekWmiEvents::RegisterSmartAdapterEvent",
                                   L"Failed to register for smart adapter event, [hr:0x80041001]")));
}

// Without the platform component only the public class is subscribed; the
// gated kinds return the creation's HRESULT and log nothing of their own.
TEST(WmiRegistrations, WithoutThePlatformComponentOnlyThePublicClassIsSubscribed) {
    Events e("[machine]\n");
    EXPECT_EQ(e.events->RegisterSmartAdapterEvent(L""), Arvek::kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(e.events->RegisterUSBCWMIEvent(L""), Arvek::kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(e.events->RegisterTarnwallEvent(L""), Arvek::kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(e.events->RegisterFirmwareWMIEvent(), Arvek::kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(e.events->RegisterPrivacyPanelWMIEvent(), Arvek::kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(e.events->RegisterFirmwareRuntimeWMIEvent(), Arvek::kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(e.events->RegisterGPIOWMIEvent(), Arvek::kS_OK);
    EXPECT_EQ(e.Wmi().NotificationQueries(), std::vector<std::wstring>{L"SELECT * FROM ARVEKBIOS_BIOSEvent"});
    for (const auto& line : ProcessLogLines()) EXPECT_EQ(line.find(L"Failed to register"), std::wstring::npos) << line;
}

// The smart adapter's gate: the platform generation, then the component's
// answer (its 16-bit boolean, the type not looked at).
TEST(WmiRegistrations, TheSmartAdapterIsSubscribedOnlyWhereItIsSupported) {
    const struct {
        const char* name;
        std::string machine, tolm;
        HRESULT hr;
        bool subscribed, suppressed;
        const char* level;
        const wchar_t* logged;
    } cases[] = {
        {"a 2025 platform", "bios-version = Z0.1\n", kComponent + "SmartAdapter.Supported = bool true\n", Arvek::kS_OK,
         false, true, "Information", L"Supress smart adaptor notification in gen 2025 and above."},
        {"supported", "", kComponent + "SmartAdapter.Supported = bool true\n", Arvek::kS_OK, true, false, nullptr, nullptr},
        {"not supported", "", kComponent + "SmartAdapter.Supported = bool false\n", Arvek::kS_OK, false, false, nullptr,
         nullptr},
        {"an integer 1", "", kComponent + "SmartAdapter.Supported = i4 1\n", Arvek::kS_OK, false, false, nullptr, nullptr},
        {"a boolean under another tag", "", kComponent + "SmartAdapter.Supported = raw 0x0003 0xFFFF\n", Arvek::kS_OK,
         true, false, nullptr, nullptr},
        {"an unknown command", "", kComponent, Arvek::kE_INVALID_COMMAND, false, false, "Information",
         L"Invalid Command SmartAdapter.Supported. hr = 0x80000003"},
        {"a failing command", "", kComponent + "SmartAdapter.Supported = fails 0x80004005\n", Arvek::kE_FAIL, false,
         false, "Information", L"Exception occurred when calling SmartAdapter.Supported, [hr:0x80004005]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Events e(Notebook(c.tolm, c.machine));
        EXPECT_EQ(e.events->RegisterSmartAdapterEvent(L""), c.hr);
        EXPECT_EQ(e.Wmi().Subscriptions(), c.subscribed ? 1u : 0u);
        EXPECT_EQ(e.events->SuppressesAdaptorNotification(), c.suppressed);
        if (c.suppressed) {
            EXPECT_TRUE(e.notebook.machine.Tolm().Calls().empty()) << "no command runs";
        }
        if (c.logged) {
            EXPECT_TRUE(ProcessLogged(Line(c.level, "CArvekWmiEvents::RegisterSmartAdapterEvent", c.logged)));
        }
    }
}

// --- the smart adapter's and the USB Type-C events --------------------------------------

TEST(SmartAdapterEvent, TheFourStatesShowTheirTextsAndOthersNothing) {
    const struct {
        int status;
        std::uint32_t text;
    } cases[] = {{2, 501}, {3, 502}, {4, 503}, {5, 528}, {1, 0}, {6, 0}, {-1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        Events e(Notebook(kComponent + "SmartAdapter.Status = i4 " + std::to_string(c.status) + "\n"));
        EXPECT_EQ(e.events->ProcessSmartAdapterEvent(), Arvek::kS_OK);
        EXPECT_EQ(e.Toasts(), c.text ? std::vector<std::wstring>{e.Text(c.text)} : std::vector<std::wstring>{});
        if (c.text) {
            EXPECT_EQ(e.notebook.machine.Toasts().ShownToasts()[0].texts[0], L"Arvek Notifications");
            EXPECT_TRUE(ProcessLogged(Line("Information", "CArvekWmiEvents::ProcessSmartAdapterEvent",
                                           L"szStatus: " + e.Text(c.text))));
        }
        EXPECT_TRUE(ProcessLogged(Line("Verbose", "CArvekWmiEvents::ProcessSmartAdapterEvent",
                                       L"SmartAdapterData: " + std::to_wstring(c.status))));
    }
}

// What keeps the adapter's toast from being shown, and what the operation
// then returns and logs.
TEST(SmartAdapterEvent, SuppressionAndFailuresShowNothing) {
    const std::string policy =
        "[registry]\nWindows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Arvek\\Arvek Notifications]\n";
    const struct {
        const char* name;
        std::string scenario;
        HRESULT hr;
        const char* level;
        const wchar_t* logged;
        bool commandRuns;
    } cases[] = {
        {"all notifications suppressed",
         "[machine]\n" + policy + "\"SuppressAllNotifications\"=\"true\"\n[tolm]\n" + kComponent +
             "SmartAdapter.Status = i4 2\n",
         Arvek::kS_OK, "Verbose", L"Notifications are suppressed", false},
        {"adapter notifications suppressed",
         "[machine]\n" + policy + "\"SuppressSmartAdapterNotifications\"=\"TRUE\"\n[tolm]\n" + kComponent +
             "SmartAdapter.Status = i4 2\n",
         Arvek::kS_OK, "Verbose", L"Notifications are suppressed", false},
        {"an unknown command", Notebook(kComponent), Arvek::kE_INVALID_COMMAND, "Information",
         L"Invalid Command SmartAdapter.Status. hr = 0x80000003", true},
        {"no component", "[machine]\n", Arvek::kE_POINTER, "Information",
         L"Exception occurred when calling SmartAdapter.Status, [hr:0x80004003]", false},
        {"no notification component",
         Notebook("create-notification = fails 0x80040154\n" + kComponent + "SmartAdapter.Status = i4 3\n"),
         Arvek::kREGDB_E_CLASSNOTREG, "Information", L"Failed to CreateInstance of TolmNotification, hr = 0x80040154",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Events e(c.scenario);
        EXPECT_EQ(e.events->ProcessSmartAdapterEvent(), c.hr);
        EXPECT_TRUE(e.Toasts().empty());
        EXPECT_TRUE(ProcessLogged(Line(c.level, "CArvekWmiEvents::ProcessSmartAdapterEvent", c.logged)));
        EXPECT_EQ(!e.notebook.machine.Tolm().Calls().empty(), c.commandRuns);
    }
    // On a 2025 platform the adapter's flag keeps the command from running.
    Events z(Notebook(kComponent + "SmartAdapter.Supported = bool true\nSmartAdapter.Status = i4 2\n",
                      "bios-version = Z1.0\n"));
    z.events->RegisterSmartAdapterEvent(L"");
    EXPECT_EQ(z.events->ProcessSmartAdapterEvent(), Arvek::kS_OK);
    EXPECT_TRUE(z.notebook.machine.Tolm().Calls().empty());
}

TEST(UsbCEvent, ThePortComesFromTheLowByteAndItsMessagesAreShown) {
    Events e(Notebook(kComponent + "Platform.USBC.Supported = bool true\n"
                                   "Platform.USBC.Messages(255) = text <<END\n"
                                   "<GetUsbCMessagesOutput><Output><Data><NumberOfPorts>1</NumberOfPorts><Port0>"
                                   "<NumberOfMessages>1</NumberOfMessages><Message0><MessageId>2</MessageId></Message0>"
                                   "</Port0></Data></Output></GetUsbCMessagesOutput>\nEND\n"));
    const Variant data = Variant::I4(0x1FF);
    EXPECT_EQ(e.events->ProcessUSBCWMIEvent(131073, &data), Arvek::kS_OK);
    EXPECT_EQ(e.Toasts(), std::vector<std::wstring>{e.Text(517)});
    EXPECT_EQ(e.notebook.machine.Com().Balance(), 1) << "the event's own handler balanced its apartment";

    EXPECT_EQ(e.events->ProcessUSBCWMIEvent(131074, &data), Arvek::kE_INVALIDARG);
    EXPECT_EQ(e.events->ProcessUSBCWMIEvent(131073, nullptr), Arvek::kE_INVALIDARG);
    EXPECT_TRUE(ProcessLogged(Line("Verbose", "CArvekWmiEvents::ProcessUSBCWMIEvent",
                                   L"Not an event with USBC event id. should not see this.")));
}

TEST(UsbCEvent, SuppressedUsbCBiosNotificationsOnlyLogThePort) {
    Events e(std::string("[machine]\n[registry]\nWindows Registry Editor Version 5.00\n\n"
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Arvek\\Arvek Notifications]\n"
                         "\"SuppressUsbCBiosNotifications\"=\"true\"\n[tolm]\n") +
             kComponent);
    const Variant data = Variant::I4(7);
    EXPECT_EQ(e.events->ProcessUSBCWMIEvent(131073, &data), Arvek::kS_OK);
    EXPECT_TRUE(ProcessLogged(Line("Verbose", "CArvekWmiEvents::ProcessUSBCWMIEvent", L"USB Type-C event for iPortID: 7.")));
    EXPECT_TRUE(e.notebook.machine.Tolm().Calls().empty());
}

}  // namespace
