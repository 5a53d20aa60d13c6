// The Tolm client through real COM (under Wine in this build): the test
// registers nothing itself; the CTest fixture "tolm_standin" has registered
// the stand-in server (tests/tools/tolm_standin), and each test points it at
// a scenario through the "Scenario" value of the command class.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/strings.h"
#include "tolm/usbc_bios_info.h"
#include "win32/handles.h"
#include "win32/tolm_win32.h"
#include "win32/xml_win32.h"
#include "tolm_standin_fixture.h"

namespace Arvek::Testing {
namespace {

namespace fs = std::filesystem;

constexpr HRESULT kCO_E_CLASSSTRING = MakeHr(0x800401F3u);

// The stand-in DLL, which the build puts beside the test program.
std::wstring StandinDll() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return (fs::path(self).parent_path() / L"tolm_standin.dll").wstring();
}

class Win32TolmServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_apartment.Result()));
        UseScenario(WindowsPath(ARVEK_SOURCE_DIR "/tests/wine/tolm-standin.scenario"));
    }

    void UseScenario(const std::wstring& path) { m_scenario.Use(path); }
    void UseScenarioText(const std::string& text) { m_scenario.UseText(text); }

    std::unique_ptr<Ports::ITolmCommand> Command() {
        std::unique_ptr<Ports::ITolmCommand> command;
        const HRESULT hr = m_tolm.CreateCommand(command);
        EXPECT_EQ(hr, kS_OK);
        EXPECT_TRUE(command);
        return command;
    }

    Win32::ComApartment m_apartment;
    Win32::Win32Tolm m_tolm;
    StandinScenario m_scenario;
};

TEST_F(Win32TolmServerTest, CommandsReturnTheTagAndPayloadAsTheComponentWroteThem) {
    struct Case {
        const wchar_t* command;
        Variant expected;
    };
    const Case cases[] = {
        {L"Platform.MachineID", Variant::Bstr(L"8042")},
        {L"Platform.USBC.Supported", Variant::Raw(kVT_BOOL, 0xFFFF)},
        {L"SmartAdapter.Supported", Variant::Raw(kVT_BOOL, 0)},
        {L"SmartAdapter.Status", Variant::Raw(kVT_I4, 0xFFFFFFFEu)},
        {L"F10Setting.WMIEvents.Enabled", Variant::Raw(kVT_I2, 0x12345678DEADFFFFull)},
        {L"Empty.Text", Variant::Bstr(L"")},
        {L"Odd.Text", Variant::Bstr(std::wstring(L"a\0b \u00E9", 5))},
    };
    const auto command = Command();
    ASSERT_TRUE(command);
    for (const Case& c : cases) {
        SCOPED_TRACE(NarrowUtf8(c.command));
        Variant result;
        EXPECT_EQ(command->ExecuteCommand(c.command, result), kS_OK);
        EXPECT_EQ(result.vt, c.expected.vt);
        EXPECT_EQ(result.bits, c.expected.bits);
        EXPECT_EQ(result.bstr, c.expected.bstr);
    }
}

TEST_F(Win32TolmServerTest, AFailingCommandGivesItsHresultAndLeavesTheResultAlone) {
    const auto command = Command();
    ASSERT_TRUE(command);
    Variant result = Variant::I4(77);
    EXPECT_EQ(command->ExecuteCommand(L"EmbeddedController.AuditLog", result), kE_ACCESSDENIED);
    EXPECT_EQ(command->ExecuteCommand(L"No.Such.Command", result), kE_INVALID_COMMAND);
    EXPECT_EQ(command->ExecuteCommandWithArgument(L"Platform.USBC.Messages", Variant::UI1(3), result),
              kE_UNEXPECTED);
    EXPECT_EQ(result.vt, kVT_I4);
    EXPECT_EQ(result.bits, 77u);
}

TEST_F(Win32TolmServerTest, TheArgumentReachesTheComponentByValue) {
    const auto command = Command();
    ASSERT_TRUE(command);
    Variant result;
    ASSERT_EQ(command->ExecuteCommandWithArgument(L"Platform.USBC.Messages", Variant::UI1(2), result), kS_OK);
    EXPECT_EQ(result.bstr, L"port two");
    // The component looks at the argument's low byte only, as the firmware does.
    result = {};
    ASSERT_EQ(command->ExecuteCommandWithArgument(L"Platform.USBC.Messages", Variant::Raw(kVT_I4, 0x102), result),
              kS_OK);
    EXPECT_EQ(result.bstr, L"port two");
    // A value a VARIANT would have to point at cannot be sent; nothing is.
    EXPECT_EQ(command->ExecuteCommandWithArgument(L"Platform.USBC.Messages", Variant::Raw(VT_UNKNOWN, 1), result),
              kE_INVALIDARG);
}

TEST_F(Win32TolmServerTest, CreationGivesTheFirstFailingStepsHresultAndNoObject) {
    const char* const kNoValue = "(no Scenario value)";
    const char* const kNoFile = "(a file that is not there)";
    struct Case {
        const char* scenario;  // the file's text, or one of the two above
        HRESULT command;
        HRESULT notification;
    };
    const Case cases[] = {
        {"[tolm]\n", kS_OK, kS_OK},
        {"[tolm]\ncreate-command = fails 0x80070005\n", kE_ACCESSDENIED, kS_OK},
        {"[tolm]\ncreate-notification = fails 0x8007000E\n", kS_OK, kE_OUTOFMEMORY},
        {"[tolm]\ncomponent = absent\n", kREGDB_E_CLASSNOTREG, kREGDB_E_CLASSNOTREG},
        {"[machine]\nmodel = x\n", kREGDB_E_CLASSNOTREG, kREGDB_E_CLASSNOTREG},  // no [tolm] section
        {kNoValue, kREGDB_E_CLASSNOTREG, kREGDB_E_CLASSNOTREG},
        {"[tolm]\nPlatform.MachineID = float 1\n", kE_FAIL, kE_FAIL},
        {kNoFile, kE_FAIL, kE_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        if (c.scenario == kNoValue) ::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, kStandinCommandClassKey, L"Scenario");
        else if (c.scenario == kNoFile) UseScenario(L"Z:\\no\\such\\folder\\x.scenario");
        else UseScenarioText(c.scenario);
        std::unique_ptr<Ports::ITolmCommand> command;
        std::unique_ptr<Ports::ITolmNotification> notification;
        EXPECT_EQ(m_tolm.CreateCommand(command), c.command);
        EXPECT_EQ(m_tolm.CreateNotification(notification), c.notification);
        EXPECT_EQ(static_cast<bool>(command), c.command == kS_OK);
        EXPECT_EQ(static_cast<bool>(notification), c.notification == kS_OK);
    }
}

TEST_F(Win32TolmServerTest, EachObjectAnswersFromTheScenarioOfItsCreation) {
    const auto before = Command();
    UseScenarioText("[tolm]\nPlatform.MachineID = string 9000\n");
    const auto after = Command();
    ASSERT_TRUE(before && after);
    Variant first, second;
    ASSERT_EQ(before->ExecuteCommand(L"Platform.MachineID", first), kS_OK);
    ASSERT_EQ(after->ExecuteCommand(L"Platform.MachineID", second), kS_OK);
    EXPECT_EQ(first.bstr, L"8042");
    EXPECT_EQ(second.bstr, L"9000");
}

// Every reference the client took goes back: the server is free to unload
// once the objects are gone, not before.
TEST_F(Win32TolmServerTest, ObjectsReleaseEveryReference) {
    auto command = Command();
    std::unique_ptr<Ports::ITolmNotification> notification;
    ASSERT_EQ(m_tolm.CreateNotification(notification), kS_OK);
    Variant result;
    ASSERT_EQ(command->ExecuteCommand(L"Platform.MachineID", result), kS_OK);

    const HMODULE server = ::GetModuleHandleW(L"tolm_standin.dll");
    ASSERT_NE(server, nullptr) << "COM loaded the server in-process";
    using CanUnload = ::HRESULT(STDAPICALLTYPE*)();
    const auto canUnload =
        reinterpret_cast<CanUnload>(reinterpret_cast<void*>(::GetProcAddress(server, "DllCanUnloadNow")));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);
    command.reset();
    EXPECT_EQ(canUnload(), S_FALSE);
    notification.reset();
    EXPECT_EQ(canUnload(), S_OK);
}

// The agent's port-message query on the Windows ports: the stand-in's
// answer through COM, read with MSXML. The simulated notebook reads the same
// records from the same scenario file with pugixml.
TEST_F(Win32TolmServerTest, PortMessagesReadEndToEnd) {
    Win32::Win32XmlParser xml;
    Tolm::CUsbCBiosInfo info(m_tolm, xml);
    info.GetMessages(257);  // sent as its low byte, 1
    using Message = Tolm::UsbCPortMessage;
    EXPECT_EQ(info.PortMessages(),
              (std::vector<Message>{
                  {.iMessageId = 1, .iNormalPower = 60, .iSuppliedPower = 27},
                  {.iMessageId = 3, .iNormalPower = 60, .iSuppliedPower = 27, .iRequestedPower = 100,
                   .iMaxSuppliedPower = 65},
                  {.iMessageId = 7},
                  {.iMessageId = 6, .iNeededVoltage = 20, .iNeededCurrent = -3},
              }));
}

// A machine without the component at all: nothing is registered.
TEST_F(Win32TolmServerTest, AnUnregisteredComponentIsNotThere) {
    const Win32::UniqueModule dll(::LoadLibraryW(StandinDll().c_str()));
    ASSERT_TRUE(dll) << NarrowUtf8(StandinDll());
    using Entry = ::HRESULT(STDAPICALLTYPE*)();
    const auto entry = [&](const char* name) {
        return reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(dll.Get(), name)));
    };
    const auto reg = entry("DllRegisterServer");
    const auto unreg = entry("DllUnregisterServer");
    ASSERT_TRUE(reg && unreg);
    ASSERT_EQ(unreg(), S_OK);

    std::unique_ptr<Ports::ITolmCommand> command;
    std::unique_ptr<Ports::ITolmNotification> notification;
    const HRESULT commandHr = m_tolm.CreateCommand(command);
    const HRESULT notificationHr = m_tolm.CreateNotification(notification);

    EXPECT_EQ(reg(), S_OK) << "the fixture's registration is restored";
    EXPECT_EQ(commandHr, kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(notificationHr, kCO_E_CLASSSTRING) << "the ProgID is unknown";
    EXPECT_FALSE(command);
    EXPECT_FALSE(notification);
}

}  // namespace
}  // namespace Arvek::Testing
