// The fuzzer's bytes as the text of a "Platform.USBC.Configuration" answer,
// read by CUsbCBiosInfo::GetUsbCConfigInfo through the simulated XML DOM:
// whatever the firmware says, the reading ends, touches no memory it should
// not, never reports a negative maximum and releases the command object.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/strings.h"
#include "sim/sim_tolm.h"
#include "sim/sim_xml.h"
#include "tolm/usbc_bios_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Arvek;
    static Sim::SimTolm tolm;
    static Sim::SimXmlParser xml;

    Standin::TolmAnswers answers;
    answers.replies[L"Platform.USBC.Configuration"] = {
        kS_OK, Variant::Bstr(WidenUtf8(std::string_view(reinterpret_cast<const char*>(data), size)))};
    tolm.SetAnswers(std::move(answers));
    tolm.ClearCalls();

    const Tolm::UsbCPortConfig config = Tolm::CUsbCBiosInfo(tolm, xml).GetUsbCConfigInfo();
    if (config.MaxUpstreamPower < 0 || config.MaxDownstreamPower < 0) __builtin_trap();
    if (tolm.LiveObjects() != 0) __builtin_trap();
    return 0;
}
