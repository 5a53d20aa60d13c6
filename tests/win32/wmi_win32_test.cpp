// WMI through the real locator (under Wine in this build, whose wbemprox
// answers Win32_BIOS and Win32_OperatingSystem from the host).
#include <windows.h>

#include <gtest/gtest.h>

#include "ports/wmi.h"
#include "shared/wmi_query.h"
#include "tolm/bios_version.h"
#include "win32/com_win32.h"
#include "win32/handles.h"
#include "win32/wmi_win32.h"

namespace Arvek::Testing {
namespace {

class Win32WmiTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_apartment.Result())); }

    // The first object of a query in `ns`, or a test failure.
    std::unique_ptr<Ports::IWmiObject> First(const std::wstring& ns, const std::wstring& query) {
        std::unique_ptr<Ports::IWmiServices> services;
        EXPECT_EQ(m_wmi.Connect(ns, 0, Ports::kRPC_C_AUTHN_LEVEL_CALL, services), kS_OK);
        if (!services) return nullptr;
        std::unique_ptr<Ports::IWmiEnumerator> results;
        EXPECT_EQ(services->ExecQuery(query, Ports::kWBEM_FLAG_FORWARD_ONLY | Ports::kWBEM_FLAG_RETURN_IMMEDIATELY,
                                      results),
                  kS_OK);
        if (!results) return nullptr;
        std::unique_ptr<Ports::IWmiObject> object;
        EXPECT_EQ(results->Next(Ports::kWBEM_INFINITE, object), kS_OK);
        return object;
    }

    Win32::ComApartment m_apartment;
    Win32::Win32Wmi m_wmi;
};

TEST_F(Win32WmiTest, ReadsStringAndIntegerPropertiesOfBothNamespaceSpellings) {
    for (const wchar_t* ns : {L"ROOT\\CIMV2", L"\\\\.\\root\\cimv2"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(ns)));
        const auto bios = First(ns, L"SELECT * FROM Win32_BIOS");
        ASSERT_TRUE(bios);
        Variant version;
        ASSERT_EQ(bios->Get(L"SMBIOSBIOSVersion", version), kS_OK);
        EXPECT_EQ(version.vt, kVT_BSTR);
        EXPECT_TRUE(version.bstr.has_value() && !version.bstr->empty());

        const auto os = First(ns, L"SELECT * FROM Win32_OperatingSystem");
        ASSERT_TRUE(os);
        Variant osVersion;
        ASSERT_EQ(os->Get(L"Version", osVersion), kS_OK);
        ASSERT_EQ(osVersion.vt, kVT_BSTR);
        EXPECT_EQ(osVersion.bstr->find(L'.') != std::wstring::npos, true) << "e.g. 6.1.7601";
        // OSType, a CIM uint16, arrives as VT_I4: 18 is WINNT.
        Variant osType;
        ASSERT_EQ(os->Get(L"OSType", osType), kS_OK);
        EXPECT_EQ(osType.vt, kVT_I4);
        EXPECT_EQ(osType.LowInt32(), 18);
    }
}

TEST_F(Win32WmiTest, AnUnknownPropertyIsNotFound) {
    const auto bios = First(L"ROOT\\CIMV2", L"SELECT * FROM Win32_BIOS");
    ASSERT_TRUE(bios);
    Variant value = Variant::I4(5);
    EXPECT_EQ(bios->Get(L"NoSuchProperty", value), Ports::kWBEM_E_NOT_FOUND);
    EXPECT_EQ(value.LowInt32(), 5);
}

TEST_F(Win32WmiTest, AQueryWithoutResultsEndsWithFalse) {
    std::unique_ptr<Ports::IWmiServices> services;
    ASSERT_EQ(m_wmi.Connect(L"ROOT\\CIMV2", Ports::kWBEM_FLAG_CONNECT_USE_MAX_WAIT, Ports::kRPC_C_AUTHN_LEVEL_DEFAULT,
                            services),
              kS_OK);
    std::unique_ptr<Ports::IWmiEnumerator> results;
    ASSERT_EQ(services->ExecQuery(L"SELECT * FROM Win32_BIOS WHERE Version = 'no such version'", 0x30, results),
              kS_OK);
    std::unique_ptr<Ports::IWmiObject> object;
    EXPECT_EQ(results->Next(20000, object), Ports::kWBEM_S_FALSE);
    EXPECT_FALSE(object);
}

TEST_F(Win32WmiTest, FailuresGiveTheirHresultAndNothing) {
    std::unique_ptr<Ports::IWmiServices> services;
    EXPECT_EQ(m_wmi.Connect(L"ROOT\\NoSuchNamespace", 0, 0, services), Ports::kWBEM_E_INVALID_NAMESPACE);
    EXPECT_FALSE(services);

    ASSERT_EQ(m_wmi.Connect(L"ROOT\\CIMV2", 0, 0, services), kS_OK);
    std::unique_ptr<Ports::IWmiEnumerator> results;
    EXPECT_EQ(services->ExecQuery(L"SELEC * FROM Win32_BIOS", 0x30, results), Ports::kWBEM_E_INVALID_QUERY);
    EXPECT_FALSE(results);
}

// The core's readers over real WMI: what the agent's version test and its
// platform-generation check see on Windows.
TEST_F(Win32WmiTest, TheQueryHelperAndTheBiosVersionReadRealWmi) {
    Win32::Win32ComRuntime com;
    Shared::CWmiQuery query(com, m_wmi, L"\\\\.\\root\\cimv2");
    ASSERT_EQ(kS_OK, query.ExecuteQuery(L"select Version from Win32_OperatingSystem",
                                        Ports::kWBEM_FLAG_RETURN_IMMEDIATELY | Ports::kWBEM_FLAG_FORWARD_ONLY));
    std::wstring version;
    EXPECT_EQ(kS_OK, query.GetPropertyValue(L"Version", version));
    EXPECT_NE(std::wstring::npos, version.find(L'.')) << "e.g. 6.1.7601";
    std::wstring notSelected = L"stale";
    EXPECT_TRUE(Failed(query.GetPropertyValue(L"NoSuchProperty", notSelected)));
    EXPECT_EQ(L"", notSelected);

    Variant expected;
    ASSERT_EQ(First(L"ROOT\\CIMV2", L"SELECT * FROM Win32_BIOS")->Get(L"SMBIOSBIOSVersion", expected), kS_OK);
    EXPECT_EQ(expected.StringOrEmpty(), Tolm::GetBiosVersion(m_wmi));
}

}  // namespace
}  // namespace Arvek::Testing
