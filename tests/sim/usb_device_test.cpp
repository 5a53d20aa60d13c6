// Billboard detection on the simulated notebook's device tree: which port's
// descriptor decides, which ports are still examined, how each failing step
// ends the search with its line, and how records, paths, keys and ids that
// the platform would not make are refused.
#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <optional>

#include "agent/usbc/usb_device.h"
#include "common/strings.h"
#include "ports/device_broadcast.h"
#include "process_log.h"
#include "sim_fixture.h"

namespace {

using Arvek::Testing::ProcessLogged;
using Arvek::Testing::SimNotebook;
using namespace Notifications::Tidewatch;

// A root hub with six ports: a keyboard (class 0: its class is in its
// interfaces) on 1, a port whose requests fail on 2, a billboard device on
// 3, another billboard device on 4, an external hub on 5 with a device of
// its own, and a device without a driver on 6.
constexpr const char* kTree = R"([machine]
[devices]
hub USB\ROOT_HUB30\4&1B7D5D1&0&0 \\?\usb#root_hub30#4&1b7d5d1&0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}
port 1 DeviceConnected bcdUSB=0x0200 class=0 idProduct=0xC31C bcdDevice=0x6400 driver={36fc9e60-c465-11cf-8056-444553540000}\0001 id=USB\VID_046D&PID_C31C\5&2A0&0&1
interface \\?\usb#vid_046d&pid_c31c#5&2a0&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}
port 2 DeviceConnected fails=31
port 3 DeviceConnected bcdUSB=0x0201 class=0x11 subclass=0 idProduct=0x5030 bcdDevice=0x0100 driver={36fc9e60-c465-11cf-8056-444553540000}\0003 id=USB\VID_2109&PID_5030\BB01
interface \\?\usb#vid_2109&pid_5030#bb01#{a5dcbf10-6530-11d2-901f-00c04fb951ed}
port 4 DeviceConnected fails=31
port 5 DeviceConnected bcdUSB=0x0300 class=0x09 idProduct=0x0817 driver={36fc9e60-c465-11cf-8056-444553540000}\0005 id=USB\VID_2109&PID_0817\6&1&0&5
port 6 DeviceConnected class=0xFF
hub USB\VID_2109&PID_0817\6&1&0&5 \\?\usb#vid_2109&pid_0817#6&1&0&5#{f18a0e88-c30c-11d0-8815-00a0c906bed8}
port 1 DeviceConnected class=0x08 driver={36fc9e60-c465-11cf-8056-444553540000}\0009 id=USB\VID_0781&PID_5581\4C53
interface \\?\usb#vid_0781&pid_5581#4c53#{a5dcbf10-6530-11d2-901f-00c04fb951ed}
)";

constexpr const wchar_t* kKeyboard = L"\\\\?\\usb#vid_046d&pid_c31c#5&2a0&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
constexpr const wchar_t* kBillboard = L"\\\\?\\usb#vid_2109&pid_5030#bb01#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
constexpr const wchar_t* kExternalHub = L"\\\\?\\usb#vid_2109&pid_0817#6&1&0&5#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
constexpr const wchar_t* kRootHub = L"\\\\?\\usb#root_hub30#4&1b7d5d1&0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
constexpr const wchar_t* kStick = L"\\\\?\\usb#vid_0781&pid_5581#4c53#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

struct UsbDevice : testing::Test {
    UsbDevice() { Arvek::Testing::ClearProcessLog(); }
    explicit UsbDevice(const char* scenario) : notebook(scenario) { Arvek::Testing::ClearProcessLog(); }

    // An arrival of `path`, as the window procedure hands it on; the answer.
    bool Arrive(const std::wstring& path, const Arvek::Ports::Guid& interfaceClass = Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE) {
        const auto record = Arvek::Ports::MakeDeviceInterfaceBroadcast(interfaceClass, path);
        CUsbDevice(notebook.machine.Platform(), globals).Init(record);
        return globals.g_bBillboardFound;
    }
    bool Logged(const std::wstring& line) { return ProcessLogged(line); }

    SimNotebook notebook{kTree};
    AgentGlobals globals;
};

// The port's descriptor says billboard: found on port 3, with its
// descriptor logged; port 4 is not asked, port 2's failure only logged.
TEST_F(UsbDevice, ABillboardDeviceOnPortThreeEndsTheSearchThere) {
    EXPECT_TRUE(Arrive(kBillboard));
    EXPECT_EQ(globals.g_sArrivedInstanceId, L"USB\\VID_2109&PID_5030\\BB01");
    for (const wchar_t* line : {
             L"Information CUsbDevice::Init : USB device inserted:  \\\\?\\usb#vid_2109&pid_5030#bb01#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
             L"Information CUsbDevice::GetDeviceInfo : Device instance id =USB\\VID_2109&PID_5030\\BB01",
             L"Information CUsbDevice::GetDeviceInfo :   Enum instance id =USB\\VID_2109&PID_5030\\BB01",
             L"Information CUsbDevice::GetDeviceInfo : Hub name: \\\\?\\usb#root_hub30#4&1b7d5d1&0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
             L"Information CUsbDevice::GetDeviceInfo : Hub found, now read descriptor of each port ",
             L"Information CUsbDevice::GetDescriptor : Num ports = 6",
             L"Verbose CUsbDevice::GetDescriptor : cannot get info on this port: 2, move to next one.",
             L"Information CUsbDevice::GetDescriptor : port # = 3",
             L"Information CUsbDevice::GetDescriptor : bcdUSB = 0x201",
             L"Information CUsbDevice::GetDescriptor : BBID = 0x11",
             L"Information CUsbDevice::GetDescriptor : bDeviceSubClass = 0x0",
             L"Information CUsbDevice::GetDescriptor : idProduct = 0x5030",
             L"Information CUsbDevice::GetDescriptor : bcdDevice = 0x100",
             L"TraceIn CUsbDevice::GetDeviceInstFromDriverName : ",
             L"Verbose CUsbDevice::GetDeviceInstFromDriverName : SetupDiGetDeviceInstanceId [2] returns 1.",
             L"TraceOut CUsbDevice::Init : ",
         })
        EXPECT_TRUE(Logged(line)) << line;
    EXPECT_FALSE(Logged(L"Verbose CUsbDevice::GetDescriptor : cannot get info on this port: 4, move to next one."));
}

// A matching device whose class is in its interfaces is no billboard, and
// the ports after it are still asked; so is a hub that arrives, found on its
// parent hub's port; a device on the external hub is found through that hub.
TEST_F(UsbDevice, ANonBillboardMatchGoesOnThroughTheOtherPorts) {
    const struct {
        const wchar_t* path;
        Arvek::Ports::Guid interfaceClass;
        const wchar_t* port;
        const wchar_t* deviceClass;
    } cases[] = {
        {kKeyboard, Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE, L"port # = 1", L"BBID = 0x0"},
        {kExternalHub, Arvek::Ports::kGUID_DEVINTERFACE_USB_HUB, L"port # = 5", L"BBID = 0x9"},
        {kStick, Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE, L"port # = 1", L"BBID = 0x8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Arvek::NarrowUtf8(c.path));
        Arvek::Testing::ClearProcessLog();
        EXPECT_FALSE(Arrive(c.path, c.interfaceClass));
        EXPECT_TRUE(Logged(std::wstring(L"Information CUsbDevice::GetDescriptor : ") + c.port));
        EXPECT_TRUE(Logged(std::wstring(L"Information CUsbDevice::GetDescriptor : ") + c.deviceClass));
    }
    // The keyboard's and the external hub's search went on past port 3 to
    // the last port: port 4 was asked, port 6 has no driver to name.
    Arvek::Testing::ClearProcessLog();
    Arrive(kKeyboard);
    EXPECT_TRUE(Logged(L"Verbose CUsbDevice::GetDescriptor : cannot get info on this port: 4, move to next one."));
    EXPECT_TRUE(Logged(L"Information CUsbDevice::GetDriverKeyName : DeviceIoControl failed.  GetLastError: 0x48f"));
}

// The root hub arrives: its parent is the tree's root, which is no hub.
TEST_F(UsbDevice, ARootHubArrivalEndsAtItsParentWhichIsNoHub) {
    EXPECT_FALSE(Arrive(kRootHub, Arvek::Ports::kGUID_DEVINTERFACE_USB_HUB));
    EXPECT_EQ(globals.g_sArrivedInstanceId, L"USB\\ROOT_HUB30\\4&1B7D5D1&0&0");
    EXPECT_TRUE(Logged(L"Information CUsbDevice::GetDeviceInfo : Hub name: "));
    EXPECT_TRUE(Logged(L"Information CUsbDevice::GetDeviceInfo : CreateFile failed, GetLastError = 0x3"));
}

// Every step that fails ends the search with its line and no billboard.
TEST_F(UsbDevice, EveryFailingStepEndsWithItsLineAndNoBillboard) {
    const struct {
        const char* step;
        Arvek::HRESULT value;
        const wchar_t* line;
    } cases[] = {
        {"devices.class-devices", Arvek::MakeHr(0x80070005u),
         L"Information CUsbDevice::GetDeviceInfo : SetupDiGetClassDevs failed, GetLastError = 0x5"},
        {"devices.instance-id", Arvek::MakeHr(0x8007001Fu),
         L"Information CUsbDevice::GetDeviceInfo : SetupDiGetDeviceInstanceId failed, GetLastError = 0x1f"},
        {"devices.parent", Arvek::MakeHr(0x0D), L"Information CUsbDevice::GetDeviceInfo : CM_Get_Parent failed.  Error= 0"},
        {"devices.device-id", Arvek::MakeHr(0x1A), L"Information CUsbDevice::GetDeviceInfo : CM_Get_Parent failed.  Error= 0"},
        {"devices.open", Arvek::MakeHr(0x80070005u),
         L"Information CUsbDevice::GetDeviceInfo : CreateFile failed, GetLastError = 0x5"},
        {"devices.hub-request", Arvek::MakeHr(0x8007001Fu),
         L"Information CUsbDevice::GetDeviceInfo : DeviceIoControl failed, GetLastError = 0x1f"},
        {"devices.registry-property", Arvek::MakeHr(0x8007001Fu),
         L"Verbose CUsbDevice::GetDeviceInstFromDriverName : SetupDiGetDeviceRegistryProperty failed. GetLastError = 0x1f"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        SimNotebook machine(kTree);
        machine.machine.Faults().Fail(c.step, c.value);
        Arvek::Testing::ClearProcessLog();
        AgentGlobals globals;
        globals.g_bBillboardFound = true;  // from an earlier arrival
        CUsbDevice(machine.machine.Platform(), globals).Init(Arvek::Ports::MakeDeviceInterfaceBroadcast(
            Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE, kBillboard));
        EXPECT_FALSE(globals.g_bBillboardFound);
        EXPECT_TRUE(ProcessLogged(c.line));
        EXPECT_TRUE(ProcessLogged(L"TraceOut CUsbDevice::GetDeviceInfo : "));
    }
}

// Records and paths the system does not send: refused with a line, the
// globals reset, nothing searched.
TEST_F(UsbDevice, RecordsAndPathsTheSystemDoesNotSendAreRefused) {
    auto record = Arvek::Ports::MakeDeviceInterfaceBroadcast(Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE, L"\\\\?\\ab");
    const std::vector<std::uint8_t> unterminated(record.begin(), record.end() - 2);
    const auto noHash = Arvek::Ports::MakeDeviceInterfaceBroadcast(Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE,
                                                                   L"\\\\?\\USB_VID_2109_PID_5030");
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const wchar_t* line;
    } cases[] = {
        {"shorter than the header", std::vector<std::uint8_t>(record.begin(), record.begin() + 27),
         L"Information CUsbDevice::Init : Arrival record of 27 bytes is shorter than its 28-byte header: ignored"},
        {"no terminator", unterminated,
         L"Information CUsbDevice::Init : Arrival record of 40 bytes holds no terminated interface path: ignored"},
        {"no #", noHash,
         L"Information CUsbDevice::Init : Interface path without \"#\" names no device instance: "
         L"\\\\?\\USB_VID_2109_PID_5030"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Arvek::Testing::ClearProcessLog();
        globals.g_bBillboardFound = true;
        globals.g_sArrivedInstanceId = L"USB\\EARLIER";
        CUsbDevice(notebook.machine.Platform(), globals).Init(c.bytes);
        EXPECT_FALSE(globals.g_bBillboardFound);
        EXPECT_EQ(globals.g_sArrivedInstanceId, L"");
        EXPECT_TRUE(Logged(c.line));
        EXPECT_FALSE(Logged(L"TraceIn CUsbDevice::GetDeviceInfo : "));
    }
}

TEST(UsbDevicePath, TheInstanceIdIsThePathWithoutPrefixAndClassInUpperCase) {
    const struct {
        const wchar_t* path;
        std::optional<std::wstring> id;
    } cases[] = {
        {L"\\\\?\\usb#vid_2109&pid_5030#bb01#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", L"USB\\VID_2109&PID_5030\\BB01"},
        {L"\\\\?\\ROOT#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", L"ROOT"},
        {L"\\\\?\\usb#vid_1&pid_2#", L"USB\\VID_1&PID_2"},
        {L"\\\\?#usb", std::nullopt},  // its only "#" is inside the prefix
        {L"usb", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(InstanceIdFromInterfacePath(c.path), c.id);
}

// Keys and ids longer than the buffers they are read into, and a hub that
// says it has more ports than it answers for.
struct UsbDeviceOversized : UsbDevice {
    UsbDeviceOversized() : UsbDevice(Scenario().c_str()) {}
    static std::string Scenario() {
        static const std::string text = "[machine]\n[devices]\n"
            "hub USB\\ROOT_HUB30\\1 \\\\?\\usb#root_hub30#1#{f18a0e88-c30c-11d0-8815-00a0c906bed8} ports=2 reports=4\n"
            "port 1 DeviceConnected class=0x11 driver={36fc9e60-c465-11cf-8056-444553540000}\\" + std::string(270, '7') +
            " id=USB\\VID_1&PID_1\\LONGKEY\n"
            "interface \\\\?\\usb#vid_1&pid_1#longkey#{a5dcbf10-6530-11d2-901f-00c04fb951ed}\n"
            "port 2 DeviceConnected class=0x11 driver={36fc9e60-c465-11cf-8056-444553540000}\\0002 id=USB\\VID_1&PID_2\\" +
            std::string(300, 'A') + "\n"
            "interface \\\\?\\usb#vid_1&pid_2#" + std::string(300, 'a') + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}\n";
        return text;
    }
};

TEST_F(UsbDeviceOversized, LongKeysAndIdsAreRefusedAndMissingPortsOnlyLogged) {
    EXPECT_FALSE(Arrive(L"\\\\?\\usb#vid_1&pid_1#longkey#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    EXPECT_TRUE(Logged(L"Information CUsbDevice::GetDeviceInstFromDriverName : The driver key of device 1 needs 620 "
                       L"bytes, more than the 528 it is read into: device skipped"));
    EXPECT_FALSE(Logged(L"Information CUsbDevice::GetDescriptor : port # = 1"));
    EXPECT_TRUE(Logged(L"Verbose CUsbDevice::GetDescriptor : cannot get info on this port: 3, move to next one."));
    EXPECT_TRUE(Logged(L"Verbose CUsbDevice::GetDescriptor : cannot get info on this port: 4, move to next one."));

    Arvek::Testing::ClearProcessLog();
    EXPECT_FALSE(Arrive(L"\\\\?\\usb#vid_1&pid_2#" + std::wstring(300, L'a') + L"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    EXPECT_TRUE(Logged(L"Information CUsbDevice::GetDeviceInstFromDriverName : The instance id of the device with "
                       L"driver key {36fc9e60-c465-11cf-8056-444553540000}\\0002 needs 317 units, more than the 260 "
                       L"it is read into: not read"));
    EXPECT_FALSE(Logged(L"Information CUsbDevice::GetDescriptor : port # = 2"));
}

// A hub whose driver key name answers are scripted.
class ScriptedHub final : public Arvek::Ports::IControlDevice {
public:
    using Answer = std::function<std::uint32_t(std::vector<std::uint8_t>&)>;
    explicit ScriptedHub(std::vector<Answer> answers) : m_answers(std::move(answers)) {}
    std::uint32_t Control(std::uint32_t, std::vector<std::uint8_t>& record, std::uint32_t& returned) override {
        returned = static_cast<std::uint32_t>(record.size());
        if (m_next >= m_answers.size()) return 1;
        return m_answers[m_next++](record);
    }

private:
    std::vector<Answer> m_answers;
    std::size_t m_next = 0;
};

ScriptedHub::Answer Length(std::uint32_t length) {
    return [length](std::vector<std::uint8_t>& record) {
        for (int i = 0; i < 4; ++i) record[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
        return 0u;
    };
}

// The name record's length as the hub gives it, and its second answer.
TEST_F(UsbDevice, TheDriverKeyNameIsReadInTheLengthTheHubGives) {
    const auto name = [](std::vector<std::uint8_t>& record) {
        // "AB" and no terminator: the name runs to the end of the record.
        record[8] = 'A';
        record[10] = 'B';
        return 0u;
    };
    const auto fails = [](std::vector<std::uint8_t>&) { return 31u; };
    const struct {
        const char* name;
        std::vector<ScriptedHub::Answer> answers;
        std::wstring key;
        const wchar_t* line;
    } cases[] = {
        {"a name", {Length(12), name}, L"AB", nullptr},
        {"the first request fails", {fails}, L"",
         L"Information CUsbDevice::GetDriverKeyName : DeviceIoControl failed.  GetLastError: 0x1f"},
        {"the second request fails", {Length(12), fails}, L"",
         L"Information CUsbDevice::GetDriverKeyName : DeviceIoControl failed [2].  GetLastError: 0x1f"},
        {"shorter than the record", {Length(9)}, L"",
         L"Information CUsbDevice::GetDriverKeyName : The hub gives a driver key name record of 9 bytes for port 2, "
         L"which holds no name: port skipped"},
        {"longer than a name can be", {Length(0xFFFFFFFFu)}, L"",
         L"Information CUsbDevice::GetDriverKeyName : The hub gives a driver key name record of 4294967295 bytes for "
         L"port 2, which holds no name: port skipped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Arvek::Testing::ClearProcessLog();
        ScriptedHub hub(c.answers);
        EXPECT_EQ(CUsbDevice(notebook.machine.Platform(), globals).GetDriverKeyName(hub, 2), c.key);
        if (c.line) {
            EXPECT_TRUE(Logged(c.line));
        }
    }
}

}  // namespace

namespace {

// usb-arrive: the record reaches the window registered for the interface's
// class, as the system sends it; without one, the transcript says so.
TEST(UsbArriveStimulus, TheArrivalGoesToTheWindowRegisteredForItsClass) {
    SimNotebook notebook(kTree);
    auto& windowing = notebook.machine.Windowing();
    struct Received {
        std::uintptr_t wParam;
        Arvek::Ports::DeviceInterfaceBroadcast record;
    };
    std::vector<Received> received;
    const auto procedure = [&](Arvek::Ports::WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) {
        if (message == Arvek::Ports::kWM_DEVICECHANGE)
            received.push_back(
                {wParam, Arvek::Ports::ReadDeviceInterfaceBroadcast(Arvek::Ports::DeviceBroadcastAt(lParam))});
        return std::intptr_t{0};
    };
    ASSERT_TRUE(windowing.RegisterWindowClass({L"Listener", 0, procedure, true, 0}));
    const auto window = windowing.CreateMainWindow(0, L"Listener", L"", 0);
    const auto arrive = [&](const std::string& path) {
        const Arvek::Sim::StimulusLine line("t.scenario", 1, "", {path}, path, "");
        Arvek::Sim::FindStimulus("usb-arrive")->read(line)->Apply(notebook.machine);
    };

    arrive(Arvek::NarrowUtf8(kBillboard));
    EXPECT_TRUE(received.empty());
    ASSERT_NE(windowing.RegisterDeviceInterfaceNotification(window, Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE), 0u);
    arrive(Arvek::NarrowUtf8(kBillboard));
    arrive(Arvek::NarrowUtf8(kExternalHub));  // a hub's: nobody listens for hubs
    ASSERT_NE(windowing.RegisterDeviceInterfaceNotification(window, Arvek::Ports::kGUID_DEVINTERFACE_USB_HUB), 0u);
    arrive(Arvek::NarrowUtf8(kExternalHub));
    arrive("\\\\?\\USB_NOT_IN_THE_TREE");  // the USB device class, for want of one

    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].wParam, Arvek::Ports::kDBT_DEVICEARRIVAL);
    EXPECT_EQ(received[0].record.deviceType, Arvek::Ports::kDBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_EQ(received[0].record.size, 28 + 2 * (std::wcslen(kBillboard) + 1));
    EXPECT_EQ(received[0].record.name, kBillboard);
    EXPECT_EQ(received[0].record.interfaceClass, Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE);
    EXPECT_EQ(received[1].record.name, kExternalHub);
    EXPECT_EQ(received[1].record.interfaceClass, Arvek::Ports::kGUID_DEVINTERFACE_USB_HUB);
    EXPECT_EQ(received[2].record.name, L"\\\\?\\USB_NOT_IN_THE_TREE");
    EXPECT_EQ(received[2].record.interfaceClass, Arvek::Ports::kGUID_DEVINTERFACE_USB_DEVICE);

    const auto texts = notebook.machine.Log().Texts("devices");
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0], std::wstring(L"arrival of ") + kBillboard +
                            L" (class {A5DCBF10-6530-11D2-901F-00C04FB951ED}): no window is registered for the "
                            L"class, nothing sent");
    EXPECT_EQ(texts[1], std::wstring(L"arrival of ") + kBillboard +
                            L" (class {A5DCBF10-6530-11D2-901F-00C04FB951ED}): WM_DEVICECHANGE DBT_DEVICEARRIVAL to "
                            L"window 0xA0100");
    EXPECT_NE(texts[2].find(L"(class {F18A0E88-C30C-11D0-8815-00A0C906BED8}): no window"), std::wstring::npos);
}

// The [devices] lines an administrator could get wrong are refused with
// the file and the line.
TEST(DeviceTreeScenario, MalformedLinesAreRefusedWithTheirLine) {
    const std::string hub = "hub USB\\ROOT_HUB30\\1 \\\\?\\usb#root_hub30#1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    const struct {
        std::string lines;
        const char* error;
    } cases[] = {
        {"port 1 DeviceConnected", "s.scenario:3: a port line needs a hub line before it"},
        {hub + "\nport 0 DeviceConnected", "s.scenario:4: ports are numbered from 1"},
        {hub + "\nport 1 plugged", "s.scenario:4: the connection status is"},
        {hub + "\nport 1 DeviceConnected colour=red", "s.scenario:4: unknown word \"colour=red\""},
        {hub + "\nport 1 DeviceConnected class=0x100", "s.scenario:4: class must be a number from 0 to 255"},
        {hub + "\nport 1 DeviceConnected\nport 1 empty", "s.scenario:5: a second line for port 1"},
        {hub + "\nport 1 DeviceConnected driver={x}\\1", "s.scenario:4: driver= and absent describe the port's device"},
        {"interface \\\\?\\usb#a#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", "s.scenario:3: an interface line belongs"},
        {"device USB\\A\\1\ninterface \\\\?\\usb#a#1", "s.scenario:4: an interface path ends in #{its interface class}"},
        {hub + " ports=2\nport 3 DeviceConnected", "s.scenario: hub USB\\ROOT_HUB30\\1 has 2 ports, but a line describes port 3"},
        {"switch A B", "s.scenario:3: expected a hub, port, device or interface line"},
    };
    for (const auto& c : cases) Arvek::Testing::ExpectScenarioRefused("[machine]\n[devices]\n" + c.lines + "\n", c.error);
}

}  // namespace
