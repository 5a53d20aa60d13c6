// The viewer's table: which row says what for a port configuration, in the
// user's language, and the column widths of the dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "process_log.h"
#include "sim/os/sim_resources.h"
#include "sim_fixture.h"
#include "string_table.h"
#include "viewer/port_table.h"

namespace {

using Arvek::Sim::SimResources;
using Arvek::Strings::Program;
using Arvek::Tolm::UsbCPortConfig;
using Portolan::BuildPortTable;
using Portolan::ComputeColumnWidths;

std::vector<std::wstring> Statuses(const Portolan::PortTable& table) {
    std::vector<std::wstring> statuses;
    for (const auto& row : table.rows) statuses.push_back(row.status);
    return statuses;
}

UsbCPortConfig Everything(std::int32_t maxDownstreamPower) {
    UsbCPortConfig config;
    config.NumberOfPorts = 2;
    config.SupportBasicUsb = config.SupportUsb31Gen2 = true;
    config.SupportUpstreamPowerDelivery = config.SupportDownstreamPowerDelivery = true;
    config.SupportDisplayPortAlternateMode = config.SupportThunderboltAlternateMode = true;
    config.MaxDownstreamPower = maxDownstreamPower;
    return config;
}

TEST(PortTable, EnglishTextsAndRowOrder) {
    SimResources strings(1033, Program::Portolan);
    const auto table = BuildPortTable(Everything(400), strings);

    EXPECT_EQ(table.caption, L"USB Type-C\u2122 Information");
    EXPECT_EQ(table.label, L"USB Type-C\u2122 Features:");
    EXPECT_EQ(table.featureHeading, L"Feature");
    EXPECT_EQ(table.statusHeading, L"Support Status");
    ASSERT_EQ(table.rows.size(), 6u);
    const std::vector<std::wstring> features = {L"USB Devices",    L"Thunderbolt",    L"DisplayPort",
                                                L"Power Provider", L"Power Consumer", L"Max Power Output"};
    for (std::size_t i = 0; i < features.size(); ++i) EXPECT_EQ(table.rows[i].feature, features[i]) << i;
}

struct StatusCase {
    const char* name;
    UsbCPortConfig config;
    std::vector<std::wstring> statuses;
};

UsbCPortConfig Only(bool UsbCPortConfig::*flag) {
    UsbCPortConfig config;
    config.*flag = true;
    return config;
}

UsbCPortConfig Power(std::int32_t maxDownstreamPower) {
    UsbCPortConfig config;
    config.MaxDownstreamPower = maxDownstreamPower;
    return config;
}

// Each flag lands in its own row and nowhere else; the power in watts
// truncates, and absurd firmware values wrap as 32-bit arithmetic does.
TEST(PortTable, StatusColumnFollowsTheConfiguration) {
    const std::wstring yes = L"Supported", no = L"Not Supported", gen1 = L"USB 3.1 Gen 1";
    const StatusCase cases[] = {
        {"all features, 400", Everything(400), {L"USB 2.0, USB 3.1 Gen 2", yes, yes, yes, yes, L"100W"}},
        {"all zero (failed query)", UsbCPortConfig{}, {gen1, no, no, no, no, L"0W"}},
        {"basic USB only", Only(&UsbCPortConfig::SupportBasicUsb), {L"USB 2.0, USB 3.1 Gen 1", no, no, no, no, L"0W"}},
        {"Gen 2 without basic USB", Only(&UsbCPortConfig::SupportUsb31Gen2), {L"USB 3.1 Gen 2", no, no, no, no, L"0W"}},
        {"Thunderbolt", Only(&UsbCPortConfig::SupportThunderboltAlternateMode), {gen1, yes, no, no, no, L"0W"}},
        {"DisplayPort", Only(&UsbCPortConfig::SupportDisplayPortAlternateMode), {gen1, no, yes, no, no, L"0W"}},
        {"provider is downstream", Only(&UsbCPortConfig::SupportDownstreamPowerDelivery), {gen1, no, no, yes, no, L"0W"}},
        {"consumer is upstream", Only(&UsbCPortConfig::SupportUpstreamPowerDelivery), {gen1, no, no, no, yes, L"0W"}},
        {"lanes are not shown", Only(&UsbCPortConfig::DisplayPortLaneX4), {gen1, no, no, no, no, L"0W"}},
        {"3 truncates to 0W", Power(3), {gen1, no, no, no, no, L"0W"}},
        {"7 truncates to 1W", Power(7), {gen1, no, no, no, no, L"1W"}},
        {"240 is 60W", Power(240), {gen1, no, no, no, no, L"60W"}},
        {"-7 truncates towards zero", Power(-7), {gen1, no, no, no, no, L"-1W"}},
        {"largest without wrapping", Power(8589934), {gen1, no, no, no, no, L"2147483W"}},
        // 8589935 x 250 = 2147483750 wraps to -2147483546.
        {"first value that wraps", Power(8589935), {gen1, no, no, no, no, L"-2147483W"}},
        // INT_MAX x 250 = 536870911750 wraps to -1 x 250 = -250.
        {"INT_MAX", Power(INT_MAX), {gen1, no, no, no, no, L"0W"}},
        // INT_MIN x 250 is a multiple of 2^32: 0.
        {"INT_MIN", Power(INT_MIN), {gen1, no, no, no, no, L"0W"}},
    };
    SimResources strings(1033, Program::Portolan);
    for (const auto& c : cases) EXPECT_EQ(Statuses(BuildPortTable(c.config, strings)), c.statuses) << c.name;
}

TEST(PortTable, TextsFollowTheUsersLanguage) {
    SimResources strings(1031, Program::Portolan);
    const auto table = BuildPortTable(Everything(240), strings);

    EXPECT_EQ(table.featureHeading, L"Funktion");
    EXPECT_EQ(table.statusHeading, L"Unterst\u00fctzungsstatus");
    ASSERT_EQ(table.rows.size(), 6u);
    EXPECT_EQ(table.rows[0].feature, L"USB-Ger\u00e4te");
    EXPECT_EQ(table.rows[1].status, L"Unterst\u00fctzt");
    EXPECT_EQ(table.rows[5].status, L"60W");  // the power literal is not translated

    const auto none = BuildPortTable(UsbCPortConfig{}, strings);
    EXPECT_EQ(none.rows[1].status, L"Nicht unterst\u00fctzt");
}

// A string table that lacks some ids, and records what was asked of it.
class PartialResources : public Arvek::Ports::IResources {
public:
    explicit PartialResources(std::map<std::uint32_t, std::wstring> texts) : m_texts(std::move(texts)) {}
    std::wstring LoadText(std::uint32_t id, std::size_t capacity) override {
        capacities.push_back(capacity);
        const auto it = m_texts.find(id);
        return it == m_texts.end() ? std::wstring() : it->second.substr(0, capacity - 1);
    }
    std::optional<std::vector<std::uint8_t>> LoadData(std::uint32_t, std::uint32_t) override { return std::nullopt; }
    std::vector<std::size_t> capacities;

private:
    std::map<std::uint32_t, std::wstring> m_texts;
};

TEST(PortTable, StatusLiteralStaysWhenItsStringIsMissing) {
    PartialResources onlyNotSupported({{540, L"Nein"}});
    const auto yes = BuildPortTable(Everything(0), onlyNotSupported);
    EXPECT_EQ(yes.rows[1].status, L"Supported");
    EXPECT_EQ(BuildPortTable(UsbCPortConfig{}, onlyNotSupported).rows[1].status, L"Nein");

    PartialResources onlySupported({{539, L"Ja"}});
    EXPECT_EQ(BuildPortTable(Everything(0), onlySupported).rows[4].status, L"Ja");
    EXPECT_EQ(BuildPortTable(UsbCPortConfig{}, onlySupported).rows[4].status, L"Not Supported");

    // Every text is read into a buffer of 260 units; with no table at all the
    // texts from it are empty and the literals stand.
    PartialResources empty({});
    const auto bare = BuildPortTable(Everything(4), empty);
    EXPECT_EQ(bare.caption, L"");
    EXPECT_EQ(bare.rows[0].status, L"USB 2.0, ");
    EXPECT_EQ(bare.rows[5].status, L"1W");
    ASSERT_FALSE(empty.capacities.empty());
    for (std::size_t capacity : empty.capacities) EXPECT_EQ(capacity, 260u);
}

TEST(PortTable, ColumnWidths) {
    struct Case {
        std::optional<int> width;
        int feature, status;
    } const cases[] = {
        {std::nullopt, 180, 220},  // placement unreadable: 400 pixels
        {600, 270, 330},
        {99, 44, 54},  // both truncate: one pixel short of the dialog
        {0, 0, 0},
        {INT_MAX, 966367641, 1181116005},  // no overflow on the way
    };
    for (const auto& c : cases) {
        const auto widths = ComputeColumnWidths(c.width ? &*c.width : nullptr);
        EXPECT_EQ(widths.feature, c.feature) << c.width.value_or(-1);
        EXPECT_EQ(widths.status, c.status) << c.width.value_or(-1);
        EXPECT_EQ(widths.filler, 500);
    }
}

// A Tolm component whose answer cannot be held in memory.
class OutOfMemoryTolm : public Arvek::Ports::ITolm {
    class Command : public Arvek::Ports::ITolmCommand {
        Arvek::HRESULT ExecuteCommand(const std::wstring&, Arvek::Variant&) override { throw std::bad_alloc(); }
        Arvek::HRESULT ExecuteCommandWithArgument(const std::wstring&, const Arvek::Variant&,
                                                  Arvek::Variant&) override {
            throw std::bad_alloc();
        }
    };

public:
    Arvek::HRESULT CreateCommand(std::unique_ptr<Arvek::Ports::ITolmCommand>& command) override {
        command = std::make_unique<Command>();
        return Arvek::kS_OK;
    }
    Arvek::HRESULT CreateNotification(std::unique_ptr<Arvek::Ports::ITolmNotification>&) override {
        return Arvek::kE_NOTIMPL;
    }
};

// The reading runs inside the dialog's initialisation, where no exception
// may escape: COM stays balanced, the failure is logged, and the table is
// the all-zero one.
TEST(PortTable, AQueryThatRunsOutOfMemoryGivesTheZeroRecord) {
    Arvek::Testing::SimNotebook notebook("[machine]\nmodel = test\n");
    const Arvek::Ports::Platform viewer = notebook.machine.ViewerPlatform();
    OutOfMemoryTolm tolm;
    Arvek::Ports::Platform platform{viewer.registry, viewer.process,     viewer.clock,     viewer.files,
                                    viewer.namedObjects, viewer.eventLog, viewer.debugOutput, viewer.console,
                                    viewer.windowing, viewer.resources,   viewer.com,       tolm,
                                    viewer.xml,       viewer.wmi,         viewer.toasts,    viewer.shell,
                                    viewer.devices,   viewer.threads,     viewer.wmiEvents, viewer.dialogs};
    Arvek::Testing::ClearProcessLog();

    const UsbCPortConfig config = Portolan::ReadPortConfiguration(platform);

    EXPECT_EQ(config.NumberOfPorts, 0);
    EXPECT_FALSE(config.SupportBasicUsb);
    EXPECT_EQ(config.MaxDownstreamPower, 0);
    EXPECT_EQ(notebook.machine.Com().Balance(), 0);
    const auto lines = Arvek::Testing::ProcessLogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        L"Error Portolan::ReadPortConfiguration : Reading the port configuration failed. hr = 0x8007000E"),
              lines.end());
}

}  // namespace
