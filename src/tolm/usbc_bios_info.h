// What the firmware reports about the USB Type-C ports, read through Tolm:
// the agent's port messages ("Platform.USBC.Messages") and the viewer's
// summary of what the ports can do ("Platform.USBC.Configuration").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/hresult.h"
#include "ports/platform.h"

namespace Arvek::Tolm {

// One firmware message of one port, in the firmware's units; -1 means the
// firmware gave no value. Which values a message carries depends on its id.
struct UsbCPortMessage {
    std::int32_t iMessageId = -1;
    std::int32_t iNormalPower = -1;        // id 1
    std::int32_t iSuppliedPower = -1;      // id 1
    std::int32_t iRequestedPower = -1;     // id 3
    std::int32_t iMaxSuppliedPower = -1;   // id 3
    std::int32_t iNeededVoltage = -1;      // id 6
    std::int32_t iNeededCurrent = -1;      // id 6
    std::int32_t iProvidedVoltage = -1;    // id 7
    std::int32_t iProvidedCurrent = -1;    // id 7
    std::int32_t iRequestedVoltage = -1;   // id 7
    std::int32_t iRequestedCurrent = -1;   // id 7

    bool operator==(const UsbCPortMessage&) const = default;
};

// What the machine's best port can do for each feature, over all ports: a
// flag is set when any port offers the feature, and each maximum is the
// largest over the ports. All zero (false) until read.
struct UsbCPortConfig {
    std::int32_t NumberOfPorts = 0;
    std::int32_t SizeOfPort = 0;  // as the firmware reports it; not shown
    bool SupportBasicUsb = false;
    bool SupportUsb31Gen2 = false;
    bool SupportUpstreamPowerDelivery = false;    // the machine can take power
    bool SupportDownstreamPowerDelivery = false;  // the machine can give power
    bool SupportDisplayPortAlternateMode = false;
    bool SupportThunderboltAlternateMode = false;
    bool DisplayPortLaneX2 = false;  // not shown
    bool DisplayPortLaneX4 = false;  // not shown
    std::int32_t MaxUpstreamPower = 0;    // not shown
    std::int32_t MaxDownstreamPower = 0;  // in units of 250 mW

    bool operator==(const UsbCPortConfig&) const = default;
};

// Made afresh for each query, on the thread that runs it (COM already
// initialised there); the list is copied out afterwards.
class CUsbCBiosInfo {
public:
    CUsbCBiosInfo(Ports::ITolm& tolm, Ports::IXmlParser& xml) : m_tolm(tolm), m_xml(xml) {}
    explicit CUsbCBiosInfo(Ports::Platform& platform) : CUsbCBiosInfo(platform.tolm, platform.xml) {}

    // The most ports, and messages per port, read from one answer. The port
    // number sent to the firmware is one byte, so no firmware addresses more
    // than 256 ports; the same bound keeps an absurd message count from
    // running millions of selections.
    static constexpr int kMaxPorts = 256;
    static constexpr int kMaxMessagesPerPort = 256;

    // Runs "Platform.USBC.Messages" with the low byte of `portNumber` (as
    // VT_UI1) into `xml`: the command's HRESULT, or the creation's when the
    // command object cannot be made. A failed command is logged here.
    HRESULT GetMsgDataFromTolm(int portNumber, std::wstring& xml);

    // Fetches and parses the port messages, appending them to the list.
    // Throws ComError(E_OUTOFMEMORY) when memory runs out.
    void GetMessages(int portNumber);

    // Runs "Platform.USBC.Configuration" into `xml`: the command's HRESULT,
    // or the creation's when the command object cannot be made. A failed
    // command is logged here.
    HRESULT GetConfigDataFromTolm(std::wstring& xml);

    // Reads the configuration answer and merges its ports into the summary,
    // which it returns. Throws ComError(E_OUTOFMEMORY) when memory runs out.
    UsbCPortConfig GetUsbCConfigInfo();

    // Ports in index order, then messages in index order. The list holds no
    // port index.
    const std::vector<UsbCPortMessage>& PortMessages() const { return m_portMessages; }

private:
    void ReadMessages(Ports::IXmlDocument& document);
    void ReadConfiguration(Ports::IXmlDocument& document);

    Ports::ITolm& m_tolm;
    Ports::IXmlParser& m_xml;
    std::vector<UsbCPortMessage> m_portMessages;
    UsbCPortConfig m_config;
};

}  // namespace Arvek::Tolm
