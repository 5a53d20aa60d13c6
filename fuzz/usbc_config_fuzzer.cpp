// The fuzzer's bytes as the text of a "Platform.USBC.Configuration" answer,
// read by CUsbCBiosInfo::GetUsbCConfigInfo through the simulated XML DOM:
// whatever the firmware says, the reading ends, touches no memory it should
// not, never reports a negative maximum and releases the command object.
#include <cstddef>
#include <cstdint>

#include "fuzz_answer.h"
#include "sim/os/sim_xml.h"
#include "tolm/usbc_bios_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Arvek;
    static Sim::SimTolm tolm;
    static Sim::SimXmlParser xml;

    Fuzz::AnswerWith(tolm, L"Platform.USBC.Configuration", data, size);

    const Tolm::UsbCPortConfig config = Tolm::CUsbCBiosInfo(tolm, xml).GetUsbCConfigInfo();
    if (config.MaxUpstreamPower < 0 || config.MaxDownstreamPower < 0) __builtin_trap();
    if (tolm.LiveObjects() != 0) __builtin_trap();
    return 0;
}
