// The WMI query helper and the BIOS version query over the simulated
// notebook's WMI.
#include <gtest/gtest.h>

#include "shared/wmi_query.h"
#include "sim/os/sim_com.h"
#include "sim/sim_fixture.h"
#include "sim/os/sim_wmi.h"
#include "tolm/bios_version.h"

namespace Arvek::Testing {
namespace {

using Shared::CWmiQuery;
using Sim::WmiObject;

constexpr std::int32_t kFlags = Ports::kWBEM_FLAG_RETURN_IMMEDIATELY | Ports::kWBEM_FLAG_FORWARD_ONLY;

struct Wmi : testing::Test {
    Wmi() { wmi.AddMachineClasses(L"X07 1.14.2", L"10.0.22631", 1031); }
    Sim::SimFaults faults;
    Sim::SimComRuntime com;
    Sim::SimWmi wmi{&faults};
    // The WMI service, stopped as the scenario setting "wmi = stopped" stops it.
    void StopService() { faults.Fail("wmi.connect", MakeHr(0x800706BAu)); }
};

TEST_F(Wmi, ReadsTheFirstObjectsPropertiesAsText) {
    CWmiQuery query(com, wmi, L"\\\\.\\root\\cimv2");
    ASSERT_EQ(kS_OK, query.ExecuteQuery(L"select Version from Win32_OperatingSystem", kFlags));
    const struct {
        const wchar_t* property;
        HRESULT hr;
        const wchar_t* text;
    } cases[] = {
        {L"Version", kS_OK, L"10.0.22631"},
        {L"version", kS_OK, L"10.0.22631"},
        {L"BuildNumber", Ports::kWBEM_E_NOT_FOUND, L""},  // not selected
    };
    for (const auto& c : cases) {
        std::wstring text = L"stale";
        EXPECT_EQ(c.hr, query.GetPropertyValue(c.property, text)) << c.property;
        EXPECT_EQ(c.text, text);
    }

    ASSERT_EQ(kS_OK, query.ExecuteQuery(L"SELECT * FROM Win32_OperatingSystem", kFlags));
    std::wstring text;
    EXPECT_EQ(kS_OK, query.GetPropertyValue(L"OSLanguage", text));
    EXPECT_EQ(L"1031", text);  // a 32-bit integer as decimal text
    EXPECT_EQ(kS_OK, query.GetPropertyValue(L"CSDVersion", text));
    EXPECT_EQ(L"", text);  // no value
}

TEST_F(Wmi, FailuresGiveTheirCodesAndNoText) {
    wmi.AddClass(L"root\\cimv2", L"Win32_Battery");
    {
        StopService();
        CWmiQuery query(com, wmi, L"\\\\.\\root\\cimv2");
        EXPECT_EQ(Ports::kWBEM_E_INITIALIZATION_FAILURE, query.ExecuteQuery(L"select * from Win32_BIOS", kFlags));
        faults.Heal("wmi.connect");
    }
    CWmiQuery unknown(com, wmi, L"\\\\.\\root\\nowhere");
    EXPECT_EQ(Ports::kWBEM_E_INITIALIZATION_FAILURE, unknown.ExecuteQuery(L"select * from Win32_BIOS", kFlags));

    CWmiQuery query(com, wmi, L"ROOT\\CIMV2");
    std::wstring text = L"stale";
    EXPECT_EQ(Ports::kWBEM_E_INVALID_OBJECT, query.GetPropertyValue(L"Version", text));  // before any result
    EXPECT_EQ(L"", text);
    EXPECT_EQ(Ports::kWBEM_S_FALSE, query.ExecuteQuery(L"select * from Win32_Battery", kFlags));
    EXPECT_EQ(Ports::kWBEM_E_INVALID_OBJECT, query.GetPropertyValue(L"Name", text));

    // A failed query must not leave the previous query's object to be read.
    ASSERT_EQ(kS_OK, query.ExecuteQuery(L"select * from Win32_BIOS", kFlags));
    EXPECT_TRUE(Failed(query.ExecuteQuery(L"select * from", kFlags)));
    EXPECT_EQ(Ports::kWBEM_E_INVALID_OBJECT, query.GetPropertyValue(L"SMBIOSBIOSVersion", text));
}

TEST_F(Wmi, AValueWithoutTextIsATypeMismatch) {
    wmi.AddObject(L"root\\cimv2", L"Win32_Thing", {{{L"Data", Variant::Raw(0x2011 /* VT_ARRAY | VT_UI1 */, 0)}}});
    CWmiQuery query(com, wmi, L"root\\cimv2");
    ASSERT_EQ(kS_OK, query.ExecuteQuery(L"select * from Win32_Thing", kFlags));
    std::wstring text;
    EXPECT_EQ(Ports::kWBEM_E_TYPE_MISMATCH, query.GetPropertyValue(L"Data", text));
}

TEST_F(Wmi, BalancesTheThreadsComInitialisation) {
    {
        CWmiQuery query(com, wmi, L"root\\cimv2");
        EXPECT_EQ(1, com.Balance());
    }
    EXPECT_EQ(0, com.Balance());
}

TEST_F(Wmi, BiosVersionIsTheFirstBiosObjectsStringOrNothing) {
    EXPECT_EQ(L"X07 1.14.2", Tolm::GetBiosVersion(wmi));

    wmi.AddObject(L"root\\cimv2", L"Win32_BIOS", {{{L"SMBIOSBIOSVersion", Variant::Bstr(L"second")}}});
    EXPECT_EQ(L"X07 1.14.2", Tolm::GetBiosVersion(wmi));

    Sim::SimWmi numeric;
    numeric.AddObject(L"root\\cimv2", L"Win32_BIOS", {{{L"SMBIOSBIOSVersion", Variant::I4(7)}}});
    EXPECT_EQ(L"", Tolm::GetBiosVersion(numeric));

    Sim::SimWmi none;
    none.AddClass(L"root\\cimv2", L"Win32_BIOS");
    EXPECT_EQ(L"", Tolm::GetBiosVersion(none));

    StopService();
    EXPECT_EQ(L"", Tolm::GetBiosVersion(wmi));
}

TEST(WmiScenario, TheNotebookAnswersWithItsScenarioVersions) {
    SimNotebook notebook("[machine]\nbios-version = Z01 0.9\nos-version = 6.3.9600\n");
    auto& platform = notebook.machine.Platform();
    EXPECT_EQ(L"Z01 0.9", Tolm::GetBiosVersion(platform.wmi));
    CWmiQuery query(platform.com, platform.wmi, L"\\\\.\\root\\cimv2");
    ASSERT_EQ(kS_OK, query.ExecuteQuery(L"select Version from Win32_OperatingSystem", kFlags));
    std::wstring version;
    EXPECT_EQ(kS_OK, query.GetPropertyValue(L"Version", version));
    EXPECT_EQ(L"6.3.9600", version);

    SimNotebook stopped("[machine]\nwmi = stopped\n");
    EXPECT_EQ(L"", Tolm::GetBiosVersion(stopped.machine.Platform().wmi));
}

}  // namespace
}  // namespace Arvek::Testing
