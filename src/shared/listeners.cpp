#include "shared/listeners.h"

namespace Arvek::Shared {

CArvekLogListenerEvent::CArvekLogListenerEvent(LogLevel defaultLevel, Ports::IEventLog& eventLog,
                                               const std::wstring& programName)
    : CArvekLogListener(defaultLevel), m_source(eventLog.RegisterSource(programName)) {}

void CArvekLogListenerEvent::Log(LogData& data) {
    if (data.Level() < m_minLevel || data.Level() > Error || !m_source) return;
    const std::uint16_t type = data.Level() == Warning ? Ports::kEVENTLOG_WARNING_TYPE
                               : data.Level() == Error ? Ports::kEVENTLOG_ERROR_TYPE
                                                       : Ports::kEVENTLOG_INFORMATION_TYPE;
    m_source->Report(type, 0, static_cast<std::uint32_t>(data.Level()), {std::wstring(data.LineView())});
}

namespace {
std::wstring FunctionAndMessage(const CArvekLogListener::LogData& data) {
    return Format(L"%S : %s\r\n", data.FunctionName(), data.Message());
}
}  // namespace

void CArvekLogListenerDebug::Log(LogData& data) { m_output.Output(FunctionAndMessage(data)); }

void CArvekLogListenerConsole::Log(LogData& data) { m_console.Write(FunctionAndMessage(data)); }

}  // namespace Arvek::Shared
