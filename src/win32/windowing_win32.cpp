#include "win32/windowing_win32.h"

#include <windows.h>
#include <dbt.h>
#include <wtsapi32.h>

#include <map>
#include <memory>
#include <mutex>

#include "win32/callback_barrier.h"
#include "win32/guid_win32.h"

namespace Arvek::Win32 {
namespace {

using ProcedurePtr = std::shared_ptr<const Ports::WindowProcedure>;

// The core's procedures by class atom. Process-wide because a WNDPROC has no
// context of its own. A procedure is looked up per message and called
// outside the lock, so that it may create windows or send messages itself.
class ProcedureTable {
public:
    void Add(ATOM atom, ProcedurePtr procedure) {
        std::lock_guard guard(m_lock);
        m_procedures[atom] = std::move(procedure);
    }
    void Remove(ATOM atom) {
        std::lock_guard guard(m_lock);
        m_procedures.erase(atom);
    }
    ProcedurePtr Find(ATOM atom) {
        std::lock_guard guard(m_lock);
        const auto it = m_procedures.find(atom);
        return it == m_procedures.end() ? nullptr : it->second;
    }

private:
    std::mutex m_lock;
    std::map<ATOM, ProcedurePtr> m_procedures;
};

ProcedureTable& Procedures() {
    static ProcedureTable table;
    return table;
}

// An exception must not unwind through user32's frames: the barrier logs
// it and the message gets the default procedure's answer.
LRESULT CALLBACK ProcedureThunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcedure("Arvek::Win32::WindowProcedure", window, message, wParam, lParam, [&]() -> LRESULT {
        const auto atom = static_cast<ATOM>(::GetClassLongPtrW(window, GCW_ATOM));
        const ProcedurePtr procedure = Procedures().Find(atom);
        if (!procedure || !*procedure) return ::DefWindowProcW(window, message, wParam, lParam);
        return (*procedure)(reinterpret_cast<Ports::WindowHandle>(window), message, wParam, lParam);
    });
}

HWND ToHwnd(Ports::WindowHandle window) { return reinterpret_cast<HWND>(window); }

// The last message GetNextMessage took, so that Translate and Dispatch hand
// the system the whole MSG (time and cursor position included).
thread_local MSG t_lastMessage{};

MSG ToMsg(const Ports::Message& message) {
    if (ToHwnd(message.hwnd) == t_lastMessage.hwnd && message.message == t_lastMessage.message &&
        message.wParam == t_lastMessage.wParam && message.lParam == t_lastMessage.lParam)
        return t_lastMessage;
    MSG msg{};
    msg.hwnd = ToHwnd(message.hwnd);
    msg.message = message.message;
    msg.wParam = message.wParam;
    msg.lParam = message.lParam;
    return msg;
}

}  // namespace

Win32Windowing::~Win32Windowing() {
    for (const ATOM atom : m_classes) {
        Procedures().Remove(atom);
        ::UnregisterClassW(MAKEINTATOM(atom), m_module);
    }
}

bool Win32Windowing::RegisterWindowClass(const Ports::WindowClass& windowClass) {
    auto procedure = std::make_shared<const Ports::WindowProcedure>(windowClass.procedure);
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.style = windowClass.style;
    description.lpfnWndProc = &ProcedureThunk;
    description.hInstance = m_module;
    description.hCursor = windowClass.arrowCursor ? ::LoadCursorW(nullptr, IDC_ARROW) : nullptr;
    description.hbrBackground =
        reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(windowClass.backgroundSysColorPlusOne));
    description.lpszClassName = windowClass.className.c_str();
    const ATOM atom = ::RegisterClassExW(&description);
    if (atom == 0) return false;
    // No window of the class exists yet, so no message can miss the entry.
    Procedures().Add(atom, std::move(procedure));
    m_classes.push_back(atom);
    return true;
}

Ports::WindowHandle Win32Windowing::CreateMainWindow(std::uint32_t exStyle, const std::wstring& className,
                                                     const std::wstring& title, std::uint32_t style) {
    const HWND window = ::CreateWindowExW(exStyle, className.c_str(), title.c_str(), style, CW_USEDEFAULT, 0,
                                          CW_USEDEFAULT, 0, nullptr, nullptr, m_module, nullptr);
    return reinterpret_cast<Ports::WindowHandle>(window);
}

bool Win32Windowing::RegisterSessionNotification(Ports::WindowHandle window, std::uint32_t flags) {
    return ::WTSRegisterSessionNotification(ToHwnd(window), flags) != FALSE;
}

void Win32Windowing::ShowWindow(Ports::WindowHandle window, int command) { ::ShowWindow(ToHwnd(window), command); }

void Win32Windowing::UpdateWindow(Ports::WindowHandle window) { ::UpdateWindow(ToHwnd(window)); }

bool Win32Windowing::DestroyWindow(Ports::WindowHandle window) { return ::DestroyWindow(ToHwnd(window)) != FALSE; }

int Win32Windowing::GetNextMessage(Ports::Message& message) {
    MSG msg{};
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) return -1;
    t_lastMessage = msg;
    message.hwnd = reinterpret_cast<Ports::WindowHandle>(msg.hwnd);
    message.message = msg.message;
    message.wParam = msg.wParam;
    message.lParam = msg.lParam;
    return got == 0 ? 0 : 1;
}

void Win32Windowing::Translate(const Ports::Message& message) {
    const MSG msg = ToMsg(message);
    ::TranslateMessage(&msg);
}

std::intptr_t Win32Windowing::Dispatch(const Ports::Message& message) {
    const MSG msg = ToMsg(message);
    return ::DispatchMessageW(&msg);
}

bool Win32Windowing::Post(Ports::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    return ::PostMessageW(ToHwnd(window), message, wParam, lParam) != FALSE;
}

void Win32Windowing::PostQuit(int exitCode) { ::PostQuitMessage(exitCode); }

std::intptr_t Win32Windowing::DefaultProcedure(Ports::WindowHandle window, std::uint32_t message,
                                               std::uintptr_t wParam, std::intptr_t lParam) {
    return ::DefWindowProcW(ToHwnd(window), message, wParam, lParam);
}

bool Win32Windowing::SetText(Ports::WindowHandle window, const std::wstring& text) {
    if (!window) return false;
    return ::SendMessageW(ToHwnd(window), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
}

Ports::DeviceNotifyHandle Win32Windowing::RegisterDeviceInterfaceNotification(Ports::WindowHandle window,
                                                                             const Ports::Guid& interfaceClass) {
    static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == 32);
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);  // 32 bytes, the name's one unit padded
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = ToGuid(interfaceClass);
    return reinterpret_cast<Ports::DeviceNotifyHandle>(
        ::RegisterDeviceNotificationW(reinterpret_cast<HWND>(window), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

bool Win32Windowing::SetForegroundWindow(Ports::WindowHandle window) {
    return ::SetForegroundWindow(reinterpret_cast<HWND>(window)) != FALSE;
}

bool Win32Windowing::UnregisterDeviceNotification(Ports::DeviceNotifyHandle handle) {
    return ::UnregisterDeviceNotification(reinterpret_cast<HDEVNOTIFY>(handle)) != FALSE;
}

bool Win32Windowing::SetEvent(Ports::EventHandle event) {
    return ::SetEvent(reinterpret_cast<HANDLE>(event)) != FALSE;
}

}  // namespace Arvek::Win32
