#include "agent/usbc/acpi_monitor.h"

#include <mutex>

#include "shared/exception_barrier.h"
#include "shared/log.h"

namespace Notifications::Tidewatch {

using Arvek::HRESULT;
using Arvek::HresultFromWin32;
using Arvek::Shared::GetLog;
using Arvek::Shared::Information;
using Arvek::Shared::Verbose;

namespace {

constexpr char kMonitor[] = "ACPIUSBCMonitor";
constexpr char kOpen[] = "CIoctlWrapper::OpenPyloDevice";
constexpr char kGetPath[] = "CIoctlWrapper::GetPyloDevicePath";
constexpr char kListen[] = "CIoctlWrapper::ListenForEvent";

constexpr std::uint32_t kMaxInterfaces = 10;

// An event this thread made, closed when it goes.
class OwnEvent {
public:
    OwnEvent(Arvek::Ports::IDevices& devices, Arvek::Ports::EventHandle event) : m_devices(devices), m_event(event) {}
    ~OwnEvent() { m_devices.CloseEvent(m_event); }
    OwnEvent(const OwnEvent&) = delete;
    OwnEvent& operator=(const OwnEvent&) = delete;

private:
    Arvek::Ports::IDevices& m_devices;
    Arvek::Ports::EventHandle m_event;
};

}  // namespace

HRESULT CIoctlWrapper::GetPyloDevicePath(std::wstring& path) {
    Arvek::Shared::CArvekLogTrace trace(kGetPath);
    auto& log = GetLog();
    auto& devices = m_platform.devices;
    std::unique_ptr<Arvek::Ports::IDeviceInterfaceList> list;
    const std::uint32_t listError = devices.GetClassDevices(
        kPyloInterfaceClass, Arvek::Ports::kDIGCF_PRESENT | Arvek::Ports::kDIGCF_DEVICEINTERFACE, list);
    if (listError != 0 || !list) {
        log.Log(Verbose, kGetPath, L"failed to get hardwareDeviceInfo, dwErr = 0x%X", listError);
        return HresultFromWin32(listError);
    }
    log.LogText(Verbose, kGetPath, L"get hardwareDeviceInfo passed");

    HRESULT hr = Arvek::kS_OK;
    for (std::uint32_t index = 0; index < kMaxInterfaces; ++index) {
        const std::uint32_t enumError = list->EnumerateInterface(index);
        if (enumError == Arvek::Ports::kERROR_NO_MORE_ITEMS) {
            // The end of the list: an earlier interface's failure stays.
            if (index == 0 || !Arvek::Failed(hr)) hr = HresultFromWin32(Arvek::Ports::kERROR_NO_MORE_ITEMS);
            break;
        }
        if (enumError != 0) continue;

        std::uint32_t size = 0;
        const std::uint32_t sizeError = list->DetailSize(size);
        if (sizeError == 0) continue;  // a size query that succeeds has nothing to read
        if (sizeError != Arvek::Ports::kERROR_INSUFFICIENT_BUFFER) {
            hr = HresultFromWin32(sizeError);
            continue;
        }
        if (size == 0) continue;

        std::wstring found;
        std::uint32_t readError = 0;
        if (list->ReadDetail(size, found, readError) && !found.empty()) {
            path = found;
            log.Log(Verbose, kGetPath, L"Found sPyloDevicePath = 0%s", path);
            // An earlier interface that could not be read does not keep the
            // device that was found from being opened.
            if (Arvek::Failed(hr)) {
                log.Log(Information, kGetPath, L"An earlier interface of the class could not be read: 0x%08X",
                        static_cast<std::uint32_t>(hr));
                hr = Arvek::kS_OK;
            }
            break;
        }
        hr = readError == 0 ? Arvek::kE_FAIL : HresultFromWin32(readError);
    }
    return hr;
}

HRESULT CIoctlWrapper::OpenPyloDevice() {
    auto& log = GetLog();
    Arvek::Shared::CArvekLogScope scope(log, kOpen);
    HRESULT hr = Arvek::kS_OK;
    if (!m_device) {
        std::wstring path;
        hr = GetPyloDevicePath(path);
        log.Log(Verbose, kOpen, L"GetPyloDevicePath return hr = 0x%X, sPyloDevicePath = %s",
                static_cast<std::uint32_t>(hr), path);
        if (!Arvek::Failed(hr)) {
            const std::uint32_t error = m_platform.devices.OpenOverlapped(path, m_device);
            if (error != 0 || !m_device) {
                m_device.reset();
                log.Log(Verbose, kOpen, L"CreateFile failed, dwErr = 0x%x", error);
                // No device is a failure even when no error was reported.
                hr = error != 0 ? HresultFromWin32(error) : Arvek::kE_FAIL;
            } else {
                log.LogText(Verbose, kOpen, L"CreateFile passed");
            }
        }
    }
    log.Log(Arvek::Shared::TraceOut, kOpen, L"hr = 0x%x", static_cast<std::uint32_t>(hr));
    return hr;
}

std::uint32_t CIoctlWrapper::ListenForEvent() {
    auto& log = GetLog();
    Arvek::Shared::CArvekLogScope scope(log, kListen);
    std::uint32_t result = 0;
    const auto finish = [&log](std::uint32_t value) {
        log.Log(Arvek::Shared::TraceOut, kListen, L"dwErr = 0x%x", value);
        return value;
    };

    const Arvek::Ports::EventHandle stop = m_globals.g_hMonitorStopEvent.load();
    const HRESULT opened = OpenPyloDevice();
    if (Arvek::Failed(opened)) return finish(static_cast<std::uint32_t>(opened));

    auto& devices = m_platform.devices;
    Arvek::Ports::EventHandle completion = 0;
    const std::uint32_t eventError = devices.CreateAutoResetEvent(completion);
    if (eventError != 0) {
        log.Log(Verbose, kListen, L"CreateEvent failed with error code: %d", eventError);
        return finish(eventError);
    }
    const OwnEvent completionEvent(devices, completion);
    log.LogText(Verbose, kListen, L"CreateEvent passed");

    m_bytesReturned = 0;
    m_output.assign(m_expectedOutputSize, 0);
    const std::uint32_t started = m_device->StartControl(kIoctlPyloWaitForEvent, m_input, m_expectedOutputSize, completion);
    if (started == 0) {
        result = 0;
    } else if (started == Arvek::Ports::kERROR_IO_PENDING) {
        log.LogText(Verbose, kListen, L"Waiting to get signaled...");
        if (stop != 0) {
            log.LogText(Verbose, kListen, L"Waiting WaitForMultipleObjects");
            result = devices.WaitAny({completion, stop});
            if (result == 0) log.LogText(Verbose, kListen, L"PYLO event signaled!");
            if (result == 1) log.LogText(Verbose, kListen, L"Secondary event signaled!");
        } else {
            log.LogText(Verbose, kListen, L"Waiting WaitForSingleObject");
            result = devices.WaitAny({completion});
            if (result == 0) log.LogText(Verbose, kListen, L"Event signaled!");
        }
    } else {
        log.Log(Verbose, kListen, L"Expected ERROR_IO_PENDING (%d) from IOCTL call, but got: %d",
                Arvek::Ports::kERROR_IO_PENDING, started);
        return finish(started);
    }
    if (result == 0) {
        // A request that went pending may still have failed: the driver's
        // error ends the monitor, as a refused request does, rather than a
        // next request that would fail the same way at once.
        if (const std::uint32_t completion = m_device->CompletionError(); completion != 0) {
            log.Log(Information, kListen, L"The request completed with error %d", completion);
            return finish(static_cast<std::uint32_t>(HresultFromWin32(completion)));
        }
        m_output = m_device->Output();
        m_bytesReturned = static_cast<std::uint32_t>(m_output.size());
    } else {
        // Stopped (or the wait failed) with the request still pending: it
        // must be over before its event is closed.
        m_device->CancelPending();
    }
    return finish(result);
}

namespace {

// The stop event, published in the globals while the monitor waits on it and
// withdrawn, under the lock, before it is closed, on every way out.
class PublishedStopEvent {
public:
    PublishedStopEvent(Arvek::Ports::Platform& platform, AgentGlobals& globals, Arvek::Ports::EventHandle event)
        : m_platform(platform), m_globals(globals), m_event(event) {
        // The window may already be gone: then the monitor stops at once.
        std::lock_guard<std::mutex> guard(m_globals.monitorLock);
        m_globals.g_hMonitorStopEvent = m_event;
        if (m_globals.monitorStopRequested) m_platform.windowing.SetEvent(m_event);
    }
    ~PublishedStopEvent() {
        {
            std::lock_guard<std::mutex> guard(m_globals.monitorLock);
            m_globals.g_hMonitorStopEvent = 0;
        }
        m_platform.devices.CloseEvent(m_event);
    }
    PublishedStopEvent(const PublishedStopEvent&) = delete;
    PublishedStopEvent& operator=(const PublishedStopEvent&) = delete;

private:
    Arvek::Ports::Platform& m_platform;
    AgentGlobals& m_globals;
    Arvek::Ports::EventHandle m_event;
};

std::uint32_t RunMonitor(Arvek::Ports::Platform& platform, AgentGlobals& globals) {
    auto& log = GetLog();
    const std::vector<std::uint8_t> input;
    CIoctlWrapper wrapper(platform, globals, input, 1);

    const HRESULT opened = wrapper.OpenPyloDevice();
    if (Arvek::Failed(opened)) {
        log.Log(Arvek::Shared::Error, kMonitor, L"OpenPyloDevice failed: 0x%08X", static_cast<std::uint32_t>(opened));
        return 0;
    }
    Arvek::Ports::EventHandle stop = 0;
    const std::uint32_t eventError = platform.devices.CreateAutoResetEvent(stop);
    if (eventError != 0) {
        log.Log(Information, kMonitor, L"CreateEvent failed (0x%x)", eventError);
        return eventError;
    }
    const PublishedStopEvent published(platform, globals, stop);
    std::uint32_t result = 0;
    for (;;) {
        // Asked on every turn: a driver that completes every request at once
        // never lets the wait below see the stop event.
        if (globals.monitorStopRequested) {
            log.LogText(Verbose, kMonitor, L"Stop requested");
            result = 1;
            break;
        }
        result = wrapper.ListenForEvent();
        if (result != 0) break;
        const std::uint8_t data = wrapper.Output().empty() ? 0 : wrapper.Output()[0];
        log.Log(Verbose, kMonitor, L"ListenForEvent returned WAIT_OBJECT_0, with data: 0x%02hX", data);
        if (data == USB_TYPEC_ACPI_EVENT_ID) {
            log.LogText(Verbose, kMonitor, L"receive new USB_TYPEC_ACPI_EVENT_ID");
            platform.windowing.Post(globals.g_hWnd, WM_NOTIFY_ACPI_USB_C, 0, 0);
        }
    }
    log.Log(Verbose, kMonitor, L"Exited while (WAIT_OBJECT_0). dwResult: %d", static_cast<std::int32_t>(result));
    return result;
}

}  // namespace

std::uint32_t ACPIUSBCMonitor(Arvek::Ports::Platform& platform, AgentGlobals& globals) noexcept {
    Arvek::Shared::CArvekLogScope scope(GetLog(), kMonitor);
    const std::uint32_t exitCode = Arvek::Shared::CallWithoutThrowing(
        kMonitor, static_cast<std::uint32_t>(Arvek::kE_UNEXPECTED), [&] { return RunMonitor(platform, globals); });
    globals.g_dwMonitorThreadId = 0;
    GetLog().Log(Arvek::Shared::TraceOut, kMonitor, L"");
    return exitCode;
}

}  // namespace Notifications::Tidewatch
