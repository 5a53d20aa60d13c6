// The fuzzer's bytes as the text of a "Platform.USBC.Messages" answer, read
// by CUsbCBiosInfo::GetMessages through the simulated XML DOM: whatever the
// firmware says, the query ends, touches no memory it should not, and lists
// only messages with an id of 1 or more, at most 256 for each of 256 ports.
#include <cstddef>
#include <cstdint>

#include "fuzz_answer.h"
#include "sim/os/sim_xml.h"
#include "tolm/usbc_bios_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Arvek;
    // The component and the parser live across runs; only the answer changes.
    static Sim::SimTolm tolm;
    static Sim::SimXmlParser xml;

    Fuzz::AnswerWith(tolm, L"Platform.USBC.Messages", data, size);

    Tolm::CUsbCBiosInfo info(tolm, xml);
    info.GetMessages(1);

    const auto& messages = info.PortMessages();
    if (messages.size() >
        static_cast<std::size_t>(Tolm::CUsbCBiosInfo::kMaxPorts) * Tolm::CUsbCBiosInfo::kMaxMessagesPerPort)
        __builtin_trap();
    for (const auto& message : messages)
        if (message.iMessageId < 1) __builtin_trap();
    if (tolm.LiveObjects() != 0) __builtin_trap();
    return 0;
}
