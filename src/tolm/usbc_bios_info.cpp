#include "tolm/usbc_bios_info.h"

#include <new>

#include "common/format.h"
#include "common/strings.h"
#include "shared/log.h"
#include "tolm/tolm_command.h"
#include "tolm/xml_document.h"

namespace Arvek::Tolm {
namespace {

using Shared::GetLog;
using Shared::Information;
using Shared::Verbose;

constexpr char kGetMsgDataFromTolm[] = "CUsbCBiosInfo::GetMsgDataFromTolm";
constexpr char kGetMessages[] = "CUsbCBiosInfo::GetMessages";
constexpr char kGetConfigDataFromTolm[] = "CUsbCBiosInfo::GetConfigDataFromTolm";
constexpr char kGetUsbCConfigInfo[] = "CUsbCBiosInfo::GetUsbCConfigInfo";

// Reads the decimal number of the element at `path` below `node` into
// `field`; a missing element leaves the field as it is. True when read.
bool ReadNumber(Ports::IXmlNode& node, const wchar_t* path, std::int32_t& field) {
    std::wstring text;
    if (Failed(GetNodeText(&node, path, text))) return false;
    field = ParseDecimal(text);
    return true;
}

// The values a valid message carries, chosen by its id.
void ReadValues(Ports::IXmlNode& message, UsbCPortMessage& record) {
    switch (record.iMessageId) {
        case 1:
            if (ReadNumber(message, L"NormalPower", record.iNormalPower))
                GetLog().Log(Verbose, kGetMessages, L"portMessage.iNormalPower = %d", record.iNormalPower);
            if (ReadNumber(message, L"SuppliedPower", record.iSuppliedPower))
                GetLog().Log(Verbose, kGetMessages, L"portMessage.iSuppliedPower = %d", record.iSuppliedPower);
            break;
        case 3:
            ReadNumber(message, L"RequestedPower", record.iRequestedPower);
            ReadNumber(message, L"MaxSuppliedPower", record.iMaxSuppliedPower);
            break;
        case 6:
            ReadNumber(message, L"NeededVoltage", record.iNeededVoltage);
            ReadNumber(message, L"NeededCurrent", record.iNeededCurrent);
            break;
        case 7:
            ReadNumber(message, L"ProvidedVoltage", record.iProvidedVoltage);
            ReadNumber(message, L"ProvidedCurrent", record.iProvidedCurrent);
            ReadNumber(message, L"RequestedVoltage", record.iRequestedVoltage);
            ReadNumber(message, L"RequestedCurrent", record.iRequestedCurrent);
            break;
        default:
            break;
    }
}

// Sets `flag` when the element below `port` reads "true" (any case); other
// text, or no element, leaves it as an earlier port left it.
void MergeFlag(Ports::IXmlNode& port, const wchar_t* path, bool& flag) {
    std::wstring text;
    if (Succeeded(GetNodeText(&port, path, text)) && EqualsIgnoreCase(text, L"true")) flag = true;
}

// Raises `maximum` to the element's number when that is larger.
void MergeMaximum(Ports::IXmlNode& port, const wchar_t* path, std::int32_t& maximum) {
    std::int32_t value = 0;
    if (ReadNumber(port, path, value) && value > maximum) maximum = value;
}

// The firmware's port count, cut to the ports a one-byte port number can
// address (logged under `function` when cut): an absurd count must not mean
// billions of selections.
int PortsToRead(std::int32_t count, const char* function) {
    constexpr int kMaxPorts = CUsbCBiosInfo::kMaxPorts;
    if (count <= kMaxPorts) return count;
    GetLog().Log(Information, function,
                 L"NumberOfPorts %d is more than the %d ports a one-byte port number can address; reading the "
                 L"first %d.",
                 count, kMaxPorts, kMaxPorts);
    return kMaxPorts;
}

}  // namespace

HRESULT CUsbCBiosInfo::GetMsgDataFromTolm(int portNumber, std::wstring& xml) {
    Shared::CArvekLogTrace trace(kGetMsgDataFromTolm, L"portNumber = %d", portNumber);
    xml.clear();
    CTolmCommand command(m_tolm);
    HRESULT hr = command.Create();
    if (Failed(hr)) return hr;
    const Variant argument = Variant::UI1(static_cast<std::uint8_t>(portNumber & 0xFF));
    try {
        GetLog().Log(Verbose, kGetMsgDataFromTolm, L"Calling Platform.USBC.Messages");
        Variant result;
        hr = command.ExecuteCommandWithArgument(kPlatformUsbCMessages, argument, result);
        GetLog().Log(Verbose, kGetMsgDataFromTolm, L"Calling Platform.USBC.Messages passed.");
        xml = result.StringOrEmpty();
    } catch (const ComError& e) {
        hr = e.Error();
        LogCommandFailure(kGetMsgDataFromTolm, kPlatformUsbCMessages, hr);
    }
    return hr;
}

void CUsbCBiosInfo::GetMessages(int portNumber) {
    Shared::CArvekLogTrace trace(kGetMessages, L"portNumber = %d", portNumber);
    try {
        std::wstring text;
        if (Failed(GetMsgDataFromTolm(portNumber, text))) {
            GetLog().Log(Information, kGetMessages, L"GetMsgDataFromTolm failed");
            return;
        }
        GetLog().Log(Verbose, kGetMessages, L"GetMsgDataFromTolm passed");

        CXmlDocument xml(m_xml);
        xml.LoadXml(text);  // a text that is not XML leaves an empty document: nothing is found
        const auto document = xml.GetDocument();
        if (!document) {
            GetLog().Log(Information, kGetMessages, L"xml.GetDocument() failed");
            return;
        }
        ReadMessages(*document);
    } catch (const std::bad_alloc&) {
        throw ComError(kE_OUTOFMEMORY);
    }
}

HRESULT CUsbCBiosInfo::GetConfigDataFromTolm(std::wstring& xml) {
    Shared::CArvekLogTrace trace(kGetConfigDataFromTolm);
    xml.clear();
    CTolmCommand command(m_tolm);
    HRESULT hr = command.Create();
    if (Failed(hr)) return hr;
    try {
        Variant result;
        hr = command.ExecuteCommand(kPlatformUsbCConfiguration, result);
        xml = result.StringOrEmpty();
    } catch (const ComError& e) {
        hr = e.Error();
        LogCommandFailure(kGetConfigDataFromTolm, kPlatformUsbCConfiguration, hr);
    }
    return hr;
}

UsbCPortConfig CUsbCBiosInfo::GetUsbCConfigInfo() {
    Shared::CArvekLogTrace trace(kGetUsbCConfigInfo);
    try {
        std::wstring text;
        if (Failed(GetConfigDataFromTolm(text))) return m_config;
        CXmlDocument xml(m_xml);
        xml.LoadXml(text);  // a text that is not XML leaves an empty document: nothing is found
        if (const auto document = xml.GetDocument()) ReadConfiguration(*document);
        return m_config;
    } catch (const std::bad_alloc&) {
        throw ComError(kE_OUTOFMEMORY);
    }
}

void CUsbCBiosInfo::ReadConfiguration(Ports::IXmlDocument& document) {
    std::unique_ptr<Ports::IXmlNode> data;
    document.SelectSingleNode(L"/GetUsbCPortsConfigurationOutput/Output/Data", data);
    if (data) {
        ReadNumber(*data, L"NumberOfPorts", m_config.NumberOfPorts);
        ReadNumber(*data, L"SizeOfPort", m_config.SizeOfPort);
    }
    const int ports = PortsToRead(m_config.NumberOfPorts, kGetUsbCConfigInfo);
    for (int i = 0; i < ports; ++i) {
        std::unique_ptr<Ports::IXmlNode> port;
        document.SelectSingleNode(Format(L"/GetUsbCPortsConfigurationOutput/Output/Data/Port%d", i), port);
        if (!port) continue;
        MergeFlag(*port, L"SupportBasicUsb", m_config.SupportBasicUsb);
        MergeFlag(*port, L"SupportUsb31Gen2", m_config.SupportUsb31Gen2);
        MergeFlag(*port, L"SupportUpstreamPowerDelivery", m_config.SupportUpstreamPowerDelivery);
        MergeFlag(*port, L"SupportDownstreamPowerDelivery", m_config.SupportDownstreamPowerDelivery);
        MergeFlag(*port, L"SupportDisplayPortAlternateMode", m_config.SupportDisplayPortAlternateMode);
        MergeFlag(*port, L"SupportThunderboltAlternateMode", m_config.SupportThunderboltAlternateMode);
        MergeFlag(*port, L"DisplayPortLaneX2", m_config.DisplayPortLaneX2);
        MergeFlag(*port, L"DisplayPortLaneX4", m_config.DisplayPortLaneX4);
        MergeMaximum(*port, L"MaxUpstreamPower", m_config.MaxUpstreamPower);
        MergeMaximum(*port, L"MaxDownstreamPower", m_config.MaxDownstreamPower);
    }
}

void CUsbCBiosInfo::ReadMessages(Ports::IXmlDocument& document) {
    std::unique_ptr<Ports::IXmlNode> data;
    document.SelectSingleNode(L"/GetUsbCMessagesOutput/Output/Data", data);
    std::int32_t ports = 0;
    if (data && ReadNumber(*data, L"NumberOfPorts", ports))
        GetLog().Log(Verbose, kGetMessages, L"Number Of Ports = %d", ports);
    if (ports < 1) {
        GetLog().Log(Verbose, kGetMessages, L"no usb-c ports, quit.");
        return;
    }
    ports = PortsToRead(ports, kGetMessages);

    for (int i = 0; i < ports; ++i) {
        GetLog().Log(Verbose, kGetMessages, L"Get info for port # %d.", i);
        std::unique_ptr<Ports::IXmlNode> port;
        document.SelectSingleNode(Format(L"/GetUsbCMessagesOutput/Output/Data/Port%d", i), port);
        std::int32_t messages = 0;
        if (!port || !ReadNumber(*port, L"NumberOfMessages", messages)) continue;
        GetLog().Log(Verbose, kGetMessages, L"Number Of Messages = %d.", messages);
        if (messages < 1) continue;
        if (messages > kMaxMessagesPerPort) {
            GetLog().Log(Information, kGetMessages,
                         L"NumberOfMessages %d of port # %d is more than %d; reading the first %d.", messages, i,
                         kMaxMessagesPerPort, kMaxMessagesPerPort);
            messages = kMaxMessagesPerPort;
        }

        // One working record for all messages of the port: a message that
        // lacks an element keeps what the port's earlier message left there.
        UsbCPortMessage record;
        for (int j = 0; j < messages; ++j) {
            std::unique_ptr<Ports::IXmlNode> message;
            document.SelectSingleNode(Format(L"/GetUsbCMessagesOutput/Output/Data/Port%d/Message%d", i, j), message);
            if (!message) continue;
            if (ReadNumber(*message, L"MessageId", record.iMessageId))
                GetLog().Log(Verbose, kGetMessages, L"iMessageId = %d", record.iMessageId);
            std::wstring valid;
            if (Succeeded(GetNodeText(message.get(), L"Valid", valid))) {
                GetLog().Log(Verbose, kGetMessages, L"Valid = %s", valid);
                if (EqualsIgnoreCase(valid, L"true")) ReadValues(*message, record);
            }
            if (record.iMessageId >= 1) m_portMessages.push_back(record);
        }
    }
}

}  // namespace Arvek::Tolm
