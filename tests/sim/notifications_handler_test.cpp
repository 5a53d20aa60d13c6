// The USB Type-C notifications handler on the simulated notebook: what Init
// learns from the platform component and the BIOS version, which firmware
// messages become which toasts, and what holds them back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "agent/usbc/notifications_handler.h"
#include "common/strings.h"
#include "process_log.h"
#include "sim_fixture.h"

namespace {

using Arvek::Testing::SimNotebook;
using Notifications::Tidewatch::CNotificationsHandler;
using Notifications::Tidewatch::HoldsBackAdapterMessages;
using Notifications::Tidewatch::TextOfMessage;

// A "[tolm]" answer line for Platform.USBC.Messages(port): one port whose
// messages have these ids.
std::string MessagesLine(int port, const std::vector<int>& ids) {
    std::string messages;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        messages += "<Message" + std::to_string(i) + "><MessageId>" + std::to_string(ids[i]) +
                    "</MessageId><Valid>true</Valid></Message" + std::to_string(i) + ">";
    }
    return "Platform.USBC.Messages(" + std::to_string(port) + ") = text <<XML\n"
           "<GetUsbCMessagesOutput><Output><Data><NumberOfPorts>1</NumberOfPorts><Port0><NumberOfMessages>" +
           std::to_string(ids.size()) + "</NumberOfMessages>" + messages +
           "</Port0></Data></Output></GetUsbCMessagesOutput>\nXML\n";
}

// A notebook with the component's answers and the BIOS version, and a
// handler made the agent's way: COM initialised first, Init once.
struct Handler {
    explicit Handler(const std::string& tolm, const std::string& machine = "")
        : notebook("[machine]\n" + machine + "[tolm]\n" + tolm) {
        Arvek::Testing::ClearProcessLog();
        Platform().com.InitializeThread(Arvek::Ports::kCOINIT_APARTMENTTHREADED);
        handler.emplace(Platform());
        handler->Init();
    }
    Arvek::Ports::Platform& Platform() { return notebook.machine.Platform(); }
    // The text of each toast shown, in order.
    std::vector<std::wstring> ToastTexts() {
        std::vector<std::wstring> texts;
        for (const auto& toast : notebook.machine.Toasts().ShownToasts()) texts.push_back(toast.texts.at(1));
        return texts;
    }
    std::wstring Text(std::uint32_t id) { return Platform().resources.LoadText(id, 520); }
    // What `function` logged, as "Level message".
    std::vector<std::wstring> Log(const std::wstring& function) {
        std::vector<std::wstring> lines;
        const std::wstring name = L" Notifications::Tidewatch::CNotificationsHandler::" + function + L" : ";
        for (const auto& line : Arvek::Testing::ProcessLogLines()) {
            const auto at = line.find(name);
            if (at != std::wstring::npos && line.find(L' ') == at)
                lines.push_back(line.substr(0, at) + L" " + line.substr(at + name.size()));
        }
        return lines;
    }

    SimNotebook notebook;
    std::optional<CNotificationsHandler> handler;
};

const std::string kComponent = "Platform.MachineID = string 8042\nPlatform.USBC.Supported = bool true\n";

TEST(UsbCMessageTexts, EachIdHasItsTextOrNone) {
    const struct {
        std::int32_t id;
        std::uint32_t text;
        bool adapter;
    } cases[] = {
        {1, 0, false},    {2, 517, false},  {3, 518, true},   {4, 519, false},  {5, 519, false},
        {6, 520, false},  {7, 521, true},   {8, 0, false},    {9, 526, false},  {10, 527, true},
        {11, 528, true},  {12, 509, false}, {13, 510, false}, {14, 511, false}, {15, 512, false},
        {16, 513, false}, {17, 0, false},   {99, 0, false},   {0, 0, false},    {-1, 0, false},
    };
    for (const auto& c : cases) {
        const auto text = TextOfMessage(c.id);
        EXPECT_EQ(text.textId, c.text) << c.id;
        EXPECT_EQ(text.adapterRelated, c.adapter) << c.id;
    }
}

TEST(UsbCMessageTexts, OnlyAnUpperCaseXYOrZHoldsAdapterMessagesBack) {
    for (const wchar_t* version : {L"X1.02", L"Y", L"Z0.9"}) EXPECT_TRUE(HoldsBackAdapterMessages(version)) << version;
    for (const wchar_t* version : {L"x1.02", L"1.14.2", L"", L"W9", L" X1"})
        EXPECT_FALSE(HoldsBackAdapterMessages(version)) << version;
}

// How the machine signals USB Type-C events, from the component's answers.
TEST(NotificationsHandlerInit, TheComponentsAnswersSetTheFlags) {
    const struct {
        const char* tolm;
        bool acpi, supported;
    } cases[] = {
        {"Platform.MachineID = string 8042\nPlatform.USBC.Supported = bool true\n", true, true},
        {"Platform.MachineID = string \"8042 \"\nPlatform.USBC.Supported = bool false\n", false, false},
        {"Platform.MachineID = i4 8042\nPlatform.USBC.Supported = i4 -1\n", false, true},  // type not looked at
        {"Platform.MachineID = string 8043\nPlatform.USBC.Supported = i4 1\n", false, false},
        {"Platform.MachineID = string 8042\nPlatform.USBC.Supported = raw 0x000B 0x0000FFFF\n", true, true},
    };
    for (const auto& c : cases) {
        Handler h(c.tolm);
        EXPECT_EQ(h.handler->IsUsingACPIUsbCEvent(), c.acpi) << c.tolm;
        EXPECT_EQ(h.handler->IsUsbCSupported(), c.supported) << c.tolm;
    }
}

TEST(NotificationsHandlerInit, FailingCommandsAreLoggedAndLeaveTheFlagsFalse) {
    Handler h("Platform.MachineID = fails 0x80000003\nPlatform.USBC.Supported = fails 0x80004005\n");
    EXPECT_FALSE(h.handler->IsUsingACPIUsbCEvent());
    EXPECT_FALSE(h.handler->IsUsbCSupported());
    const auto log = h.Log(L"Init");
    EXPECT_NE(std::find(log.begin(), log.end(), L"Information Exception occurred when calling Platform.MachineID, [hr:0x80000003]"),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(),
                        L"Information Exception occurred when calling Platform.USBC.Supported, [hr:0x80004005]"),
              log.end());
}

TEST(NotificationsHandlerInit, WithoutTheComponentNothingIsAskedAndNothingSet) {
    SimNotebook notebook("[machine]\nbios-version = X1.0\n");  // no [tolm]: the component is absent
    notebook.machine.Platform().com.InitializeThread(Arvek::Ports::kCOINIT_APARTMENTTHREADED);
    {
        CNotificationsHandler handler(notebook.machine.Platform());
        handler.Init();
        EXPECT_FALSE(handler.IsUsingACPIUsbCEvent());
        EXPECT_FALSE(handler.IsUsbCSupported());
        EXPECT_FALSE(handler.SuppressesAdaptorNotification());
    }
    EXPECT_EQ(notebook.machine.Com().Balance(), 0) << "the handler balances its creator's COM";
}

TEST(NotificationsHandlerInit, TheBiosVersionDecidesAndIsLogged) {
    for (const auto& [version, suppress] : {std::pair{"Y2.01", true}, std::pair{"y2.01", false}}) {
        Handler h(kComponent, std::string("bios-version = ") + version + "\n");
        EXPECT_EQ(h.handler->SuppressesAdaptorNotification(), suppress) << version;
        const auto log = h.Log(L"CanSupressUsbcAdaptorNotification");
        EXPECT_NE(std::find(log.begin(), log.end(), L"Error BIOS Version: " + Arvek::WidenUtf8(version)), log.end());
    }
    Handler stopped(kComponent, "bios-version = X1.0\nwmi = stopped\n");
    EXPECT_FALSE(stopped.handler->SuppressesAdaptorNotification()) << "no version, no generation";
}

// Which messages of a list become toasts, in list order.
TEST(NotificationsHandlerShow, MessagesBecomeToastsWithTheirTexts) {
    const struct {
        const char* name;
        std::vector<int> ids;
        const char* bios;
        std::vector<std::uint32_t> shown;
    } cases[] = {
        {"ids without a text are passed over", {12, 1, 8, 99}, "1.14.2", {509}},
        {"4 and 5 share a text", {4, 5}, "1.14.2", {519, 519}},
        {"adapter messages shown on older platforms", {2, 3, 12}, "1.14.2", {517, 518, 509}},
        {"an adapter message on a newer platform stops the run", {2, 3, 12}, "X1.00", {517}},
        {"other messages still shown there", {13, 14, 15, 16, 6, 9}, "Z3", {510, 511, 512, 513, 520, 526}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Handler h(kComponent + MessagesLine(255, c.ids), std::string("bios-version = ") + c.bios + "\n");
        h.handler->ShowUsbCMessages(255);
        std::vector<std::wstring> expected;
        for (const auto id : c.shown) expected.push_back(h.Text(id));
        EXPECT_EQ(h.ToastTexts(), expected);
        for (const auto& toast : h.notebook.machine.Toasts().ShownToasts())
            EXPECT_EQ(toast.texts.at(0), h.Platform().resources.LoadText(507, 128));
    }
}

TEST(NotificationsHandlerShow, TheLogTellsEachMessageAndWhereTheRunStopped) {
    Handler h(kComponent + MessagesLine(0, {2, 3, 12}), "bios-version = X1.00\n");
    Arvek::Testing::ClearProcessLog();
    EXPECT_EQ(h.handler->HandleACPIUSbCEvent(), 0);
    const auto lines = Arvek::Testing::ProcessLogLines();
    const auto has = [&](const std::wstring& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    const std::wstring show = L"Notifications::Tidewatch::CNotificationsHandler::ShowUsbCMessages : ";
    EXPECT_TRUE(has(L"TraceIn " + show + L"portNumber = 0"));
    EXPECT_TRUE(has(L"Verbose " + show + L"message #0, message id = 2"));
    EXPECT_TRUE(has(L"Verbose " + show + L"message #1, message id = 3"));
    EXPECT_FALSE(has(L"Verbose " + show + L"message #2, message id = 12"));
    // The run ended at the held-back message, without its exit line.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"TraceOut " + show), 0);
    EXPECT_EQ(h.notebook.machine.Com().Balance(), 1) << "only the creator's initialisation is left";
}

TEST(NotificationsHandlerShow, AnEmptyListShowsNothing) {
    Handler h(kComponent + MessagesLine(255, {}));
    h.handler->ShowUsbCMessages(255);
    EXPECT_TRUE(h.ToastTexts().empty());
    const auto log = h.Log(L"ShowUsbCMessages");
    EXPECT_NE(std::find(log.begin(), log.end(), L"Verbose There is no USB Type -C messages to show."), log.end());
}

// The notification component only gates the toasts: the messages are still
// fetched and logged.
TEST(NotificationsHandlerShow, WithoutTheNotificationComponentNoToastIsShown) {
    Handler h("create-notification = fails 0x80040154\n" + kComponent + MessagesLine(255, {2}));
    h.handler->ShowUsbCMessages(255);
    EXPECT_TRUE(h.ToastTexts().empty());
    EXPECT_EQ(h.handler->PortMessages().size(), 1u);
    const auto log = h.Log(L"ShowToaster");
    EXPECT_NE(std::find(log.begin(), log.end(),
                        L"Verbose pITolmNotification.CreateInstance of arvektolmutils.arvekTolmNotification "
                        L"failed., hr = 0x80040154"),
              log.end());
}

TEST(NotificationsHandlerShow, ABillboardDeviceHasItsOwnToast) {
    Handler h(kComponent);
    h.handler->ShowBillboardMessage();
    EXPECT_EQ(h.ToastTexts(), std::vector<std::wstring>{h.Text(526)});
}

}  // namespace
