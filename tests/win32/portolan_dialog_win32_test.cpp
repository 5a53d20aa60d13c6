// Portolan.exe under Wine, driven from outside as a user's second program
// would: the rows its list shows, and a second start while it runs. Needs an
// X display (the suite name puts it among the windowing tests) and the Tolm
// stand-in registered; it skips when the stand-in is missing.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <type_traits>
#include <string>
#include <thread>
#include <deque>
#include <vector>

#include "tolm/usbc_bios_info.h"
#include "viewer/port_table.h"
#include "win32/resources_win32.h"
#include "win32/tolm_win32.h"
#include "win32/xml_win32.h"
#include "desktop_win32.h"

namespace {

using Arvek::Testing::Capture;
using Arvek::Testing::DosPath;
using Arvek::Testing::LoadsCommonControls6;
using Arvek::Testing::Start;
using Arvek::Testing::Started;
using Arvek::Testing::ToScreen;

constexpr wchar_t kClassName[] = L"USB_TYPE_C_SINGLE_INSTANCE_314";
constexpr wchar_t kCommandClassKey[] = L"CLSID\\{CA490AE1-8C69-45D5-9533-D4692726F2FB}";

// One port with a mix of features, so that every row has a status of its
// own: 180 steps of 250 mW are 45 W.
constexpr char kScenario[] = R"(# Portolan's dialog test: one port.
[machine]
model = Portolan dialog test notebook

[tolm]
Platform.USBC.Configuration = text <<XML
<?xml version="1.0" encoding="UTF-8"?>
<GetUsbCPortsConfigurationOutput>
  <Output>
    <Data>
      <NumberOfPorts>1</NumberOfPorts>
      <SizeOfPort>40</SizeOfPort>
      <Port0>
        <SupportBasicUsb>true</SupportBasicUsb>
        <SupportUsb31Gen2>true</SupportUsb31Gen2>
        <SupportUpstreamPowerDelivery>false</SupportUpstreamPowerDelivery>
        <SupportDownstreamPowerDelivery>true</SupportDownstreamPowerDelivery>
        <SupportDisplayPortAlternateMode>true</SupportDisplayPortAlternateMode>
        <SupportThunderboltAlternateMode>false</SupportThunderboltAlternateMode>
        <DisplayPortLaneX2>true</DisplayPortLaneX2>
        <DisplayPortLaneX4>false</DisplayPortLaneX4>
        <MaxUpstreamPower>0</MaxUpstreamPower>
        <MaxDownstreamPower>180</MaxDownstreamPower>
      </Port0>
    </Data>
  </Output>
</GetUsbCPortsConfigurationOutput>
XML
)";

bool StandinRegistered() {
    HKEY key = nullptr;
    const std::wstring inproc = std::wstring(kCommandClassKey) + L"\\InprocServer32";
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, inproc.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

int CountWindowsOfClass() {
    int count = 0;
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            if (std::wstring(name) == kClassName) ++*reinterpret_cast<int*>(data);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

HWND WaitForDialog(std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        HWND dialog = ::FindWindowW(kClassName, nullptr);
        // Rows are inserted while the dialog initialises; the window is
        // complete once it is visible.
        if (dialog != nullptr && ::IsWindowVisible(dialog)) return dialog;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return nullptr;
}

// Sends `msg` to a window of another process with `data` copied into that
// process's memory (followed by `extra` spare bytes) and copies it back.
// Returns the message's result, or nothing when the memory could not be had.
template <class T>
std::optional<LRESULT> RemoteSend(HANDLE process, HWND window, UINT msg, WPARAM wParam, T& data,
                                  std::size_t extra = 0, std::vector<BYTE>* extraOut = nullptr) {
    const std::size_t size = sizeof(T) + extra;
    auto* remote = static_cast<BYTE*>(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) return std::nullopt;
    std::optional<LRESULT> result;
    SIZE_T moved = 0;
    if constexpr (std::is_same_v<T, LVITEMW>) {
        data.pszText = reinterpret_cast<LPWSTR>(remote + sizeof(T));
    }
    if (::WriteProcessMemory(process, remote, &data, sizeof(T), &moved)) {
        result = ::SendMessageW(window, msg, wParam, reinterpret_cast<LPARAM>(remote));
        ::ReadProcessMemory(process, remote, &data, sizeof(T), &moved);
        if (extraOut != nullptr) {
            extraOut->assign(extra, 0);
            ::ReadProcessMemory(process, remote + sizeof(T), extraOut->data(), extra, &moved);
        }
    }
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return result;
}

// LVM_GETITEMTEXTW into the other process's memory.
std::wstring RemoteItemText(HANDLE process, HWND list, int item, int subItem) {
    constexpr std::size_t kChars = 256;
    LVITEMW request{};
    request.iSubItem = subItem;
    request.cchTextMax = kChars;
    std::vector<BYTE> bytes;
    const auto length = RemoteSend(process, list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), request,
                                   kChars * sizeof(wchar_t), &bytes);
    if (!length) return L"<no memory>";
    std::wstring text(kChars, L'\0');
    std::memcpy(text.data(), bytes.data(), bytes.size());
    text.resize(static_cast<std::size_t>(*length));
    return text;
}

// The bounds of a row, in the list's client coordinates.
RECT RemoteRowRect(HANDLE process, HWND list, int item) {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    if (!RemoteSend(process, list, LVM_GETITEMRECT, static_cast<WPARAM>(item), rect).value_or(0)) return RECT{};
    return rect;
}

// What the dialog's list looks like on the screen.
struct Colours {
    int headerHeight = 0;
    int firstRowTop = 0;
    unsigned headerItem0 = 0;
    unsigned headerItem1 = 0;
    unsigned evenRow = 0;  // row 0
    unsigned oddRow = 0;   // row 1
};

Colours SampleColours(const Capture& capture, HANDLE process, HWND list) {
    Colours colours;
    HWND header = ::GetDlgItem(list, 0);
    RECT headerRect{};
    ::GetClientRect(header, &headerRect);
    colours.headerHeight = headerRect.bottom;
    const int featureWidth = static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
    // Near the bottom of each header item, below its vertically centred text.
    colours.headerItem0 = capture.At(ToScreen(header, 2, headerRect.bottom - 3));
    colours.headerItem1 = capture.At(ToScreen(header, featureWidth + 2, headerRect.bottom - 3));

    RECT listClient{};
    ::GetClientRect(list, &listClient);
    const RECT row0 = RemoteRowRect(process, list, 0);
    const RECT row1 = RemoteRowRect(process, list, 1);
    colours.firstRowTop = row0.top;
    // At the right of the status column, clear of its short text.
    const int x = listClient.right - 4;
    colours.evenRow = capture.At(ToScreen(list, x, (row0.top + row0.bottom) / 2));
    colours.oddRow = capture.At(ToScreen(list, x, (row1.top + row1.bottom) / 2));
    return colours;
}

class PortolanWindowing : public ::testing::Test {
protected:
    void SetUp() override {
        if (!StandinRegistered()) GTEST_SKIP() << "the Tolm stand-in is not registered in this prefix";
        wchar_t folder[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        m_scenarioFile = std::wstring(folder) + L"portolan-dialog-test.scenario";
        if (FILE* out = ::_wfopen(m_scenarioFile.c_str(), L"wb")) {
            std::fwrite(kScenario, 1, sizeof(kScenario) - 1, out);
            std::fclose(out);
        }
        const std::wstring& scenario = m_scenarioFile;
        HKEY key = nullptr;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, kCommandClassKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        ::RegSetValueExW(key, L"Scenario", 0, REG_SZ, reinterpret_cast<const BYTE*>(scenario.c_str()),
                         static_cast<DWORD>((scenario.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
        m_program = DosPath(ARVEK_PORTOLAN_EXE);
    }
    void TearDown() override {
        for (auto& started : m_started) Arvek::Testing::Finish(started);
        ::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, kCommandClassKey, L"Scenario");
        if (!m_scenarioFile.empty()) ::DeleteFileW(m_scenarioFile.c_str());
    }
    Started& Launch() {
        m_started.push_back(Start(m_program));
        return m_started.back();
    }
    // What the dialog should show: the same query and table, with the
    // strings read from Portolan.exe itself.
    Portolan::PortTable ExpectedTable() const {
        HMODULE module = ::LoadLibraryExW(m_program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        EXPECT_NE(module, nullptr);
        Arvek::Win32::Win32Resources strings(module);
        Arvek::Win32::Win32Tolm tolm;
        Arvek::Win32::Win32XmlParser xml;
        const HRESULT com = ::CoInitialize(nullptr);
        const auto config = Arvek::Tolm::CUsbCBiosInfo(tolm, xml).GetUsbCConfigInfo();
        auto table = Portolan::BuildPortTable(config, strings);
        if (SUCCEEDED(com)) ::CoUninitialize();
        ::FreeLibrary(module);
        return table;
    }

    std::wstring m_program;
    std::wstring m_scenarioFile;
    std::deque<Started> m_started;  // stable references across Launch()
};

TEST_F(PortolanWindowing, ListShowsTheTableAndASecondStartAddsNoWindow) {
    Started& first = Launch();
    ASSERT_TRUE(first.ok);
    HWND dialog = WaitForDialog(std::chrono::seconds(30));
    ASSERT_NE(dialog, nullptr) << "Portolan.exe showed no dialog";
    HWND list = ::GetDlgItem(dialog, 1000);
    ASSERT_NE(list, nullptr);

    const Portolan::PortTable expected = ExpectedTable();
    ASSERT_EQ(expected.rows.size(), 6u);
    // The query answered (a failed one gives the all-zero table, 0W).
    EXPECT_EQ(expected.rows[5].status, L"45W");
    ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 6);
    for (int row = 0; row < 6; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(RemoteItemText(first.info.hProcess, list, row, 0), expected.rows[row].feature);
        EXPECT_EQ(RemoteItemText(first.info.hProcess, list, row, 1), expected.rows[row].status);
    }
    // The manifest asks for version 6 of the common controls, which the
    // system loads from its side-by-side store.
    EXPECT_TRUE(LoadsCommonControls6(first.info.hProcess));
    RECT dialogRect{};
    ::GetWindowRect(dialog, &dialogRect);
    const int dialogWidth = dialogRect.right - dialogRect.left;
    const Portolan::ColumnWidths widths = Portolan::ComputeColumnWidths(&dialogWidth);
    EXPECT_EQ(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), widths.feature);
    EXPECT_EQ(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), widths.status);
    EXPECT_EQ(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 2, 0), 500);
    wchar_t caption[256] = {};
    ::GetWindowTextW(dialog, caption, 256);
    EXPECT_EQ(std::wstring(caption), expected.caption);

    // Let the dialog paint, then keep a picture of it for review and check
    // the colours it drew: grey header items 50 pixels high above the rows,
    // white even rows and light grey odd ones (high contrast is off here).
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const Capture capture(dialog);
    capture.SaveBmp(DosPath(ARVEK_ARTIFACTS_DIR "/portolan.bmp"));

    const Colours colours = SampleColours(capture, first.info.hProcess, list);
    EXPECT_EQ(colours.headerHeight, 50);
    EXPECT_GE(colours.firstRowTop, 50) << "the rows start under the header";
    EXPECT_EQ(colours.headerItem0, 0x707070u);
    EXPECT_EQ(colours.headerItem1, 0x747474u);
    EXPECT_EQ(colours.evenRow, 0xFFFFFFu);
    EXPECT_EQ(colours.oddRow, 0xE2E2E2u);

    // Another window takes the foreground; the second start gives it back
    // to the dialog.
    HWND other = ::CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    ::SetForegroundWindow(other);
    ASSERT_EQ(::GetForegroundWindow(), other);

    Started& second = Launch();
    ASSERT_TRUE(second.ok);
    ASSERT_EQ(::WaitForSingleObject(second.info.hProcess, 30000), WAIT_OBJECT_0) << "the second copy kept running";
    DWORD exitCode = 1;
    ::GetExitCodeProcess(second.info.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(CountWindowsOfClass(), 1);
    EXPECT_EQ(::GetForegroundWindow(), dialog);
    ::DestroyWindow(other);

    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(::WaitForSingleObject(first.info.hProcess, 30000), WAIT_OBJECT_0) << "OK did not end the program";
    EXPECT_EQ(CountWindowsOfClass(), 0);
}

// A copy that finds the name taken but no window to bring forward (the
// first copy has not made it yet, or something else holds the mutex) ends
// without showing anything.
TEST_F(PortolanWindowing, MutexWithoutWindowEndsTheNewCopyQuietly) {
    HANDLE mutex = ::CreateMutexW(nullptr, TRUE, kClassName);
    ASSERT_NE(mutex, nullptr);
    Started& started = Launch();
    ASSERT_TRUE(started.ok);
    EXPECT_EQ(::WaitForSingleObject(started.info.hProcess, 30000), WAIT_OBJECT_0) << "the new copy kept running";
    DWORD exitCode = 1;
    ::GetExitCodeProcess(started.info.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(CountWindowsOfClass(), 0);
    ::CloseHandle(mutex);
}

}  // namespace
