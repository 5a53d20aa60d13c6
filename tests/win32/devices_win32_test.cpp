// The devices adapter over the real Windows API, under Wine: the setup API's
// interface lists, opening for overlapped I/O, the events, and overlapped
// I/O control requests against a named pipe whose server end the test plays.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>

#include "contract/devices_contract.h"
#include "usb_registry_win32.h"
#include "win32/devices_win32.h"
#include "win32/handles.h"

namespace Arvek::Win32 {
namespace {

using Ports::EventHandle;

constexpr std::uint32_t kPresentInterfaces = Ports::kDIGCF_PRESENT | Ports::kDIGCF_DEVICEINTERFACE;

// The platform driver's interface class.
constexpr Ports::Guid kPlatformDriverClass{0x38E184EA, 0x2138, 0x468C, {0xAE, 0xE5, 0x12, 0x80, 0x53, 0x2B, 0x5C, 0x2D}};
// HID devices: Wine lists a virtual one in a fresh prefix.
constexpr Ports::Guid kHidClass{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// Named pipe requests (the mingw headers lack the second).
constexpr std::uint32_t kFsctlPipePeek = 0x0011400C;
constexpr std::uint32_t kFsctlPipeTransceive = 0x0011C017;

TEST(Win32Devices, ThePlatformDriverClassIsListedWithoutInterfacesUnderWine) {
    Win32Devices devices;
    std::unique_ptr<Ports::IDeviceInterfaceList> list;
    ASSERT_EQ(devices.GetClassDevices(kPlatformDriverClass, kPresentInterfaces, list), 0u);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->EnumerateInterface(0), Ports::kERROR_NO_MORE_ITEMS);

    // Nothing was enumerated: the detail calls fail cleanly.
    std::uint32_t size = 1234;
    EXPECT_NE(list->DetailSize(size), 0u);
    std::wstring path = L"stale";
    std::uint32_t error = 0;
    EXPECT_FALSE(list->ReadDetail(64, path, error));
    EXPECT_NE(error, 0u);
    EXPECT_TRUE(path.empty());
}

TEST(Win32Devices, AnInterfacesDetailGivesItsPathInTheSizeAskedFor) {
    Win32Devices devices;
    std::unique_ptr<Ports::IDeviceInterfaceList> list;
    ASSERT_EQ(devices.GetClassDevices(kHidClass, kPresentInterfaces, list), 0u);
    if (list->EnumerateInterface(0) != 0) GTEST_SKIP() << "this Wine prefix lists no HID device";

    std::uint32_t size = 0;
    EXPECT_EQ(list->DetailSize(size), Ports::kERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(size, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));

    std::wstring path;
    std::uint32_t error = 1;
    ASSERT_TRUE(list->ReadDetail(size, path, error));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(path.rfind(L"\\\\?\\", 0), 0u);
    // The path fills the record up to its terminator.
    const std::size_t header = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    EXPECT_EQ((path.size() + 1) * sizeof(wchar_t), size - header);

    for (const std::uint32_t tooSmall : {size - 2, std::uint32_t{7}, std::uint32_t{0}}) {
        std::wstring none = L"stale";
        EXPECT_FALSE(list->ReadDetail(tooSmall, none, error)) << tooSmall;
        EXPECT_EQ(error, Ports::kERROR_INSUFFICIENT_BUFFER) << tooSmall;
        EXPECT_TRUE(none.empty()) << tooSmall;
    }
}

TEST(Win32Devices, OpeningAPathThatDoesNotExistGivesTheErrorAndNoDevice) {
    Win32Devices devices;
    for (const wchar_t* path : {L"\\\\.\\ArvekNoSuchDevice", L"C:\\arvek-no-such-folder\\device",
                                L"\\\\.\\pipe\\arvek-no-such-pipe"}) {
        std::unique_ptr<Ports::IDevice> device;
        const std::uint32_t error = devices.OpenOverlapped(path, device);
        EXPECT_TRUE(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) << error;
        EXPECT_FALSE(device);
    }
}

TEST(Win32Devices, WaitAnyGivesTheSignalledEventsIndexAndConsumesTheSignal) {
    Win32Devices devices;
    EventHandle first = 0;
    EventHandle second = 0;
    ASSERT_EQ(devices.CreateAutoResetEvent(first), 0u);
    ASSERT_EQ(devices.CreateAutoResetEvent(second), 0u);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, first);
    const auto handle = [](EventHandle event) { return reinterpret_cast<HANDLE>(event); };

    // Created unsignalled.
    EXPECT_EQ(::WaitForSingleObject(handle(first), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(::SetEvent(handle(second)));
    EXPECT_EQ(devices.WaitAny({first, second}), 1u);
    // Auto-reset: the wait took the signal.
    EXPECT_EQ(::WaitForSingleObject(handle(second), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(::SetEvent(handle(first)));
    EXPECT_EQ(devices.WaitAny({first, second}), 0u);

    devices.CloseEvent(first);
    devices.CloseEvent(0);  // none: nothing to close
    EXPECT_EQ(devices.WaitAny({}), Ports::kWAIT_FAILED);
    EXPECT_EQ(devices.WaitAny({second, first}), Ports::kWAIT_FAILED);  // `first` is closed
    EXPECT_EQ(devices.WaitAny({0}), Ports::kWAIT_FAILED);
    devices.CloseEvent(second);
}

// A message pipe whose server end the test holds; the client end is the
// device under test, opened through the adapter. Its read mode is set to
// messages, as a request/answer exchange (transceive) needs, on its handle,
// which the port does not show: the test finds it as the one pipe client
// handle that opening the device added to the process.
class Win32DevicesPipeTest : public testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        const std::wstring name = L"\\\\.\\pipe\\arvek-devices-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(++counter);
        m_server.Reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0,
                                          nullptr));
        ASSERT_TRUE(m_server) << ::GetLastError();

        const std::set<HANDLE> before = ProcessHandles();
        ASSERT_EQ(devices.OpenOverlapped(name, device), 0u);
        ASSERT_TRUE(device);
        HANDLE client = nullptr;
        for (HANDLE candidate : ProcessHandles()) {
            DWORD flags = 0;
            if (before.count(candidate) == 0 && ::GetNamedPipeInfo(candidate, &flags, nullptr, nullptr, nullptr) &&
                (flags & PIPE_SERVER_END) == 0)
                client = candidate;
        }
        ASSERT_NE(client, nullptr) << "the device's pipe handle was not found";
        DWORD mode = PIPE_READMODE_MESSAGE;
        ASSERT_TRUE(::SetNamedPipeHandleState(client, &mode, nullptr, nullptr)) << ::GetLastError();

        ASSERT_EQ(devices.CreateAutoResetEvent(completion), 0u);
        ASSERT_EQ(devices.CreateAutoResetEvent(stop), 0u);
    }

    void TearDown() override {
        device.reset();
        devices.CloseEvent(completion);
        devices.CloseEvent(stop);
    }

    bool Signalled(EventHandle event) {
        return ::WaitForSingleObject(reinterpret_cast<HANDLE>(event), 0) == WAIT_OBJECT_0;
    }

    // The server's side of the exchange, each call run to its end.
    std::string ServerRead() {
        char buffer[256] = {};
        DWORD count = 0;
        if (!Finish(::ReadFile(m_server.Get(), buffer, sizeof(buffer), nullptr, Overlapped()), count)) return "<failed>";
        return std::string(buffer, count);
    }
    bool ServerWrite(const std::string& message) {
        DWORD count = 0;
        return Finish(::WriteFile(m_server.Get(), message.data(), static_cast<DWORD>(message.size()), nullptr,
                                  Overlapped()),
                      count) &&
               count == message.size();
    }

    static std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
    void CloseServer() { m_server.Reset(); }

    Win32Devices devices;
    std::unique_ptr<Ports::IDevice> device;
    EventHandle completion = 0;
    EventHandle stop = 0;

private:
    static std::set<HANDLE> ProcessHandles() {
        std::set<HANDLE> handles;
        for (std::uintptr_t value = 4; value < 0x4000; value += 4) {
            DWORD flags = 0;
            if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
                handles.insert(reinterpret_cast<HANDLE>(value));
        }
        return handles;
    }
    OVERLAPPED* Overlapped() {
        m_overlapped = OVERLAPPED{};
        m_overlapped.hEvent = m_serverEvent.Get();
        return &m_overlapped;
    }
    bool Finish(BOOL started, DWORD& count) {
        if (!started && ::GetLastError() != ERROR_IO_PENDING) return false;
        return ::GetOverlappedResult(m_server.Get(), &m_overlapped, &count, TRUE) != FALSE;
    }

    UniqueFile m_server;
    UniqueKernelHandle m_serverEvent{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED m_overlapped{};
};

TEST_F(Win32DevicesPipeTest, ARequestIsUnderWayUntilTheServerAnswers) {
    ASSERT_EQ(device->StartControl(kFsctlPipeTransceive, Bytes("ping"), 16, completion), Ports::kERROR_IO_PENDING);
    EXPECT_FALSE(Signalled(completion));
    EXPECT_EQ(device->Output(), std::vector<std::uint8_t>(16, 0));

    EXPECT_EQ(ServerRead(), "ping");
    EXPECT_FALSE(Signalled(completion));  // the question alone does not complete it
    EXPECT_EQ(device->Output(), std::vector<std::uint8_t>(16, 0));

    ASSERT_TRUE(ServerWrite("answer"));
    EXPECT_EQ(devices.WaitAny({stop, completion}), 1u);
    std::vector<std::uint8_t> expected = Bytes("answer");
    expected.resize(16, 0);
    EXPECT_EQ(device->Output(), expected);
    EXPECT_EQ(device->Output(), expected);  // unchanged once complete
    EXPECT_EQ(device->CompletionError(), 0u);
}

// What a request completed with: under way, cancelled, failed after it went
// pending (the other end of the pipe went away).
TEST_F(Win32DevicesPipeTest, ARequestReportsWhatItCompletedWith) {
    ASSERT_EQ(device->StartControl(kFsctlPipeTransceive, Bytes("one"), 8, completion), Ports::kERROR_IO_PENDING);
    EXPECT_EQ(device->CompletionError(), Ports::kERROR_IO_INCOMPLETE);
    device->CancelPending();
    EXPECT_EQ(device->CompletionError(), Ports::kERROR_OPERATION_ABORTED);

    ASSERT_EQ(device->StartControl(kFsctlPipeTransceive, Bytes("two"), 8, completion), Ports::kERROR_IO_PENDING);
    EXPECT_EQ(ServerRead(), "one");
    EXPECT_EQ(ServerRead(), "two");
    CloseServer();
    EXPECT_EQ(devices.WaitAny({stop, completion}), 1u);
    const std::uint32_t error = device->CompletionError();
    EXPECT_NE(error, 0u);
    EXPECT_NE(error, Ports::kERROR_IO_INCOMPLETE);
}

TEST_F(Win32DevicesPipeTest, ANewRequestOrCancelPendingEndsTheOneUnderWay) {
    ASSERT_EQ(device->StartControl(kFsctlPipeTransceive, Bytes("one"), 8, completion), Ports::kERROR_IO_PENDING);
    // A new request cancels the one still under way before it starts.
    ASSERT_EQ(device->StartControl(kFsctlPipeTransceive, Bytes("two"), 8, completion), Ports::kERROR_IO_PENDING);
    EXPECT_EQ(ServerRead(), "one");  // the questions had been sent
    EXPECT_EQ(ServerRead(), "two");
    device->CancelPending();
    device->CancelPending();  // none under way: nothing

    // No cancelled request takes the late answer: it waits in the pipe.
    ASSERT_TRUE(ServerWrite("late"));
    EXPECT_EQ(device->Output(), std::vector<std::uint8_t>(8, 0));
    ASSERT_EQ(device->StartControl(kFsctlPipePeek, {}, 20, completion), 0u);
    const std::vector<std::uint8_t> peeked = device->Output();
    EXPECT_EQ(std::string(peeked.begin() + 16, peeked.end()), "late");
}

TEST_F(Win32DevicesPipeTest, DestroyingTheDeviceEndsTheRequestUnderWay) {
    ASSERT_EQ(device->StartControl(kFsctlPipeTransceive, Bytes("bye"), 8, completion), Ports::kERROR_IO_PENDING);
    device.reset();  // cancels, waits for the request's end, closes
    EXPECT_EQ(ServerRead(), "bye");
}

TEST_F(Win32DevicesPipeTest, RequestsThatCompleteAtOnceOrFailAreNotUnderWay) {
    // Peeking completes at once: the header (state, bytes available, messages,
    // message length) and the waiting message.
    ASSERT_TRUE(ServerWrite("hi"));
    ASSERT_EQ(device->StartControl(kFsctlPipePeek, {}, 18, completion), 0u);
    const std::vector<std::uint8_t> peeked = device->Output();
    ASSERT_EQ(peeked.size(), 18u);
    std::uint32_t available = 0;
    std::memcpy(&available, peeked.data() + 4, sizeof(available));
    EXPECT_EQ(available, 2u);
    EXPECT_EQ(std::string(peeked.begin() + 16, peeked.end()), "hi");
    EXPECT_EQ(device->CompletionError(), 0u);

    // A request the pipe does not know fails with its error.
    const std::uint32_t error = device->StartControl(0x00220000, Bytes("x"), 4, completion);
    EXPECT_NE(error, 0u);
    EXPECT_NE(error, Ports::kERROR_IO_PENDING);
    EXPECT_EQ(device->Output(), std::vector<std::uint8_t>(4, 0));
    EXPECT_EQ(device->CompletionError(), error);
    device->CancelPending();  // nothing under way: returns at once
}

}  // namespace
}  // namespace Arvek::Win32

namespace Arvek::Testing {
namespace {

// The devices contract against Wine's setup API, over fake devices in the
// prefix's registry.
class Win32DevicesBackend final : public DevicesContractBackend {
public:
    Ports::IDevices& Devices() override { return m_devices; }
    void AddDevice(const std::wstring& instanceId, const std::wstring& path, const Ports::Guid& interfaceClass,
                   bool present, const std::optional<std::wstring>& driverKey) override {
        m_fakes.Add(instanceId, path, interfaceClass, present, driverKey);
    }

private:
    FakeUsbDevices m_fakes;
    Win32::Win32Devices m_devices;
};

std::unique_ptr<DevicesContractBackend> MakeWin32Backend() { return std::make_unique<Win32DevicesBackend>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32, DevicesContract, testing::Values(&MakeWin32Backend),
                         [](const auto&) { return std::string("Win32Devices"); });

}  // namespace Arvek::Testing
