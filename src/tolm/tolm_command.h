// The client side of the maker's platform command component, Tolm: the
// command names, the command and notification objects of one operation, and
// the log line of a failed command.
//
// Every operation makes its own objects and releases them before it returns;
// the wrappers below release theirs when they go out of scope, on every path.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/hresult.h"
#include "common/variant.h"
#include "ports/tolm.h"

namespace Arvek::Tolm {

// The commands both programs run, and what they answer.
inline constexpr wchar_t kPlatformUsbCMessages[] = L"Platform.USBC.Messages";            // XML (argument: VT_UI1 port)
inline constexpr wchar_t kPlatformUsbCConfiguration[] = L"Platform.USBC.Configuration";  // XML
inline constexpr wchar_t kPlatformUsbCSupported[] = L"Platform.USBC.Supported";          // VT_BOOL
inline constexpr wchar_t kPlatformMachineId[] = L"Platform.MachineID";                    // VT_BSTR
inline constexpr wchar_t kSmartAdapterSupported[] = L"SmartAdapter.Supported";            // VT_BOOL
inline constexpr wchar_t kSmartAdapterStatus[] = L"SmartAdapter.Status";                  // VT_I4, 2 to 5
inline constexpr wchar_t kF10SettingWmiEventsEnabled[] = L"F10Setting.WMIEvents.Enabled"; // VT_BOOL
inline constexpr wchar_t kEmbeddedControllerAuditLog[] = L"EmbeddedController.AuditLog";  // XML

// One command object (ITolmCommand). Create it, run commands, and let it go:
//
//   CTolmCommand command(platform.tolm);
//   if (const HRESULT hr = command.Create(); Failed(hr)) return hr;
//   try { command.ExecuteCommand(kPlatformMachineId, result); }
//   catch (const ComError& e) { LogCommandFailure(kFunction, kPlatformMachineId, e.Error()); }
class CTolmCommand {
public:
    explicit CTolmCommand(Ports::ITolm& tolm) : m_tolm(tolm) {}

    // Makes the object (releasing an earlier one): S_OK, or the HRESULT of
    // the creation step that failed and no object.
    HRESULT Create();
    bool Exists() const { return m_object != nullptr; }
    void Release() { m_object.reset(); }

    // Run a command: the component's HRESULT (a success code) and its
    // result. A failing HRESULT is raised as ComError carrying it; without
    // an object the call raises ComError with E_POINTER.
    HRESULT ExecuteCommand(const std::wstring& command, Variant& result);
    HRESULT ExecuteCommandWithArgument(const std::wstring& command, const Variant& argument, Variant& result);

private:
    Ports::ITolm& m_tolm;
    std::unique_ptr<Ports::ITolmCommand> m_object;
};

// The notification object (ITolmNotification): only its creation matters.
class CTolmNotification {
public:
    explicit CTolmNotification(Ports::ITolm& tolm) : m_tolm(tolm) {}

    // S_OK, or the HRESULT of the step that failed and no object.
    HRESULT Create();
    bool Exists() const { return m_object != nullptr; }
    void Release() { m_object.reset(); }

private:
    Ports::ITolm& m_tolm;
    std::unique_ptr<Ports::ITolmNotification> m_object;
};

// A failed command, caught at an operation's boundary, logged at Information
// under `function`: "Invalid Command <command>. hr = 0x%X" when the
// component does not know the command (0x80000003), else "Exception occurred
// during <command>. hr = 0x%X".
void LogCommandFailure(const char* function, std::wstring_view command, HRESULT hr);

}  // namespace Arvek::Tolm
