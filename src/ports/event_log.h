// Event log writer: RegisterEventSourceW / ReportEventW / DeregisterEventSource.
//
// Implementations: win32/event_log_win32, sim/os/sim_event_log (records what was
// written, for the scenario transcript).
//
// Nothing here throws but std::bad_alloc when memory runs out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Arvek::Ports {

// Event types as ReportEventW numbers them.
constexpr std::uint16_t kEVENTLOG_ERROR_TYPE = 0x0001;
constexpr std::uint16_t kEVENTLOG_WARNING_TYPE = 0x0002;
constexpr std::uint16_t kEVENTLOG_INFORMATION_TYPE = 0x0004;

class IEventSource {
public:
    virtual ~IEventSource() = default;  // deregisters the source
    virtual bool Report(std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                        const std::vector<std::wstring>& strings) = 0;
};

class IEventLog {
public:
    virtual ~IEventLog() = default;
    // Registers an event source on the local machine; null when that fails.
    virtual std::unique_ptr<IEventSource> RegisterSource(const std::wstring& sourceName) = 0;
};

}  // namespace Arvek::Ports
