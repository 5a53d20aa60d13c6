#include "viewer/port_table.h"

#include <cstdint>

#include "common/format.h"
#include "shared/com_scope.h"
#include "shared/log.h"

namespace Portolan {

namespace {

// Every text of the dialog is loaded into a buffer of this many UTF-16 units.
constexpr std::size_t kTextCapacity = 260;

constexpr std::uint32_t kIdStatusHeading = 538;
constexpr std::uint32_t kIdSupported = 539;
constexpr std::uint32_t kIdNotSupported = 540;
constexpr std::uint32_t kIdLabel = 541;
constexpr std::uint32_t kIdCaption = 542;
constexpr std::uint32_t kIdDisplayPort = 543;
constexpr std::uint32_t kIdThunderbolt = 544;
constexpr std::uint32_t kIdFeatureHeading = 545;
constexpr std::uint32_t kIdUsbDevices = 546;
constexpr std::uint32_t kIdPowerProvider = 547;
constexpr std::uint32_t kIdPowerConsumer = 548;
constexpr std::uint32_t kIdUsb31Gen1 = 549;
constexpr std::uint32_t kIdUsb31Gen2 = 550;
constexpr std::uint32_t kIdMaxPowerOutput = 551;

constexpr int kDefaultDialogWidth = 400;
constexpr int kFillerColumnWidth = 500;

// The firmware counts power in steps of 250 mW; the dialog shows whole watts.
// The product is taken modulo 2^32 as a 32-bit signed value, so an absurd
// firmware value gives the same (meaningless) number on every build instead
// of undefined behaviour; the division truncates towards zero.
std::int32_t PowerInWatts(std::int32_t quarterWatts) {
    const auto milliwatts = static_cast<std::int32_t>(static_cast<std::uint32_t>(
        static_cast<std::int64_t>(quarterWatts) * 250));
    return milliwatts / 1000;
}

}  // namespace

PortTable BuildPortTable(const Arvek::Tolm::UsbCPortConfig& config, Arvek::Ports::IResources& strings) {
    Arvek::Shared::CArvekLogTrace trace("Portolan::BuildPortTable");
    auto load = [&strings](std::uint32_t id) { return strings.LoadText(id, kTextCapacity); };

    // The English texts stay when the table has no translation for them.
    std::wstring supported = L"Supported";
    std::wstring notSupported = L"Not Supported";
    if (std::wstring text = load(kIdSupported); !text.empty()) supported = std::move(text);
    if (std::wstring text = load(kIdNotSupported); !text.empty()) notSupported = std::move(text);
    auto status = [&](bool flag) { return flag ? supported : notSupported; };

    PortTable table;
    table.caption = load(kIdCaption);
    table.label = load(kIdLabel);
    table.featureHeading = load(kIdFeatureHeading);
    table.statusHeading = load(kIdStatusHeading);

    std::wstring usb = config.SupportBasicUsb ? L"USB 2.0, " : L"";
    usb += load(config.SupportUsb31Gen2 ? kIdUsb31Gen2 : kIdUsb31Gen1);

    table.rows = {
        {load(kIdUsbDevices), std::move(usb)},
        {load(kIdThunderbolt), status(config.SupportThunderboltAlternateMode)},
        {load(kIdDisplayPort), status(config.SupportDisplayPortAlternateMode)},
        {load(kIdPowerProvider), status(config.SupportDownstreamPowerDelivery)},
        {load(kIdPowerConsumer), status(config.SupportUpstreamPowerDelivery)},
        {load(kIdMaxPowerOutput), Arvek::Format(L"%dW", PowerInWatts(config.MaxDownstreamPower))},
    };
    return table;
}

Arvek::Tolm::UsbCPortConfig ReadPortConfiguration(Arvek::Ports::Platform& platform) {
    const Arvek::Shared::CComThreadScope com(platform.com);
    Arvek::Tolm::UsbCPortConfig config{};
    try {
        config = Arvek::Tolm::CUsbCBiosInfo(platform).GetUsbCConfigInfo();
    } catch (const Arvek::ComError& e) {
        // The dialog runs inside the window system's callbacks, which no
        // exception may cross: the table shows what a failed query gives.
        Arvek::Shared::GetLog().Log(Arvek::Shared::Error, "Portolan::ReadPortConfiguration",
                                    L"Reading the port configuration failed. hr = 0x%X",
                                    static_cast<unsigned>(e.Error()));
        config = Arvek::Tolm::UsbCPortConfig{};
    }
    return config;
}

ColumnWidths ComputeColumnWidths(const int* dialogWidth) {
    const int width = dialogWidth ? *dialogWidth : kDefaultDialogWidth;
    // In 64 bits so that no width can overflow; the results fit in an int
    // because 45/100 and 55/100 shrink the value.
    const auto wide = static_cast<std::int64_t>(width);
    return {static_cast<int>(wide * 45 / 100), static_cast<int>(wide * 55 / 100), kFillerColumnWidth};
}

}  // namespace Portolan
