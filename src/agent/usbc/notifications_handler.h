// Turns the firmware's USB Type-C port messages into desktop toasts: learns
// once how the machine signals USB Type-C events and whether adapter
// messages are held back on this platform generation, maps each message id
// to its text, and shows the toasts while the maker's notification component
// is present. Also shows the one message for a USB billboard device.
//
// Used on the agent's main thread only; it has no lock.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ports/platform.h"
#include "tolm/usbc_bios_info.h"

namespace Notifications::Tidewatch {

// What the agent shows for one firmware message id.
struct UsbCMessageText {
    std::uint32_t textId = 0;     // the string table's id; 0 when none is shown
    bool adapterRelated = false;  // held back on platforms that say so
};

// The text of a firmware message id. Id 1 has a text (501) that was never
// shown to users, and stays unshown; ids without a text (8, 17 and above,
// anything unknown) show nothing.
UsbCMessageText TextOfMessage(std::int32_t messageId);

// Whether adapter messages are held back for this BIOS version: its first
// character is "X", "Y" or "Z" (upper case only), the BIOS families of the
// 2025 platforms and later.
bool HoldsBackAdapterMessages(const std::wstring& biosVersion);

class CNotificationsHandler {
public:
    // The caller has initialised COM on this thread; the handler balances
    // that once when it goes.
    explicit CNotificationsHandler(Arvek::Ports::Platform& platform) : m_platform(platform) {}
    ~CNotificationsHandler();
    CNotificationsHandler(const CNotificationsHandler&) = delete;
    CNotificationsHandler& operator=(const CNotificationsHandler&) = delete;

    // Once after construction: asks the platform component how USB Type-C
    // events arrive and whether the machine has USB Type-C, and the BIOS
    // version whether adapter messages are held back. Without the component
    // every flag stays false.
    void Init();

    bool IsUsingACPIUsbCEvent() const { return m_bUsingACPIUsbCEvent; }
    bool IsUsbCSupported() const { return m_bUSBCSupported; }
    bool SuppressesAdaptorNotification() const { return m_bSuppressAdaptorNotification; }

    // Fetches the messages for `portNumber` (0 on the ACPI path, 255 for all
    // ports, or a port id) and shows a toast for each that has a text.
    void ShowUsbCMessages(int portNumber);
    // The platform driver's USB Type-C event: the messages of port 0.
    int HandleACPIUSbCEvent();
    void ShowBillboardMessage();
    void ShowToaster(const std::wstring& title, const std::wstring& text);

    bool CanSupressUsbcAdaptorNotification();

    // The list the last ShowUsbCMessages fetched.
    const std::vector<Arvek::Tolm::UsbCPortMessage>& PortMessages() const { return m_portMessages; }

private:
    Arvek::Ports::Platform& m_platform;
    bool m_bUsingACPIUsbCEvent = false;
    bool m_bUSBCSupported = false;
    bool m_bSuppressAdaptorNotification = false;
    std::vector<Arvek::Tolm::UsbCPortMessage> m_portMessages;
};

}  // namespace Notifications::Tidewatch
