#include "agent/usbc/notifications_handler.h"

#include <exception>

#include "agent/presentation/desktop_toast.h"
#include "common/strings.h"
#include "shared/com_scope.h"
#include "shared/log.h"
#include "tolm/bios_version.h"
#include "tolm/tolm_command.h"

namespace Notifications::Tidewatch {

using Arvek::ComError;
using Arvek::HRESULT;
using Arvek::Shared::GetLog;
using Arvek::Shared::Verbose;

namespace {

constexpr char kInit[] = "Notifications::Tidewatch::CNotificationsHandler::Init";
constexpr char kShowUsbCMessages[] = "Notifications::Tidewatch::CNotificationsHandler::ShowUsbCMessages";
constexpr char kHandleAcpi[] = "Notifications::Tidewatch::CNotificationsHandler::HandleACPIUSbCEvent";
constexpr char kShowBillboard[] = "Notifications::Tidewatch::CNotificationsHandler::ShowBillboardMessage";
constexpr char kShowToaster[] = "Notifications::Tidewatch::CNotificationsHandler::ShowToaster";
constexpr char kCanSuppress[] = "Notifications::Tidewatch::CNotificationsHandler::CanSupressUsbcAdaptorNotification";

constexpr std::uint32_t kIdTitle = 507;      // "USB Type-C™ Connector"
constexpr std::uint32_t kIdBillboard = 526;
constexpr std::size_t kTitleCapacity = 128;  // UTF-16 units
constexpr std::size_t kTextCapacity = 520;

}  // namespace

UsbCMessageText TextOfMessage(std::int32_t messageId) {
    switch (messageId) {
    case 2: return {517, false};
    case 3: return {518, true};
    case 4:
    case 5: return {519, false};
    case 6: return {520, false};
    case 7: return {521, true};
    case 9: return {526, false};
    case 10: return {527, true};
    case 11: return {528, true};
    case 12: return {509, false};
    case 13: return {510, false};
    case 14: return {511, false};
    case 15: return {512, false};
    case 16: return {513, false};
    // 1 ("connect a higher capacity power adapter", 501) has never been
    // shown; 8, 17 and above have no text.
    default: return {0, false};
    }
}

bool HoldsBackAdapterMessages(const std::wstring& biosVersion) {
    return !biosVersion.empty() && (biosVersion[0] == L'X' || biosVersion[0] == L'Y' || biosVersion[0] == L'Z');
}

CNotificationsHandler::~CNotificationsHandler() {
    // The creator initialised COM for this handler's lifetime.
    m_platform.com.UninitializeThread();
}

void CNotificationsHandler::Init() {
    Arvek::Shared::CArvekLogTrace trace(kInit);
    m_bUsingACPIUsbCEvent = false;
    m_bUSBCSupported = false;
    m_bSuppressAdaptorNotification = false;

    Arvek::Tolm::CTolmCommand command(m_platform.tolm);
    if (Arvek::Failed(command.Create())) return;
    try {
        Arvek::Variant result;
        command.ExecuteCommand(L"Platform.MachineID", result);
        if (result.IsString()) m_bUsingACPIUsbCEvent = Arvek::EqualsIgnoreCase(result.StringOrEmpty(), L"8042");
    } catch (const ComError& e) {
        GetLog().Log(Arvek::Shared::Information, kInit, L"Exception occurred when calling Platform.MachineID, [hr:0x%08X]",
                     static_cast<std::uint32_t>(e.Error()));
    }
    try {
        Arvek::Variant result;
        command.ExecuteCommand(L"Platform.USBC.Supported", result);
        // The answer's type is not looked at: its boolean field decides.
        m_bUSBCSupported = result.IsVariantTrue();
        GetLog().Log(Verbose, kInit, L"m_bUSBCSupported: %d", m_bUSBCSupported ? 1 : 0);
    } catch (const ComError& e) {
        GetLog().Log(Arvek::Shared::Information, kInit,
                     L"Exception occurred when calling Platform.USBC.Supported, [hr:0x%08X]",
                     static_cast<std::uint32_t>(e.Error()));
    }
    m_bSuppressAdaptorNotification = CanSupressUsbcAdaptorNotification();
}

void CNotificationsHandler::ShowUsbCMessages(int portNumber) {
    auto& log = GetLog();
    // TraceOut is logged where the operation runs to its end; holding back
    // an adapter message ends it at once, without one.
    Arvek::Shared::CArvekLogScope scope(log, kShowUsbCMessages, L"portNumber = %d", portNumber);
    const Arvek::Shared::CComThreadScope com(m_platform.com);

    m_portMessages.clear();
    try {
        Arvek::Tolm::CUsbCBiosInfo info(m_platform);
        info.GetMessages(portNumber);
        m_portMessages = info.PortMessages();
    } catch (const ComError& e) {
        // Only running out of memory raises here: nothing is shown.
        m_portMessages.clear();
        log.Log(Arvek::Shared::Error, kShowUsbCMessages, L"Reading the USB Type-C messages failed. hr = 0x%X",
                static_cast<std::uint32_t>(e.Error()));
        log.Log(Arvek::Shared::TraceOut, kShowUsbCMessages, L"");
        return;
    }
    if (m_portMessages.empty()) {
        log.LogText(Verbose, kShowUsbCMessages, L"There is no USB Type -C messages to show.");
        log.Log(Arvek::Shared::TraceOut, kShowUsbCMessages, L"");
        return;
    }

    const std::wstring title = m_platform.resources.LoadText(kIdTitle, kTitleCapacity);
    for (std::size_t i = 0; i < m_portMessages.size(); ++i) {
        const std::int32_t id = m_portMessages[i].iMessageId;
        log.Log(Verbose, kShowUsbCMessages, L"message #%d, message id = %d", static_cast<int>(i), id);
        const UsbCMessageText message = TextOfMessage(id);
        if (message.adapterRelated && m_bSuppressAdaptorNotification) return;
        if (message.textId == 0) continue;
        ShowToaster(title, m_platform.resources.LoadText(message.textId, kTextCapacity));
    }
    log.Log(Arvek::Shared::TraceOut, kShowUsbCMessages, L"");
}

int CNotificationsHandler::HandleACPIUSbCEvent() {
    Arvek::Shared::CArvekLogTrace trace(kHandleAcpi);
    ShowUsbCMessages(0);
    return 0;
}

void CNotificationsHandler::ShowBillboardMessage() {
    Arvek::Shared::CArvekLogTrace trace(kShowBillboard);
    ShowToaster(m_platform.resources.LoadText(kIdTitle, kTitleCapacity),
                m_platform.resources.LoadText(kIdBillboard, kTextCapacity));
}

void CNotificationsHandler::ShowToaster(const std::wstring& title, const std::wstring& text) {
    Arvek::Shared::CArvekLogTrace trace(kShowToaster);
    try {
        // The maker's notification component only gates the toast: without
        // it the agent shows none. None of its methods is called.
        Arvek::Tolm::CTolmNotification notification(m_platform.tolm);
        const HRESULT hr = notification.Create();
        if (Arvek::Failed(hr)) {
            GetLog().Log(Verbose, kShowToaster,
                         L"pITolmNotification.CreateInstance of arvektolmutils.arvekTolmNotification failed., hr = 0x%X",
                         static_cast<std::uint32_t>(hr));
            return;
        }
        GetLog().LogText(Verbose, kShowToaster, L"Call Windows Toaster Message");
        GetLog().Log(Verbose, kShowToaster, L"Title: %s", title);
        GetLog().Log(Verbose, kShowToaster, L"Text: %s", text);
        DesktopToast(m_platform).DisplayToast(title, text);
    } catch (const ComError&) {
        // A failing notification object is no toast; nothing else to do.
    }
}

bool CNotificationsHandler::CanSupressUsbcAdaptorNotification() {
    Arvek::Shared::CArvekLogTrace trace(kCanSuppress);
    try {
        const std::wstring version = Arvek::Tolm::GetBiosVersion(m_platform.wmi);
        GetLog().LogText(Arvek::Shared::Error, kCanSuppress, L"BIOS Version: " + version);
        return HoldsBackAdapterMessages(version);
    } catch (const ComError&) {
    } catch (const std::exception&) {
    }
    GetLog().LogText(Arvek::Shared::Error, kCanSuppress, L"Failed to read BIOS Version");
    return false;
}

}  // namespace Notifications::Tidewatch
