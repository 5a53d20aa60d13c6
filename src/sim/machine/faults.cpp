#include "sim/machine/faults.h"

#include <algorithm>
#include <stdexcept>

namespace Arvek::Sim {
namespace {

constexpr SimFaults::Step kSteps[] = {
    {"com.initialize", "CoInitializeEx on the calling thread"},
    {"devices.class-devices", "SetupDiGetClassDevsW (Win32 error)"},
    {"devices.open", "CreateFileW of a device, also of a hub opened for writing (Win32 error; 0: no error and no device)"},
    {"devices.instance-id", "SetupDiGetDeviceInstanceIdW (Win32 error)"},
    {"devices.registry-property", "SetupDiGetDeviceRegistryPropertyW (Win32 error)"},
    {"devices.parent", "CM_Get_Parent (the value is the CONFIGRET)"},
    {"devices.device-id", "CM_Get_Device_IDW (the value is the CONFIGRET)"},
    {"devices.hub-request", "every request to a USB hub (Win32 error)"},
    {"devices.create-event", "CreateEventW (Win32 error)"},
    {"devices.wait", "WaitForMultipleObjects (fails with WAIT_FAILED; the value is not used)"},
    {"event-log.register-source", "RegisterEventSourceW (no source; the value is not used)"},
    {"event-log.report", "ReportEventW (Win32 error)"},
    {"event-log.open", "OpenEventLogW (Win32 error)"},
    {"event-log.read", "ReadEventLogW (Win32 error)"},
    {"files.create-folder", "CreateDirectoryW (the value is not used)"},
    {"files.open-text", "opening a text file to append to (the value is not used)"},
    {"files.open-read", "opening a file for reading (the value is not used)"},
    {"files.write-binary", "creating a binary file (the value is not used)"},
    {"named-objects.create-mutex", "CreateMutexW (Win32 error)"},
    {"pylo.request", "the platform driver refuses its request (Win32 error)"},
    {"pylo.completion", "the platform driver completes its request with an error (Win32 error)"},
    {"registry.open", "RegOpenKeyExW (Win32 error)"},
    {"shell.execute", "ShellExecuteW (the value is the shell's result, 32 or less)"},
    {"shell.create-shortcut", "saving a shell link"},
    {"threads.start", "CreateThread (the value is not used)"},
    {"toast.manager", "the toast manager's activation factory"},
    {"toast.template-content", "GetTemplateContent"},
    {"toast.count-elements", "GetElementsByTagName or its Length"},
    {"toast.append-text", "filling an element or attribute of the toast"},
    {"toast.notifier", "CreateToastNotifierWithId"},
    {"toast.notification", "the notification's factory or CreateToastNotification"},
    {"toast.subscribe-activated", "add_Activated"},
    {"toast.subscribe-dismissed", "add_Dismissed"},
    {"toast.subscribe-failed", "add_Failed"},
    {"toast.show", "IToastNotifier::Show"},
    {"tolm.create-command", "creating the platform component's command object"},
    {"tolm.create-notification", "creating the platform component's notification object"},
    {"tolm.execute", "every command of the platform component"},
    {"windowing.create-window", "CreateWindowExW (the value is not used)"},
    {"wmi.connect", "connecting to a WMI namespace"},
    {"wmi.exec-query", "ExecQuery"},
    {"wmi.create-locator", "creating the WMI locator"},
    {"wmi.proxy-blanket", "CoSetProxyBlanket on a namespace's services"},
    {"wmi.unsecured-apartment", "creating the unsecured apartment"},
    {"wmi.create-stub", "CreateObjectStub around a sink"},
    {"wmi.query-sink", "the stub's QueryInterface for IWbemObjectSink"},
    {"wmi.exec-notification", "ExecNotificationQueryAsync"},
    {"wmi.cancel", "CancelAsyncCall"},
    {"xml.create-document", "creating an XML document"},
    {"xml.load", "loadXML (the call itself fails)"},
};

}  // namespace

std::span<const SimFaults::Step> SimFaults::Steps() { return kSteps; }

bool SimFaults::Known(std::string_view step) {
    return std::any_of(std::begin(kSteps), std::end(kSteps), [&](const Step& s) { return s.name == step; });
}

void SimFaults::Fail(std::string_view step, HRESULT hr, bool once) {
    if (!Known(step)) throw std::invalid_argument("no such step: " + std::string(step));
    std::lock_guard guard(m_lock);
    m_faults.insert_or_assign(std::string(step), Fault{hr, once});
}

void SimFaults::Heal(std::string_view step) {
    std::lock_guard guard(m_lock);
    if (const auto found = m_faults.find(step); found != m_faults.end()) m_faults.erase(found);
}

std::optional<HRESULT> SimFaults::Take(std::string_view step) {
    std::lock_guard guard(m_lock);
    const auto found = m_faults.find(step);
    if (found == m_faults.end()) return std::nullopt;
    const HRESULT hr = found->second.hr;
    if (found->second.once) m_faults.erase(found);
    return hr;
}

std::optional<std::uint32_t> SimFaults::TakeError(std::string_view step) {
    const auto hr = Take(step);
    if (!hr) return std::nullopt;
    const auto bits = static_cast<std::uint32_t>(*hr);
    return (bits & 0xFFFF0000u) == 0x80070000u ? (bits & 0xFFFFu) : bits;
}

}  // namespace Arvek::Sim
