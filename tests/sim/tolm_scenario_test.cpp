// The simulated notebook's Tolm component: the scenario's [tolm] section,
// the answers it gives, and its errors naming file and line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "common/strings.h"
#include "sim/machine/scenario.h"
#include "sim_fixture.h"
#include "tolm/usbc_bios_info.h"

namespace {

using Arvek::HRESULT;
using Arvek::Variant;
using Arvek::Sim::ParseScenario;
using Arvek::Sim::ScenarioError;
using Arvek::Standin::TolmAnswers;
using Arvek::Testing::SimNotebook;
using Arvek::Testing::TempFolder;

struct Outcome {
    HRESULT hr;
    Variant value;
};

// Runs one command on the machine's component, as a program would.
Outcome Execute(Arvek::Ports::ITolm& tolm, const std::wstring& command, const Variant* argument = nullptr) {
    std::unique_ptr<Arvek::Ports::ITolmCommand> object;
    const HRESULT created = tolm.CreateCommand(object);
    if (Arvek::Failed(created)) return {created, {}};
    Outcome run{};
    run.hr = argument ? object->ExecuteCommandWithArgument(command, *argument, run.value)
                      : object->ExecuteCommand(command, run.value);
    return run;
}

TEST(TolmScenario, AnswersEveryKindOfValue) {
    TempFolder folder;
    std::ofstream(folder.Path() / "port1.xml", std::ios::binary) << "\xEF\xBB\xBF<Port>\xE2\x84\xA2</Port>\n";
    const auto scenario = ParseScenario(
        "[machine]\n"
        "[tolm]\n"
        "# what this notebook's firmware says\n"
        "# a comment opens no block of text:\n"
        "# Platform.Note = text <<NOTE\n"
        "Platform.MachineID = string 8042     # a comment\n"
        "Platform.USBC.Configuration = string \"  # kept \\\"quoted\\\"\\n\\u2122\"\n"
        "Platform.USBC.Supported = bool true\n"
        "SmartAdapter.Supported = bool false\n"
        "SmartAdapter.Status = i4 -3\n"
        "F10Setting.WMIEvents.Enabled = raw 0x0003 0x7FFF\n"
        "EmbeddedController.AuditLog = fails 0x80004005\n"
        "Platform.USBC.Messages = string\n"
        "Platform.USBC.Messages(1) = xml-file port1.xml\n"
        "Platform.USBC.Messages(2) = text <<END\n"
        "<Port>\n"
        "[timeline]\n"
        "  END of the text only on a line of its own\n"
        "</Port>\n"
        "END\n"
        "[timeline]\n"
        "1s close-window\n",
        "s.scenario", folder.Path());
    ASSERT_TRUE(scenario.tolm);
    EXPECT_EQ(1u, scenario.timeline.size());
    Arvek::Sim::SimMachine machine(scenario, folder.Path());
    auto& tolm = machine.Platform().tolm;

    const struct {
        const wchar_t* command;
        int argument;  // -1: none
        HRESULT hr;
        Variant value;
    } cases[] = {
        {L"Platform.MachineID", -1, Arvek::kS_OK, Variant::Bstr(L"8042")},
        {L"Platform.USBC.Configuration", -1, Arvek::kS_OK, Variant::Bstr(L"  # kept \"quoted\"\n\u2122")},
        {L"Platform.USBC.Supported", -1, Arvek::kS_OK, Variant::Raw(Arvek::kVT_BOOL, 0xFFFF)},
        {L"SmartAdapter.Supported", -1, Arvek::kS_OK, Variant::Raw(Arvek::kVT_BOOL, 0)},
        {L"SmartAdapter.Status", -1, Arvek::kS_OK, Variant::Raw(Arvek::kVT_I4, 0xFFFFFFFD)},
        {L"F10Setting.WMIEvents.Enabled", -1, Arvek::kS_OK, Variant::Raw(Arvek::kVT_I4, 0x7FFF)},
        {L"EmbeddedController.AuditLog", -1, Arvek::MakeHr(0x80004005u), {}},
        {L"Platform.USBC.Messages", -1, Arvek::kS_OK, Variant::Bstr(L"")},
        {L"Platform.USBC.Messages", 0, Arvek::kS_OK, Variant::Bstr(L"")},  // the command's own answer
        {L"Platform.USBC.Messages", 1, Arvek::kS_OK, Variant::Bstr(L"<Port>\u2122</Port>\n")},
        {L"Platform.USBC.Messages", 257, Arvek::kS_OK, Variant::Bstr(L"<Port>\u2122</Port>\n")},  // its low byte
        {L"Platform.USBC.Messages", 2, Arvek::kS_OK,
         Variant::Bstr(L"<Port>\n[timeline]\n  END of the text only on a line of its own\n</Port>")},
        {L"Platform.Unknown", -1, Arvek::kE_INVALID_COMMAND, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Arvek::NarrowUtf8(c.command) + "(" + std::to_string(c.argument) + ")");
        const Variant argument = Variant::Raw(Arvek::kVT_I4, static_cast<std::uint32_t>(c.argument));
        const Outcome run = Execute(tolm, c.command, c.argument < 0 ? nullptr : &argument);
        EXPECT_EQ(c.hr, run.hr);
        EXPECT_EQ(c.value.vt, run.value.vt);
        EXPECT_EQ(c.value.bits, run.value.bits);
        EXPECT_EQ(c.value.bstr, run.value.bstr);
    }
    std::unique_ptr<Arvek::Ports::ITolmNotification> notification;
    EXPECT_EQ(Arvek::kS_OK, tolm.CreateNotification(notification));
}

TEST(TolmScenario, TheComponentCanBeMissingOrRefuseItsObjects) {
    const struct {
        const char* section;
        HRESULT command;
        HRESULT notification;
    } cases[] = {
        {"", Arvek::kREGDB_E_CLASSNOTREG, Arvek::kREGDB_E_CLASSNOTREG},  // no [tolm] section
        {"[tolm]\n", Arvek::kS_OK, Arvek::kS_OK},
        {"[tolm]\ncomponent = absent\n", Arvek::kREGDB_E_CLASSNOTREG, Arvek::kREGDB_E_CLASSNOTREG},
        {"[tolm]\ncreate-command = fails 0x80070005\n", Arvek::kE_ACCESSDENIED, Arvek::kS_OK},
        {"[tolm]\ncomponent = absent\ncreate-notification = works\n", Arvek::kREGDB_E_CLASSNOTREG, Arvek::kS_OK},
        {"[tolm]\ncreate-notification = fails 0x800401F3 # no such ProgID\n", Arvek::kS_OK, Arvek::MakeHr(0x800401F3u)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        SimNotebook notebook(std::string("[machine]\n") + c.section);
        auto& tolm = notebook.machine.Platform().tolm;
        std::unique_ptr<Arvek::Ports::ITolmCommand> command;
        std::unique_ptr<Arvek::Ports::ITolmNotification> notification;
        EXPECT_EQ(c.command, tolm.CreateCommand(command));
        EXPECT_EQ(c.notification, tolm.CreateNotification(notification));
        EXPECT_EQ(Arvek::Succeeded(c.command), command != nullptr);
        EXPECT_EQ(Arvek::Succeeded(c.notification), notification != nullptr);
    }
}

TEST(TolmScenario, AMachinesPortMessagesComeFromItsScenario) {
    SimNotebook notebook(
        "[tolm]\n"
        "Platform.USBC.Messages(3) = text <<XML\n"
        "<GetUsbCMessagesOutput><Output><Data>\n"
        "  <NumberOfPorts>1</NumberOfPorts>\n"
        "  <Port0><NumberOfMessages>1</NumberOfMessages>\n"
        "    <Message0><MessageId>1</MessageId><Valid>true</Valid>\n"
        "      <NormalPower>60</NormalPower><SuppliedPower>30</SuppliedPower></Message0></Port0>\n"
        "</Data></Output></GetUsbCMessagesOutput>\n"
        "XML\n");
    Arvek::Tolm::CUsbCBiosInfo info(notebook.machine.Platform());
    info.GetMessages(3);
    EXPECT_EQ(info.PortMessages(),
              (std::vector<Arvek::Tolm::UsbCPortMessage>{{.iMessageId = 1, .iNormalPower = 60, .iSuppliedPower = 30}}));
    Arvek::Tolm::CUsbCBiosInfo otherPort(notebook.machine.Platform());
    otherPort.GetMessages(4);
    EXPECT_TRUE(otherPort.PortMessages().empty());
    EXPECT_EQ(2u, notebook.machine.Tolm().Calls().size());
}

TEST(TolmScenario, ErrorsNameFileAndLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"[tolm]\nPlatform.MachineID\n", "s.scenario:2: expected NAME = ANSWER"},
        {"[machine]\n[tolm]\n\nPlatform.MachineID = number 8042\n", "s.scenario:4: unknown answer \"number\""},
        {"[tolm]\ncomponent = maybe\n", "s.scenario:2: component is \"absent\" or \"present\""},
        {"[tolm]\ncreate-command = fails\n", "s.scenario:2: fails needs a failing HRESULT"},
        {"[tolm]\ncreate-notification = broken\n", "s.scenario:2: expected \"works\" or \"fails 0xHRESULT\""},
        {"[tolm]\nX = fails 0x00000001\n", "s.scenario:2: fails needs a failing HRESULT"},
        {"[tolm]\nX = bool yes\n", "s.scenario:2: bool is \"true\" or \"false\""},
        {"[tolm]\nX = i4 4294967296\n", "s.scenario:2: i4 needs a 32-bit integer"},
        {"[tolm]\nX = i4 -2147483649\n", "s.scenario:2: i4 needs a 32-bit integer"},
        {"[tolm]\nX = raw 0x10000 1\n", "s.scenario:2: raw needs a 16-bit type tag"},
        {"[tolm]\nX = raw 3\n", "s.scenario:2: raw needs a 16-bit type tag"},
        {"[tolm]\nX = string \"open\n", "s.scenario:2: the quoted string is not closed"},
        {"[tolm]\nX = string \"a\\qb\"\n", "s.scenario:2: unknown escape \\q"},
        {"[tolm]\nX = string \"\\u12\"\n", "s.scenario:2: \\u needs four hexadecimal digits"},
        {"[tolm]\nX = string \"a\" b\n", "s.scenario:2: text after the quoted string"},
        {"[tolm]\nX = xml-file missing.xml\n", "s.scenario:2: cannot read"},
        {"[tolm]\nX = text\n", "s.scenario:2: expected text <<MARKER"},
        {"[tolm]\nX = text <<END\n<a/>\n[timeline]\n1s close-window\n",
         "s.scenario:2: the text is not closed by a line \"END\""},
        {"[tolm]\nX(256) = i4 1\n", "s.scenario:2: the argument is a port number from 0 to 255"},
        {"[tolm]\nX(one) = i4 1\n", "s.scenario:2: the argument is a port number from 0 to 255"},
        {"[tolm]\nX(1 = i4 1\n", "s.scenario:2: expected Name(ARGUMENT)"},
        {"[tolm]\nPlatform USBC = i4 1\n", "s.scenario:2: not a command name"},
        {"[tolm]\n= i4 1\n", "s.scenario:2: expected a command name"},
        {"[tolm]\nX(1) = i4 1\n# again\nX(01) = i4 2\n", "s.scenario:4: X(01) is already answered on line 2"},
        {"[tolm]\n[timeline]\n[tolm]\n", "s.scenario:3: a second [tolm] section"},
    };
    for (const auto& c : cases) Arvek::Testing::ExpectScenarioRefused(c.text, c.error);
}

TEST(TolmScenario, TheExampleOfABadSectionIsRefused) {
    try {
        Arvek::Sim::LoadScenario(std::filesystem::path(ARVEK_SOURCE_DIR) / "tests/scenario/bad-tolm.scenario");
        ADD_FAILURE() << "accepted";
    } catch (const ScenarioError& e) {
        EXPECT_THAT(e.what(), testing::HasSubstr("bad-tolm.scenario:7: unknown answer \"float\""));
    }
}

}  // namespace
