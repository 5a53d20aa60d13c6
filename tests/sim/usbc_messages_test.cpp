// The USB Type-C message query: Platform.USBC.Messages through the Tolm
// client, and its XML answer read into UsbCPortMessage records, against the
// simulated component and the simulated XML DOM.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/strings.h"
#include "process_log.h"
#include "sim/standins/sim_tolm.h"
#include "sim/os/sim_xml.h"
#include "tolm/tolm_command.h"
#include "tolm/usbc_bios_info.h"

namespace {

using Arvek::HRESULT;
using Arvek::Variant;
using Arvek::Standin::TolmAnswers;
using Arvek::Standin::TolmReply;
using Arvek::Tolm::CUsbCBiosInfo;
using Arvek::Tolm::UsbCPortConfig;
using Arvek::Tolm::UsbCPortMessage;
using testing::Contains;
using testing::HasSubstr;
using testing::Not;

std::wstring Answer(const std::wstring& data) {
    return L"<GetUsbCMessagesOutput><Output><Data>" + data + L"</Data></Output></GetUsbCMessagesOutput>";
}

// <tag>content</tag>
std::wstring E(const std::wstring& tag, const std::wstring& content) {
    return L"<" + tag + L">" + content + L"</" + tag + L">";
}

// The data element's content: the port count and the ports.
std::wstring Ports(const std::wstring& count, const std::wstring& ports) { return E(L"NumberOfPorts", count) + ports; }

// A port with its message count and messages.
std::wstring Port(int index, const std::wstring& count, const std::wstring& messages) {
    return E(L"Port" + std::to_wstring(index), E(L"NumberOfMessages", count) + messages);
}

std::wstring Message(int index, const std::wstring& content) { return E(L"Message" + std::to_wstring(index), content); }

std::wstring Id(const std::wstring& id) { return E(L"MessageId", id); }

// The process log's lines of the query, without the empty entry and exit
// lines.
std::vector<std::wstring> QueryLog() {
    std::vector<std::wstring> lines;
    for (const std::wstring& line : Arvek::Testing::ProcessLogLines()) {
        const auto function = line.find(L' ') + 1;
        if (line.compare(function, 15, L"CUsbCBiosInfo::") == 0 && !line.ends_with(L" : ")) lines.push_back(line);
    }
    return lines;
}

// One machine's Tolm component and XML DOM, and a query on them.
struct Query {
    explicit Query(TolmAnswers answers) : tolm(std::move(answers)) {}
    static Query Answering(const std::wstring& xml, const std::wstring& key = L"Platform.USBC.Messages") {
        TolmAnswers answers;
        answers.replies[key] = {Arvek::kS_OK, Variant::Bstr(xml)};
        return Query(std::move(answers));
    }

    std::vector<UsbCPortMessage> GetMessages(int port = 0) {
        Arvek::Testing::ClearProcessLog();
        CUsbCBiosInfo info(tolm, xml);
        info.GetMessages(port);
        log = QueryLog();
        EXPECT_EQ(0, tolm.LiveObjects()) << "the command object outlived the query";
        return info.PortMessages();
    }

    Arvek::Sim::SimTolm tolm;
    Arvek::Sim::SimXmlParser xml;
    std::vector<std::wstring> log;
};

constexpr std::int32_t kNone = -1;

TEST(UsbCMessages, AnswersReadAsThePortsMessagesSay) {
    const std::wstring power1 = Id(L"1") + E(L"Valid", L"true") + E(L"NormalPower", L"45") + E(L"SuppliedPower", L"27");
    const UsbCPortMessage id1{.iMessageId = 1, .iNormalPower = 45, .iSuppliedPower = 27};
    const struct {
        const char* what;
        std::wstring data;
        std::vector<UsbCPortMessage> messages;
        bool noPorts = false;  // the answer says there are no ports
    } cases[] = {
        {"no ports", Ports(L"0", Port(0, L"1", Message(0, Id(L"1")))), {}, true},
        {"no port count", Port(0, L"1", Message(0, Id(L"1"))), {}, true},
        {"a port count that is not a number", Ports(L"two", Port(0, L"1", Message(0, Id(L"1")))), {}, true},
        {"one message with power values", Ports(L"1", Port(0, L"1", Message(0, power1))), {id1}},
        {"numbers read as the firmware writes them",
         Ports(L" +1 port", Port(0, L"\n1\n",
                                 Message(0, Id(L" 7x") + E(L"Valid", L"true") + E(L"ProvidedVoltage", L"-5") +
                                                E(L"ProvidedCurrent", L"3000mA") + E(L"RequestedVoltage", L"20") +
                                                E(L"RequestedCurrent", L"none")))),
         {{.iMessageId = 7, .iProvidedVoltage = -5, .iProvidedCurrent = 3000, .iRequestedVoltage = 20,
           .iRequestedCurrent = 0}}},
        {"ids below 1 and ids without digits are left out",
         Ports(L"1", Port(0, L"4",
                          Message(0, Id(L"0")) + Message(1, Id(L"-1")) + Message(2, Id(L"")) +
                              Message(3, Id(L"abc")))),
         {}},
        {"a message without an id keeps the port's previous one",
         Ports(L"1", Port(0, L"3",
                          Message(0, E(L"Valid", L"true")) + Message(1, Id(L"3")) +
                              Message(2, E(L"Valid", L"false")))),
         {{.iMessageId = 3}, {.iMessageId = 3}}},
        {"an invalid message is listed with what the record holds",
         Ports(L"1", Port(0, L"1",
                          Message(0, Id(L"3") + E(L"Valid", L"false") + E(L"RequestedPower", L"60") +
                                         E(L"MaxSuppliedPower", L"45")))),
         {{.iMessageId = 3}}},
        {"Valid in any case",
         Ports(L"1", Port(0, L"1",
                          Message(0, Id(L"6") + E(L"Valid", L"TRUE") + E(L"NeededVoltage", L"20") +
                                         E(L"NeededCurrent", L"5")))),
         {{.iMessageId = 6, .iNeededVoltage = 20, .iNeededCurrent = 5}}},
        {"one record per port: the second message carries the first one's values",
         Ports(L"1", Port(0, L"2",
                          Message(0, power1) +
                              Message(1, Id(L"3") + E(L"Valid", L"true") + E(L"RequestedPower", L"60")))),
         {id1, {.iMessageId = 3, .iNormalPower = 45, .iSuppliedPower = 27, .iRequestedPower = 60}}},
        {"each port starts a fresh record",
         Ports(L"2", Port(0, L"1", Message(0, power1)) + Port(1, L"1", Message(0, E(L"Valid", L"true")))),
         {id1}},
        {"ids other than 1, 3, 6 and 7 read no values",
         Ports(L"1", Port(0, L"1",
                          Message(0, Id(L"2") + E(L"Valid", L"true") + E(L"NormalPower", L"45") +
                                         E(L"RequestedPower", L"60") + E(L"NeededVoltage", L"20")))),
         {{.iMessageId = 2}}},
        {"missing ports, messages and counts are skipped",
         Ports(L"4", Port(0, L"3", Message(0, Id(L"4")) + Message(2, Id(L"5"))) +
                         Port(2, L"1", Message(0, Id(L"8"))) + E(L"Port3", Message(0, Id(L"9")))),
         {{.iMessageId = 4}, {.iMessageId = 5}, {.iMessageId = 8}}},
        {"a port whose message count is 0", Ports(L"1", Port(0, L"0", Message(0, Id(L"1")))), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Query query = Query::Answering(Answer(c.data));
        EXPECT_EQ(query.GetMessages(), c.messages);
        EXPECT_EQ(c.noPorts, std::count(query.log.begin(), query.log.end(),
                                        L"Verbose CUsbCBiosInfo::GetMessages : no usb-c ports, quit.") == 1);
    }
}

TEST(UsbCMessages, AnAnswerThatIsNotTheExpectedXmlGivesNoMessages) {
    const struct {
        const char* what;
        Variant value;
    } cases[] = {
        {"not XML", Variant::Bstr(L"<GetUsbCMessagesOutput><Output><Data><NumberOfPorts>1</NumberOfPorts>")},
        {"empty", Variant::Bstr(L"")},
        {"another root", Variant::Bstr(E(L"Other", E(L"Output", E(L"Data", E(L"NumberOfPorts", L"1")))))},
        {"not a string", Variant::I4(1)},
        {"a null string", Variant::Raw(Arvek::kVT_BSTR, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TolmAnswers answers;
        answers.replies[L"Platform.USBC.Messages"] = {Arvek::kS_OK, c.value};
        Query query(answers);
        EXPECT_TRUE(query.GetMessages().empty());
        EXPECT_THAT(query.log, Contains(L"Verbose CUsbCBiosInfo::GetMessages : no usb-c ports, quit."));
    }
}

TEST(UsbCMessages, LogsWhatItReadsAsItGoes) {
    const std::wstring message =
        Id(L"1") + E(L"Valid", L"True") + E(L"NormalPower", L"45") + E(L"SuppliedPower", L"27");
    Query query = Query::Answering(Answer(Ports(L"1", Port(0, L"1", Message(0, message)))));
    query.GetMessages(2);
    EXPECT_EQ(query.log, (std::vector<std::wstring>{
                             L"TraceIn CUsbCBiosInfo::GetMessages : portNumber = 2",
                             L"TraceIn CUsbCBiosInfo::GetMsgDataFromTolm : portNumber = 2",
                             L"Verbose CUsbCBiosInfo::GetMsgDataFromTolm : Calling Platform.USBC.Messages",
                             L"Verbose CUsbCBiosInfo::GetMsgDataFromTolm : Calling Platform.USBC.Messages passed.",
                             L"Verbose CUsbCBiosInfo::GetMessages : GetMsgDataFromTolm passed",
                             L"Verbose CUsbCBiosInfo::GetMessages : Number Of Ports = 1",
                             L"Verbose CUsbCBiosInfo::GetMessages : Get info for port # 0.",
                             L"Verbose CUsbCBiosInfo::GetMessages : Number Of Messages = 1.",
                             L"Verbose CUsbCBiosInfo::GetMessages : iMessageId = 1",
                             L"Verbose CUsbCBiosInfo::GetMessages : Valid = True",
                             L"Verbose CUsbCBiosInfo::GetMessages : portMessage.iNormalPower = 45",
                             L"Verbose CUsbCBiosInfo::GetMessages : portMessage.iSuppliedPower = 27",
                         }));
    // Both operations log their exit, the query last.
    const auto all = Arvek::Testing::ProcessLogLines();
    EXPECT_EQ(1, std::count(all.begin(), all.end(), L"TraceOut CUsbCBiosInfo::GetMsgDataFromTolm : "));
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(L"TraceOut CUsbCBiosInfo::GetMessages : ", all.back());
}

TEST(UsbCMessages, ThePortNumberGoesToTheFirmwareAsItsLowByte) {
    const struct {
        int port;
        std::uint64_t sent;
    } cases[] = {{0, 0}, {1, 1}, {257, 1}, {255, 255}, {-1, 255}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        Query query = Query::Answering(Answer(Ports(L"1", Port(0, L"1", Message(0, Id(L"5"))))),
                                       L"Platform.USBC.Messages(" + std::to_wstring(c.sent) + L")");
        EXPECT_EQ(query.GetMessages(c.port), (std::vector<UsbCPortMessage>{{.iMessageId = 5}}));
        const auto calls = query.tolm.Calls();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(L"Platform.USBC.Messages", calls[0].command);
        ASSERT_TRUE(calls[0].argument);
        EXPECT_EQ(Arvek::kVT_UI1, calls[0].argument->vt);
        EXPECT_EQ(c.sent, calls[0].argument->bits);
    }
}

TEST(UsbCMessages, AbsurdCountsAreCutAt256PortsAnd256Messages) {
    const std::wstring ports = Port(0, L"2147483647", Message(255, Id(L"2")) + Message(256, Id(L"3"))) +
                               Port(255, L"1", Message(0, Id(L"4"))) + Port(256, L"1", Message(0, Id(L"5")));
    Query query = Query::Answering(Answer(Ports(L"2147483647", ports)));
    EXPECT_EQ(query.GetMessages(), (std::vector<UsbCPortMessage>{{.iMessageId = 2}, {.iMessageId = 4}}));
    EXPECT_EQ(2, std::count_if(query.log.begin(), query.log.end(), [](const std::wstring& line) {
                  return line.find(L"reading the first 256") != std::wstring::npos;
              }));
    EXPECT_THAT(query.log, Contains(L"Information CUsbCBiosInfo::GetMessages : NumberOfPorts 2147483647 is more than the 256 ports "
                                    L"a one-byte port number can address; reading the first 256."));
    EXPECT_THAT(query.log, Contains(HasSubstr(L"NumberOfMessages 2147483647 of port # 0 is more than 256")));
    EXPECT_THAT(query.log, Not(Contains(L"Verbose CUsbCBiosInfo::GetMessages : Get info for port # 256.")));
}

TEST(UsbCMessages, ACommandThatCannotRunGivesNoMessagesAndSaysWhy) {
    const auto failing = [](HRESULT createCommand, HRESULT command) {
        TolmAnswers answers;
        answers.createCommand = createCommand;
        if (command) answers.replies[L"Platform.USBC.Messages"] = {command, {}};
        return answers;
    };
    const struct {
        const char* what;
        TolmAnswers answers;
        HRESULT hr;
        const wchar_t* logged;  // by GetMsgDataFromTolm, or nothing
    } cases[] = {
        {"no component", TolmAnswers::Absent(), Arvek::kREGDB_E_CLASSNOTREG, nullptr},
        {"creation refused", failing(Arvek::kE_ACCESSDENIED, 0), Arvek::kE_ACCESSDENIED, nullptr},
        {"an unknown command", failing(Arvek::kS_OK, 0), Arvek::kE_INVALID_COMMAND,
         L"Information CUsbCBiosInfo::GetMsgDataFromTolm : Invalid Command Platform.USBC.Messages. hr = 0x80000003"},
        {"a failing command", failing(Arvek::kS_OK, Arvek::kE_FAIL), Arvek::kE_FAIL,
         L"Information CUsbCBiosInfo::GetMsgDataFromTolm : Exception occurred during Platform.USBC.Messages. hr = 0x80004005"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Query query(c.answers);
        std::wstring xml = L"left over";
        EXPECT_EQ(c.hr, CUsbCBiosInfo(query.tolm, query.xml).GetMsgDataFromTolm(1, xml));
        EXPECT_EQ(L"", xml);

        EXPECT_TRUE(query.GetMessages(1).empty());
        EXPECT_THAT(query.log, Contains(L"Information CUsbCBiosInfo::GetMessages : GetMsgDataFromTolm failed"));
        EXPECT_THAT(query.log, Not(Contains(L"Verbose CUsbCBiosInfo::GetMessages : GetMsgDataFromTolm passed")));
        if (c.logged) {
            EXPECT_THAT(query.log, Contains(c.logged));
        } else {
            EXPECT_THAT(query.log, Not(Contains(HasSubstr(L"Calling Platform.USBC.Messages"))));
        }
    }
}

TEST(TolmCommand, RaisesFailuresAndRunsNothingWithoutAnObject) {
    TolmAnswers answers;
    answers.replies[L"SmartAdapter.Status"] = {Arvek::kS_OK, Variant::I4(3)};
    answers.replies[L"SmartAdapter.Supported"] = {Arvek::MakeHr(0x8001010Au), {}};
    Arvek::Sim::SimTolm tolm(answers);
    {
        Arvek::Tolm::CTolmCommand command(tolm);
        Variant result;
        EXPECT_THROW(
            {
                try {
                    command.ExecuteCommand(Arvek::Tolm::kSmartAdapterStatus, result);
                } catch (const Arvek::ComError& e) {
                    EXPECT_EQ(Arvek::kE_POINTER, e.Error());
                    throw;
                }
            },
            Arvek::ComError);
        EXPECT_TRUE(tolm.Calls().empty());

        ASSERT_EQ(Arvek::kS_OK, command.Create());
        EXPECT_EQ(1, tolm.LiveObjects());
        EXPECT_EQ(Arvek::kS_OK, command.ExecuteCommand(Arvek::Tolm::kSmartAdapterStatus, result));
        EXPECT_EQ(3, result.LowInt32());
        try {
            command.ExecuteCommand(Arvek::Tolm::kSmartAdapterSupported, result);
            ADD_FAILURE() << "no COM error";
        } catch (const Arvek::ComError& e) {
            EXPECT_EQ(Arvek::MakeHr(0x8001010Au), e.Error());
        }
        EXPECT_EQ(3, result.LowInt32());  // a failed command leaves the result alone
    }
    EXPECT_EQ(0, tolm.LiveObjects());

    Arvek::Tolm::CTolmNotification notification(tolm);
    EXPECT_EQ(Arvek::kS_OK, notification.Create());
    EXPECT_TRUE(notification.Exists());
    answers.createNotification = Arvek::kREGDB_E_CLASSNOTREG;
    tolm.SetAnswers(answers);
    EXPECT_EQ(Arvek::kREGDB_E_CLASSNOTREG, notification.Create());
    EXPECT_FALSE(notification.Exists());
    EXPECT_EQ(0, tolm.LiveObjects());
}

TEST(TolmCommand, FailureLinesNameTheCommand) {
    Arvek::Testing::ClearProcessLog();
    Arvek::Tolm::LogCommandFailure("CUsbCBiosInfo::GetConfigDataFromTolm", Arvek::Tolm::kPlatformUsbCConfiguration,
                                   Arvek::kE_INVALID_COMMAND);
    Arvek::Tolm::LogCommandFailure("X::Y", Arvek::Tolm::kSmartAdapterStatus, Arvek::MakeHr(0x800706BAu));
    EXPECT_EQ(Arvek::Testing::ProcessLogLines(),
              (std::vector<std::wstring>{
                  L"Information CUsbCBiosInfo::GetConfigDataFromTolm : Invalid Command Platform.USBC.Configuration. hr = 0x80000003",
                  L"Information X::Y : Exception occurred during SmartAdapter.Status. hr = 0x800706BA"}));
}

// ---------------------------------------------------------------------------
// The viewer's port configuration

std::wstring ConfigAnswer(const std::wstring& data) {
    return L"<GetUsbCPortsConfigurationOutput><Output><Data>" + data +
           L"</Data></Output></GetUsbCPortsConfigurationOutput>";
}

std::wstring ConfigPort(int index, const std::wstring& content) { return E(L"Port" + std::to_wstring(index), content); }

UsbCPortConfig ReadConfig(Query& query) {
    UsbCPortConfig config = CUsbCBiosInfo(query.tolm, query.xml).GetUsbCConfigInfo();
    EXPECT_EQ(0, query.tolm.LiveObjects()) << "the command object outlived the query";
    return config;
}

UsbCPortConfig ReadConfig(const std::wstring& data) {
    Query query = Query::Answering(ConfigAnswer(data), L"Platform.USBC.Configuration");
    return ReadConfig(query);
}

TEST(UsbCConfiguration, PortsMergeIntoWhatTheBestPortCanDo) {
    const std::wstring everything =
        E(L"SupportBasicUsb", L"true") + E(L"SupportUsb31Gen2", L"true") +
        E(L"SupportUpstreamPowerDelivery", L"true") + E(L"SupportDownstreamPowerDelivery", L"true") +
        E(L"SupportDisplayPortAlternateMode", L"true") + E(L"SupportThunderboltAlternateMode", L"true") +
        E(L"DisplayPortLaneX2", L"true") + E(L"DisplayPortLaneX4", L"true") + E(L"MaxUpstreamPower", L"100") +
        E(L"MaxDownstreamPower", L"60");
    const struct {
        const char* what;
        std::wstring data;
        UsbCPortConfig config;
    } cases[] = {
        {"no ports", E(L"NumberOfPorts", L"0") + ConfigPort(0, everything), {}},
        {"a negative count", E(L"NumberOfPorts", L"-1") + ConfigPort(0, everything), {.NumberOfPorts = -1}},
        {"no count", E(L"SizeOfPort", L"12") + ConfigPort(0, everything), {.SizeOfPort = 12}},
        {"one port with everything",
         E(L"NumberOfPorts", L"1") + ConfigPort(0, everything),
         {.NumberOfPorts = 1, .SupportBasicUsb = true, .SupportUsb31Gen2 = true,
          .SupportUpstreamPowerDelivery = true, .SupportDownstreamPowerDelivery = true,
          .SupportDisplayPortAlternateMode = true, .SupportThunderboltAlternateMode = true,
          .DisplayPortLaneX2 = true, .DisplayPortLaneX4 = true, .MaxUpstreamPower = 100, .MaxDownstreamPower = 60}},
        {"a later false never clears; the largest power wins; Port1 is missing",
         E(L"NumberOfPorts", L"3") +
             ConfigPort(0, E(L"SupportThunderboltAlternateMode", L"TRUE") + E(L"MaxDownstreamPower", L"60")) +
             ConfigPort(2, E(L"SupportThunderboltAlternateMode", L"false") + E(L"MaxDownstreamPower", L" 240W") +
                               E(L"SupportBasicUsb", L"1")),
         {.NumberOfPorts = 3, .SupportThunderboltAlternateMode = true, .MaxDownstreamPower = 240}},
        {"negative powers never replace the initial 0",
         E(L"NumberOfPorts", L"1") + ConfigPort(0, E(L"MaxUpstreamPower", L"-5") + E(L"MaxDownstreamPower", L"x")),
         {.NumberOfPorts = 1}},
        {"the eleventh port is Port10, not Port010",
         E(L"NumberOfPorts", L"11") + ConfigPort(10, E(L"SupportUsb31Gen2", L"True")) +
             E(L"Port010", E(L"SupportBasicUsb", L"true")),
         {.NumberOfPorts = 11, .SupportUsb31Gen2 = true}},
        {"absurd counts stop at 256 ports",
         E(L"NumberOfPorts", L"2147483647") + ConfigPort(255, E(L"SupportBasicUsb", L"true")) +
             ConfigPort(256, E(L"SupportUsb31Gen2", L"true")),
         {.NumberOfPorts = 2147483647, .SupportBasicUsb = true}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.config, ReadConfig(c.data)) << c.what;
}

TEST(UsbCConfiguration, AnAnswerThatCannotBeReadGivesTheZeroRecord) {
    TolmAnswers unknown;
    TolmAnswers failing;
    failing.replies[L"Platform.USBC.Configuration"] = {Arvek::kE_FAIL, {}};
    const struct {
        const char* what;
        TolmAnswers answers;
        const wchar_t* logged;
    } cases[] = {
        {"no component", TolmAnswers::Absent(), nullptr},
        {"an unknown command", unknown,
         L"Information CUsbCBiosInfo::GetConfigDataFromTolm : Invalid Command Platform.USBC.Configuration. hr = 0x80000003"},
        {"a failing command", failing,
         L"Information CUsbCBiosInfo::GetConfigDataFromTolm : Exception occurred during Platform.USBC.Configuration. hr = "
         L"0x80004005"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Query query(c.answers);
        Arvek::Testing::ClearProcessLog();
        EXPECT_EQ(UsbCPortConfig{}, ReadConfig(query));
        if (c.logged) {
            EXPECT_THAT(QueryLog(), Contains(c.logged));
        }
    }
    Query notXml = Query::Answering(L"<GetUsbCPortsConfigurationOutput><Output><Data><NumberOfPorts>2",
                                    L"Platform.USBC.Configuration");
    EXPECT_EQ(UsbCPortConfig{}, ReadConfig(notXml));
}

}  // namespace
