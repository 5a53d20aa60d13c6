// The Application event log: RegisterEventSourceW on the local machine,
// ReportEventW, DeregisterEventSource when the source is dropped.
#pragma once

#include "ports/event_log.h"

namespace Arvek::Win32 {

class Win32EventLog final : public Ports::IEventLog {
public:
    std::unique_ptr<Ports::IEventSource> RegisterSource(const std::wstring& sourceName) override;
};

}  // namespace Arvek::Win32
