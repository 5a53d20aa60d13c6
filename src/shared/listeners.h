// The log's outputs: the Application event log, the debugger output, the
// console, and the rotating log file (file_listener.h).
#pragma once

#include <memory>
#include <string>

#include "shared/log.h"

namespace Arvek::Shared {

// Application event log, under an event source named after the program.
// Never receives records above Error (so no Diag lines).
class CArvekLogListenerEvent : public CArvekLogListener {
public:
    CArvekLogListenerEvent(LogLevel defaultLevel, Ports::IEventLog& eventLog, const std::wstring& programName);
    void Log(LogData& data) override;
    ListenerType GetType() const override { return Event; }

private:
    std::unique_ptr<Ports::IEventSource> m_source;  // none when registration failed
};

// "Function : message" lines to the debugger.
class CArvekLogListenerDebug : public CArvekLogListener {
public:
    CArvekLogListenerDebug(LogLevel defaultLevel, Ports::IDebugOutput& output)
        : CArvekLogListener(defaultLevel), m_output(output) {}
    void Log(LogData& data) override;
    ListenerType GetType() const override { return Debug; }

private:
    Ports::IDebugOutput& m_output;
};

// "Function : message" lines to standard output.
class CArvekLogListenerConsole : public CArvekLogListener {
public:
    CArvekLogListenerConsole(LogLevel defaultLevel, Ports::IConsole& console)
        : CArvekLogListener(defaultLevel), m_console(console) {}
    void Log(LogData& data) override;
    ListenerType GetType() const override { return Console; }

private:
    Ports::IConsole& m_console;
};

// The file listener (direct, or queued with a writer thread); null when the
// platform cannot give it a file.
std::unique_ptr<CArvekLogListener> CreateFileListener(LogLevel defaultLevel, bool queued, const LogConfigKeys& keys,
                                                      Ports::Platform& platform);

}  // namespace Arvek::Shared
