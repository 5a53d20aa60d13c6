#include "agent/core/platform_probes.h"

#include <climits>

#include "agent/usbc/notifications_handler.h"
#include "shared/log.h"
#include "shared/wmi_query.h"

namespace Notifications::Tidewatch {

using Arvek::Shared::GetLog;
using Arvek::Shared::TraceOut;
using Arvek::Shared::Verbose;

namespace {

constexpr char kIsWindows8OrLater[] = "Notifications::Tidewatch::IsWindows8OrLater";
constexpr char kWin10AndHiger[] = "Notifications::Tidewatch::Win10AndHiger";
constexpr char kGetDefaultIconPath[] = "Notifications::Tidewatch::GetDefaultIconPath";
constexpr char kDisplayExistingMessages[] = "Notifications::Tidewatch::DisplayExistingMessages";

constexpr std::uint32_t kIconDataType = 300;
constexpr std::size_t kMaxPath = 260;  // characters, with the terminator
constexpr std::int32_t kWbemReturnImmediatelyForwardOnly = 0x30;

bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// One "%d": white space, a sign, at least one digit; saturates as the C
// library's conversion does.
bool ReadInt(const std::wstring& text, std::size_t& at, std::int32_t& value) {
    while (at < text.size() && IsSpace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) negative = text[at++] == L'-';
    const std::size_t digits = at;
    std::int64_t number = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        if (number <= INT_MAX) number = number * 10 + (text[at] - L'0');
    }
    if (at == digits) return false;
    if (number > INT_MAX) number = negative ? static_cast<std::int64_t>(INT_MAX) + 1 : INT_MAX;
    value = static_cast<std::int32_t>(negative ? -number : number);
    return true;
}

}  // namespace

bool IsWindows8OrLater(Arvek::Ports::IProcess& process) {
    Arvek::Shared::CArvekLogTrace trace(kIsWindows8OrLater);
    return process.VersionIsAtLeast(6, 2, 0);
}

std::int64_t ParseVersionNumber(const std::wstring& text, std::int32_t& major, std::int32_t& minor) {
    std::size_t at = 0;
    std::int32_t readMajor = 0, readMinor = 0;
    if (ReadInt(text, at, readMajor) && at < text.size() && text[at] == L'.' && ReadInt(text, ++at, readMinor)) {
        major = readMajor;
        minor = readMinor;
        return static_cast<std::int64_t>(major) * 100 + minor;
    }
    major = minor = 0;
    return 0;
}

bool Win10AndHiger(Arvek::Ports::Platform& platform) {
    auto& log = GetLog();
    Arvek::Shared::CArvekLogScope scope(log, kWin10AndHiger);
    Arvek::Shared::CWmiQuery query(platform.com, platform.wmi, L"\\\\.\\root\\cimv2");
    if (query.ExecuteQuery(L"select Version from Win32_OperatingSystem", kWbemReturnImmediatelyForwardOnly) !=
        Arvek::kS_OK) {
        log.LogText(Verbose, kWin10AndHiger, L"ExecuteQuery failed.");
        log.Log(TraceOut, kWin10AndHiger, L"");
        return false;
    }
    std::wstring version;
    if (query.GetPropertyValue(L"Version", version) != Arvek::kS_OK) {
        log.LogText(Verbose, kWin10AndHiger, L"GetPropertyValue for Version property failed.");
        log.Log(TraceOut, kWin10AndHiger, L"");
        return false;
    }
    std::int32_t major = 0, minor = 0;
    const std::int64_t number = ParseVersionNumber(version, major, minor);
    log.Log(TraceOut, kWin10AndHiger, L"Major=%d  Minor=%d   Version=%d", major, minor, number);
    return number >= 1000;
}

std::wstring GetDefaultIconPath(Arvek::Ports::Platform& platform, const std::wstring& name, std::uint16_t id) {
    Arvek::Shared::CArvekLogTrace trace(kGetDefaultIconPath);
    const std::wstring path = platform.files.TempPath() + name;
    if (path.size() >= kMaxPath) return {};
    // A file that is there already is used as it is, never written again.
    if (platform.files.CanOpenForReading(path)) return path;
    const auto icon = platform.resources.LoadData(kIconDataType, id);
    if (!icon || icon->empty()) return {};
    if (!platform.files.WriteBinaryFile(path, *icon)) return {};
    return path;
}

void DisplayExistingMessages(CNotificationsHandler* handler) {
    Arvek::Shared::CArvekLogTrace trace(kDisplayExistingMessages);
    if (handler == nullptr) {
        GetLog().LogText(Verbose, kDisplayExistingMessages, L"No notifications handler yet; nothing to show.");
        return;
    }
    if (handler->IsUsingACPIUsbCEvent()) {
        handler->ShowUsbCMessages(0);
    } else if (handler->IsUsbCSupported()) {
        handler->ShowUsbCMessages(255);
    }
}

}  // namespace Notifications::Tidewatch
