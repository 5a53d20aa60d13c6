// window-tool.exe: looks for a top-level window by class from outside its
// program and sends it messages, as another program of the session, or the
// system, would.
//
//   window-tool.exe find CLASS    exit 0 when such a window exists, else 1
//   window-tool.exe close CLASS   posts WM_CLOSE to it
//   window-tool.exe post CLASS MESSAGE WPARAM [LPARAM]
//                                 posts the message (numbers decimal or 0x hex)
//   window-tool.exe send CLASS MESSAGE WPARAM [LPARAM]
//                                 sends it and waits for the window's answer
//                                 (at most 30 s), which it prints
//   window-tool.exe arrive CLASS DEVICE-PATH
//                                 sends WM_DEVICECHANGE DBT_DEVICEARRIVAL with a
//                                 USB device-interface broadcast record of that
//                                 path, as the system does on a device arrival
//   window-tool.exe watch CLASS  waits (at most 60 s) for such a window, then
//                                 sends it WM_NULL, which its thread answers
//                                 once it takes messages; prints the times
//                                 of both as "window SECONDS" and "answered
//                                 SECONDS" (Unix time, microseconds)
//   window-tool.exe receive CLASS
//                                 makes a hidden window of that class and waits
//                                 (at most 30 s) for one WM_DEVICECHANGE; prints
//                                 its wParam and the record it could read
//
// Exit codes: 0 done, 1 no such window, 2 wrong command line, 3 posting or
// sending failed (or the window did not answer in time), 4 nothing received.
#include <windows.h>
#include <dbt.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr UINT kSendTimeoutMs = 30000;
constexpr UINT_PTR kReceiveTimer = 1;
constexpr ULONGLONG kWatchLimitMs = 60000;

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}: USB device interfaces.
constexpr GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

bool ParseNumber(const wchar_t* text, unsigned long long& value) {
    wchar_t* end = nullptr;
    errno = 0;
    value = std::wcstoull(text, &end, 0);
    return errno == 0 && end != text && *end == L'\0';
}

int Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &result)) {
        std::fwprintf(stderr, L"window-tool: sending message %u failed: error %lu\n", message, ::GetLastError());
        return 3;
    }
    std::wprintf(L"%lld\n", static_cast<long long>(result));
    return 0;
}

// What the receiving window saw; a record the system did not bring into
// this process cannot be read here and shows as unreadable.
LRESULT CALLBACK ReceiveProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        std::wprintf(L"WM_DEVICECHANGE wParam=0x%04llx", static_cast<unsigned long long>(wParam));
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        if (!header) {
            std::wprintf(L" no record\n");
        } else if (::IsBadReadPtr(header, sizeof(DEV_BROADCAST_HDR)) ||
                   ::IsBadReadPtr(header, header->dbch_size)) {
            std::wprintf(L" unreadable record\n");
        } else {
            std::wprintf(L" size=%lu type=%lu", header->dbch_size, header->dbch_devicetype);
            if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
                header->dbch_size > offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) {
                const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
                const std::size_t room =
                    (header->dbch_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) / sizeof(wchar_t);
                const std::wstring name(record->dbcc_name, wcsnlen(record->dbcc_name, room));
                std::wprintf(L" name=%ls", name.c_str());
            }
            std::wprintf(L"\n");
        }
        std::fflush(stdout);
        ::PostQuitMessage(0);
        return TRUE;
    }
    if (message == WM_TIMER && wParam == kReceiveTimer) {
        ::PostQuitMessage(4);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

int Receive(const wchar_t* className) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ReceiveProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    if (!::RegisterClassW(&windowClass)) return 3;
    const HWND window = ::CreateWindowExW(0, className, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                          nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) return 3;
    ::SetTimer(window, kReceiveTimer, kSendTimeoutMs, nullptr);
    MSG message;
    int exitCode = 4;
    while (const BOOL got = ::GetMessageW(&message, nullptr, 0, 0)) {
        if (got < 0) break;
        ::DispatchMessageW(&message);
    }
    if (message.message == WM_QUIT) exitCode = static_cast<int>(message.wParam);
    if (exitCode == 4) std::wprintf(L"nothing received\n");
    ::DestroyWindow(window);
    return exitCode;
}

// The time of day as Unix seconds, to the microsecond.
double UnixNow() {
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr ULONGLONG kUnixEpoch = 116444736000000000ull;  // 1970-01-01 in 100 ns since 1601
    return static_cast<double>(ticks - kUnixEpoch) / 1e7;
}

int Watch(const wchar_t* className) {
    const ULONGLONG deadline = ::GetTickCount64() + kWatchLimitMs;
    HWND window = nullptr;
    while (!(window = ::FindWindowW(className, nullptr))) {
        if (::GetTickCount64() >= deadline) return 1;
        ::Sleep(2);
    }
    const double found = UnixNow();
    DWORD_PTR result = 0;
    const bool answered = ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(kWatchLimitMs),
                                                &result) != 0;
    const double answeredAt = UnixNow();
    std::wprintf(L"window %.6f\n", found);
    if (!answered) return 3;
    std::wprintf(L"answered %.6f\n", answeredAt);
    return 0;
}

int Arrive(HWND window, const wchar_t* path) {
    const std::size_t length = std::wcslen(path);
    const std::size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (length + 1) * sizeof(wchar_t);
    std::wstring storage((size + sizeof(wchar_t) - 1) / sizeof(wchar_t), L'\0');
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(storage.data());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    record->dbcc_reserved = 0;
    record->dbcc_classguid = kUsbDeviceInterface;
    std::wmemcpy(record->dbcc_name, path, length + 1);
    return Send(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(record));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring command = argv[1];
    if (command == L"receive") return argc == 3 ? Receive(argv[2]) : 2;
    if (command == L"watch") return argc == 3 ? Watch(argv[2]) : 2;

    unsigned long long message = 0, wParam = 0, lParam = 0;
    if (command == L"find" || command == L"close") {
        if (argc != 3) return 2;
    } else if (command == L"post" || command == L"send") {
        if (argc != 5 && argc != 6) return 2;
        if (!ParseNumber(argv[3], message) || message > 0xFFFFFFFFull || !ParseNumber(argv[4], wParam)) return 2;
        if (argc == 6 && !ParseNumber(argv[5], lParam)) return 2;
    } else if (command == L"arrive") {
        if (argc != 4) return 2;
    } else {
        return 2;
    }

    const HWND window = ::FindWindowW(argv[2], nullptr);
    if (!window) return 1;
    if (command == L"find") return 0;
    if (command == L"close") return ::PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 3;
    if (command == L"arrive") return Arrive(window, argv[3]);
    const auto id = static_cast<UINT>(message);
    const auto w = static_cast<WPARAM>(wParam);
    const auto l = static_cast<LPARAM>(lParam);
    if (command == L"post") return ::PostMessageW(window, id, w, l) ? 0 : 3;
    return Send(window, id, w, l);
}
