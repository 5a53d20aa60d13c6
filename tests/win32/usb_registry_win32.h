// Fake USB devices in the Wine prefix's registry, for the tests of the
// devices adapter: each one an Enum key (its instance id, driver key and
// setup class) and one device interface under DeviceClasses (its
// DeviceInstance, the "#" key's SymbolicLink and, for a present device,
// Control\Linked = 1). Everything it made goes when it goes.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "ports/guid.h"

namespace Arvek::Testing {

class FakeUsbDevices {
public:
    // Vendor 0xA7E0 is no real vendor's; the prefix holds nothing of it.
    static constexpr const wchar_t* kHubId = L"USB\\VID_A7E0&PID_0B0B\\ARVEKHUB0";
    static constexpr const wchar_t* kHubPath =
        L"\\\\?\\USB#VID_A7E0&PID_0B0B#ARVEKHUB0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    static constexpr const wchar_t* kDeviceId = L"USB\\VID_A7E0&PID_B0B0\\ARVEKBB01";
    static constexpr const wchar_t* kDevicePath =
        L"\\\\?\\USB#VID_A7E0&PID_B0B0#ARVEKBB01#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    static constexpr const wchar_t* kAbsentId = L"USB\\VID_A7E0&PID_B0B1\\ARVEKGONE";
    static constexpr const wchar_t* kAbsentPath =
        L"\\\\?\\USB#VID_A7E0&PID_B0B1#ARVEKGONE#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

    FakeUsbDevices() = default;
    ~FakeUsbDevices() {
        for (const auto& key : m_made) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
    }
    FakeUsbDevices(const FakeUsbDevices&) = delete;
    FakeUsbDevices& operator=(const FakeUsbDevices&) = delete;

    void Add(const std::wstring& instanceId, const std::wstring& path, const Ports::Guid& interfaceClass, bool present,
             const std::optional<std::wstring>& driverKey) {
        const std::wstring enumKey = L"SYSTEM\\CurrentControlSet\\Enum\\" + instanceId;
        // The Enum key's vendor and product level is the fake's own.
        m_made.push_back(enumKey.substr(0, enumKey.rfind(L'\\')));
        SetString(enumKey, L"ClassGUID", L"{36FC9E60-C465-11CF-8056-444553540000}");
        SetString(enumKey, L"Class", L"USB");
        if (driverKey) SetString(enumKey, L"Driver", *driverKey);

        std::wstring classGuid = Ports::GuidText(interfaceClass);
        for (auto& c : classGuid) c = static_cast<wchar_t>(::towlower(c));
        std::wstring link = path;
        link.replace(0, 4, L"##?#");
        const std::wstring interfaceKey =
            L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" + classGuid + L"\\" + link;
        m_made.push_back(interfaceKey);
        SetString(interfaceKey, L"DeviceInstance", instanceId);
        SetString(interfaceKey + L"\\#", L"SymbolicLink", path);
        if (present) SetDword(interfaceKey + L"\\#\\Control", L"Linked", 1);
    }

private:
    static void SetString(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
        Set(key, name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    static void SetDword(const std::wstring& key, const wchar_t* name, DWORD value) {
        Set(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
    static void Set(const std::wstring& key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size) {
        HKEY opened = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened,
                                    nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(::RegSetValueExW(opened, name, 0, type, data, size), ERROR_SUCCESS);
        ::RegCloseKey(opened);
    }

    std::vector<std::wstring> m_made;
};

}  // namespace Arvek::Testing
