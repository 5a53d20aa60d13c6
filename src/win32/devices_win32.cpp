#include "win32/devices_win32.h"

#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <cstring>
#include <limits>
#include <new>

#include "win32/guid_win32.h"
#include "win32/handles.h"
#include "win32/result.h"

namespace Arvek::Win32 {
namespace {

HANDLE ToHandle(Ports::EventHandle event) { return reinterpret_cast<HANDLE>(event); }

SP_DEVICE_INTERFACE_DATA EmptyInterfaceData() {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    return data;
}

SP_DEVINFO_DATA EmptyDeviceData() {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    return data;
}

// One list serves both shapes of the port: the interfaces of one class, and
// devices across classes with the interfaces of the list's class.
class Win32DeviceInterfaceList final : public Ports::IDeviceInfoList {
public:
    Win32DeviceInterfaceList(UniqueDeviceInfoList list, const GUID& interfaceClass)
        : m_list(std::move(list)), m_class(interfaceClass) {}

    std::uint32_t EnumerateInterface(std::uint32_t index) override {
        // A failed enumeration leaves no interface behind for the detail
        // calls: they fail on the empty record instead of reading a stale one.
        m_interface = EmptyInterfaceData();
        SP_DEVICE_INTERFACE_DATA data = EmptyInterfaceData();
        ARVEK_RETURN_LAST_WIN32_ERROR_IF(!::SetupDiEnumDeviceInterfaces(m_list.Get(), nullptr, &m_class, index, &data));
        m_interface = data;
        return ERROR_SUCCESS;
    }

    std::uint32_t DetailSize(std::uint32_t& size) override {
        DWORD required = 0;
        const BOOL ok = ::SetupDiGetDeviceInterfaceDetailW(m_list.Get(), &m_interface, nullptr, 0, &required, nullptr);
        const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
        size = required;
        return error;
    }

    bool ReadDetail(std::uint32_t size, std::wstring& path, std::uint32_t& error) override {
        path.clear();
        using Detail = SP_DEVICE_INTERFACE_DETAIL_DATA_W;
        constexpr DWORD kHeaderSize = sizeof(Detail);
        if (size < kHeaderSize) {
            error = ERROR_INSUFFICIENT_BUFFER;
            return false;
        }
        // Zeroed bytes from operator new, aligned for the record.
        std::vector<std::uint8_t> buffer;
        try {
            buffer.resize(size);
        } catch (const std::bad_alloc&) {
            error = ERROR_NOT_ENOUGH_MEMORY;
            return false;
        }
        const DWORD cbSize = kHeaderSize;
        std::memcpy(buffer.data() + offsetof(Detail, cbSize), &cbSize, sizeof(cbSize));
        auto* detail = reinterpret_cast<Detail*>(buffer.data());
        const BOOL ok = ::SetupDiGetDeviceInterfaceDetailW(m_list.Get(), &m_interface, detail, size, nullptr, nullptr);
        error = ok ? ERROR_SUCCESS : ::GetLastError();
        if (!ok) return false;
        // The path ends at its terminator or at the end of the buffer,
        // whichever comes first.
        constexpr std::size_t kPathOffset = offsetof(Detail, DevicePath);
        const std::size_t capacity = (size - kPathOffset) / sizeof(wchar_t);
        for (std::size_t i = 0; i < capacity; ++i) {
            wchar_t c = 0;
            std::memcpy(&c, buffer.data() + kPathOffset + i * sizeof(wchar_t), sizeof(c));
            if (c == L'\0') break;
            path.push_back(c);
        }
        return true;
    }

    std::uint32_t EnumerateDevice(std::uint32_t index) override {
        m_selected = false;
        SP_DEVINFO_DATA data = EmptyDeviceData();
        ARVEK_RETURN_LAST_WIN32_ERROR_IF(!::SetupDiEnumDeviceInfo(m_list.Get(), index, &data));
        m_device = data;
        m_selected = true;
        return ERROR_SUCCESS;
    }

    std::uint32_t InstanceId(std::uint32_t capacity, std::wstring& id, std::uint32_t& required) override {
        id.clear();
        required = 0;
        if (!m_selected) return ERROR_INVALID_PARAMETER;
        std::vector<wchar_t> buffer;
        try {
            buffer.assign(capacity, L'\0');
        } catch (const std::bad_alloc&) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        DWORD needed = 0;
        const BOOL ok = ::SetupDiGetDeviceInstanceIdW(m_list.Get(), &m_device, buffer.empty() ? nullptr : buffer.data(),
                                                      capacity, &needed);
        const DWORD error = ok ? ERROR_SUCCESS : LastErrorAsWin32();
        required = needed;
        if (!ok) return error;
        id.assign(buffer.data(), ::wcsnlen(buffer.data(), buffer.size()));
        return ERROR_SUCCESS;
    }

    std::uint32_t RegistryProperty(std::uint32_t property, std::uint32_t capacity, std::vector<std::uint8_t>& data,
                                   std::uint32_t& required) override {
        data.clear();
        required = 0;
        if (!m_selected) return ERROR_INVALID_PARAMETER;
        std::vector<std::uint8_t> buffer;
        try {
            buffer.assign(capacity, 0);
        } catch (const std::bad_alloc&) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        DWORD type = 0;
        DWORD needed = 0;
        const BOOL ok = ::SetupDiGetDeviceRegistryPropertyW(m_list.Get(), &m_device, property, &type,
                                                            buffer.empty() ? nullptr : buffer.data(), capacity,
                                                            &needed);
        const DWORD error = ok ? ERROR_SUCCESS : LastErrorAsWin32();
        required = needed;
        if (!ok) return error;
        buffer.resize(std::min<std::size_t>(needed, buffer.size()));
        data = std::move(buffer);
        return ERROR_SUCCESS;
    }

    Ports::DeviceNode Node() const override { return m_selected ? m_device.DevInst : 0; }

private:
    UniqueDeviceInfoList m_list;
    GUID m_class;
    SP_DEVICE_INTERFACE_DATA m_interface = EmptyInterfaceData();
    SP_DEVINFO_DATA m_device = EmptyDeviceData();
    bool m_selected = false;
};

// A hub opened for plain requests; closed when it goes.
class Win32ControlDevice final : public Ports::IControlDevice {
public:
    explicit Win32ControlDevice(UniqueFile handle) : m_handle(std::move(handle)) {}

    std::uint32_t Control(std::uint32_t code, std::vector<std::uint8_t>& record, std::uint32_t& returned) override {
        returned = 0;
        if (record.size() > std::numeric_limits<DWORD>::max()) return ERROR_INVALID_PARAMETER;
        void* buffer = record.empty() ? nullptr : record.data();
        const DWORD size = static_cast<DWORD>(record.size());
        DWORD bytes = 0;
        ARVEK_RETURN_LAST_WIN32_ERROR_IF(!::DeviceIoControl(m_handle.Get(), code, buffer, size, buffer, size, &bytes, nullptr));
        returned = bytes;
        return ERROR_SUCCESS;
    }

private:
    UniqueFile m_handle;
};

// The overlapped record and the input and output buffers stay put while a
// request is under way: only StartControl replaces them, after the request
// before has finished.
class Win32Device final : public Ports::IDevice {
public:
    explicit Win32Device(UniqueFile handle) : m_handle(std::move(handle)) {}
    ~Win32Device() override { CancelPending(); }

    Win32Device(const Win32Device&) = delete;
    Win32Device& operator=(const Win32Device&) = delete;

    std::uint32_t StartControl(std::uint32_t code, const std::vector<std::uint8_t>& input, std::size_t outputSize,
                               Ports::EventHandle completion) override {
        CancelPending();
        // A request that is refused leaves no output of the one before.
        m_output.clear();
        if (input.size() > std::numeric_limits<DWORD>::max()) return ERROR_INVALID_PARAMETER;
        if (outputSize > std::numeric_limits<DWORD>::max()) return ERROR_INVALID_PARAMETER;
        // A driver that takes its buffers unbuffered reads the input while the
        // request is under way: the device keeps its own copy, as it keeps
        // the output, until the next request.
        try {
            m_input = input;
            m_output.assign(outputSize, 0);
        } catch (const std::bad_alloc&) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        m_overlapped = OVERLAPPED{};
        m_overlapped.hEvent = ToHandle(completion);
        // With an overlapped record the count of bytes returned comes from
        // GetOverlappedResult; the call takes no counter.
        void* inputBuffer = m_input.empty() ? nullptr : m_input.data();
        void* outputBuffer = m_output.empty() ? nullptr : m_output.data();
        const BOOL ok = ::DeviceIoControl(m_handle.Get(), code, inputBuffer, static_cast<DWORD>(m_input.size()),
                                          outputBuffer, static_cast<DWORD>(m_output.size()), nullptr, &m_overlapped);
        if (ok) return m_completionError = ERROR_SUCCESS;
        const std::uint32_t error = LastErrorAsWin32();
        if (error == ERROR_IO_PENDING) m_underWay = true;
        m_completionError = error == ERROR_IO_PENDING ? ERROR_IO_INCOMPLETE : error;
        return error;
    }

    std::uint32_t CompletionError() override {
        if (m_underWay && !Completed()) return ERROR_IO_INCOMPLETE;
        return m_completionError;
    }

    std::vector<std::uint8_t> Output() override {
        if (m_underWay && !Completed()) return std::vector<std::uint8_t>(m_output.size(), 0);
        return m_output;
    }

    void CancelPending() override {
        if (!m_underWay) return;
        // ERROR_NOT_FOUND: it completed meanwhile; the wait below returns at once.
        ::CancelIoEx(m_handle.Get(), &m_overlapped);
        DWORD transferred = 0;
        const BOOL ok = ::GetOverlappedResult(m_handle.Get(), &m_overlapped, &transferred, TRUE);
        m_completionError = ok ? ERROR_SUCCESS : LastErrorAsWin32();
        m_underWay = false;
    }

private:
    // Whether the request under way has finished, with success or an error;
    // if so it is no longer under way.
    bool Completed() {
        DWORD transferred = 0;
        if (::GetOverlappedResult(m_handle.Get(), &m_overlapped, &transferred, FALSE)) {
            m_completionError = ERROR_SUCCESS;
        } else {
            const std::uint32_t error = LastErrorAsWin32();
            if (error == ERROR_IO_INCOMPLETE) return false;
            m_completionError = error;
        }
        m_underWay = false;
        return true;
    }

    OVERLAPPED m_overlapped{};
    std::vector<std::uint8_t> m_input;
    std::vector<std::uint8_t> m_output;
    bool m_underWay = false;
    std::uint32_t m_completionError = ERROR_SUCCESS;
    UniqueFile m_handle;  // last member: closed first, after the request has finished
};

}  // namespace

std::uint32_t Win32Devices::GetClassDevices(const Ports::Guid& interfaceClass, std::uint32_t flags,
                                            std::unique_ptr<Ports::IDeviceInterfaceList>& list) {
    list.reset();
    const GUID guid = ToGuid(interfaceClass);
    UniqueDeviceInfoList devices(::SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags));
    ARVEK_RETURN_LAST_WIN32_ERROR_IF_NULL(devices);
    list = std::make_unique<Win32DeviceInterfaceList>(std::move(devices), guid);
    return ERROR_SUCCESS;
}

std::uint32_t Win32Devices::OpenOverlapped(const std::wstring& path, std::unique_ptr<Ports::IDevice>& device) {
    device.reset();
    HANDLE opened = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ARVEK_RETURN_LAST_WIN32_ERROR_IF(opened == nullptr || opened == INVALID_HANDLE_VALUE);
    device = std::make_unique<Win32Device>(UniqueFile(opened));
    return ERROR_SUCCESS;
}

std::uint32_t Win32Devices::GetDeviceInfoList(const Ports::Guid* interfaceClass, std::uint32_t flags,
                                              std::unique_ptr<Ports::IDeviceInfoList>& list) {
    list.reset();
    const GUID guid = interfaceClass ? ToGuid(*interfaceClass) : GUID{};
    UniqueDeviceInfoList devices(::SetupDiGetClassDevsW(interfaceClass ? &guid : nullptr, nullptr, nullptr, flags));
    ARVEK_RETURN_LAST_WIN32_ERROR_IF_NULL(devices);
    list = std::make_unique<Win32DeviceInterfaceList>(std::move(devices), guid);
    return ERROR_SUCCESS;
}

std::uint32_t Win32Devices::GetParent(Ports::DeviceNode node, Ports::DeviceNode& parent, std::uint32_t& lastError) {
    DEVINST found = 0;
    const CONFIGRET result = ::CM_Get_Parent(&found, node, 0);
    lastError = ::GetLastError();
    parent = result == CR_SUCCESS ? found : 0;
    return result;
}

std::uint32_t Win32Devices::GetDeviceId(Ports::DeviceNode node, std::uint32_t capacity, std::wstring& id,
                                        std::uint32_t& lastError) {
    id.clear();
    // An id without room for its terminator is refused before it is read:
    // Wine 8's CM_Get_Device_IDW cuts it to fit and reports success, where
    // Windows reports CR_BUFFER_SMALL; a cut id must never pass for another.
    ULONG needed = 0;
    if (::CM_Get_Device_ID_Size(&needed, node, 0) == CR_SUCCESS && needed >= capacity) {
        lastError = ::GetLastError();
        return CR_BUFFER_SMALL;
    }
    std::vector<wchar_t> buffer;
    try {
        buffer.assign(capacity, L'\0');
    } catch (const std::bad_alloc&) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return CR_OUT_OF_MEMORY;
    }
    const CONFIGRET result = ::CM_Get_Device_IDW(node, buffer.empty() ? nullptr : buffer.data(), capacity, 0);
    lastError = ::GetLastError();
    if (result != CR_SUCCESS) return result;
    const std::size_t length = ::wcsnlen(buffer.data(), buffer.size());
    if (length == buffer.size()) return CR_BUFFER_SMALL;  // no terminator: it may have been cut
    id.assign(buffer.data(), length);
    return CR_SUCCESS;
}

std::uint32_t Win32Devices::OpenForWriting(const std::wstring& path, std::unique_ptr<Ports::IControlDevice>& device) {
    device.reset();
    HANDLE opened = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ARVEK_RETURN_LAST_WIN32_ERROR_IF(opened == nullptr || opened == INVALID_HANDLE_VALUE);
    device = std::make_unique<Win32ControlDevice>(UniqueFile(opened));
    return ERROR_SUCCESS;
}

std::uint32_t Win32Devices::CreateAutoResetEvent(Ports::EventHandle& event) {
    event = 0;
    const HANDLE created = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ARVEK_RETURN_LAST_WIN32_ERROR_IF_NULL(created);
    event = reinterpret_cast<Ports::EventHandle>(created);
    return ERROR_SUCCESS;
}

void Win32Devices::CloseEvent(Ports::EventHandle event) {
    if (event == 0) return;
    ::CloseHandle(ToHandle(event));
}

std::uint32_t Win32Devices::WaitAny(const std::vector<Ports::EventHandle>& events) {
    if (events.empty() || events.size() > MAXIMUM_WAIT_OBJECTS) return Ports::kWAIT_FAILED;
    std::vector<HANDLE> handles;
    handles.reserve(events.size());
    for (const Ports::EventHandle event : events) handles.push_back(ToHandle(event));
    const DWORD count = static_cast<DWORD>(handles.size());
    const DWORD result = ::WaitForMultipleObjects(count, handles.data(), FALSE, INFINITE);
    if (result >= WAIT_OBJECT_0 + count) return Ports::kWAIT_FAILED;  // failed or abandoned
    return result - WAIT_OBJECT_0;
}

}  // namespace Arvek::Win32
