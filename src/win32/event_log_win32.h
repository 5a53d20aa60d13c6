// The event log: RegisterEventSourceW on the local machine, ReportEventW,
// DeregisterEventSource when the source is dropped; OpenEventLogW,
// ReadEventLogW (sequential, backwards), CloseEventLog. Under Wine 8 the
// writer's calls succeed and store nothing (ReportEventW prints each
// insertion string on the "eventlog" debug channel) and a read ends at once
// with ERROR_HANDLE_EOF.
#pragma once

#include "ports/event_log.h"

namespace Arvek::Win32 {

class Win32EventLog final : public Ports::IEventLog {
public:
    std::unique_ptr<Ports::IEventSource> RegisterSource(const std::wstring& sourceName) override;
    std::uint32_t OpenLog(const std::wstring& logName, std::unique_ptr<Ports::IEventLogReader>& log) override;
};

}  // namespace Arvek::Win32
