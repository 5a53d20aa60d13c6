// The diagnostic log of both programs.
//
// One CArvekLog per process (GetLog) decides, once, from the policy values
// under HKLM\Software\Policies\Arvek\<product name>[\<program>], which
// listeners exist and which levels they accept, and hands every accepted
// record to them. Without configuration only Error records reach the
// Application event log.
//
// A call whose level is outside the log's window returns before formatting,
// allocating or calling the system; logging never throws and never changes
// the caller's last-error value.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/format.h"
#include "ports/platform.h"

namespace Arvek::Shared {

enum LogLevel : std::int32_t {
    TraceIn = 0,
    TraceOut = 1,
    Verbose = 2,
    Information = 3,
    Warning = 4,
    Error = 5,
    Diag = 6,
    Never = 99,
};

// One bit per listener kind; also each listener's GetType.
enum ListenerType : std::uint32_t {
    Event = 1,
    Debug = 2,
    QueuedFile = 4,
    File = 8,
    Console = 16,
};

// Level name by number: "TraceIn" ... "Diag", "Undefined" outside 0-6.
std::wstring_view LevelName(std::int32_t level);

// The start of a record's line, "%04d/%02d/%02d %02d:%02d:%02d.%03d|%08X|%-11s|"
// of the time, the thread id and the level name, written into `out` (room
// for kLinePrefixMax characters); returns its length. Written by hand: it is
// part of every line.
inline constexpr std::size_t kLinePrefixMax = 64;
std::size_t FormatLinePrefix(wchar_t* out, const Ports::SystemTime& time, std::uint32_t threadId, std::int32_t level);

// A level name from the registry: case-insensitive; null, empty, "Never" and
// anything unknown give Never (99).
LogLevel ParseLogLevel(const wchar_t* name);
LogLevel ParseLogLevel(std::wstring_view name);

class CArvekLog;

class CArvekLogListener {
public:
    // One log record. Its line is made once, when the record is; the
    // function name and the message are parts of that line. A record made
    // here owns its line, one string of the final size. The log call's own
    // record lends the line from the call's buffer instead, so that a
    // listener that writes the line out (the file listener) costs nothing
    // more; only GetLine, or a copy, gives such a record a string of its
    // own. A listener that keeps a record keeps a copy.
    class LogData {
    public:
        LogData() = default;
        LogData(std::int32_t level, std::string_view functionName, std::wstring_view message,
                const Ports::SystemTime& time, std::uint32_t threadId);
        virtual ~LogData() = default;
        // A copy, or a record moved from a lending one, owns its line.
        LogData(const LogData& other);
        LogData& operator=(const LogData& other);
        LogData(LogData&& other);
        LogData& operator=(LogData&& other);

        // "2026/12/09 01:58:47.123|00001A2C|Verbose    |Function|Message",
        // without a line end; the same string on every call.
        const std::wstring& GetLine();
        // The same line, without giving a lending record a string.
        std::wstring_view LineView() {
            if (!m_lent.empty()) return m_lent;
            return GetLine();
        }

        // The function name (8-bit text read as UTF-8) and the message, as
        // they appear in the line.
        std::wstring_view FunctionName() const { return Line().substr(m_functionAt, m_functionSize); }
        std::wstring_view Message() const { return Line().substr(m_messageAt); }
        std::int32_t Level() const { return m_level; }
        const Ports::SystemTime& Time() const { return m_time; }
        std::uint32_t ThreadId() const { return m_threadId; }

    private:
        friend class CArvekLog;
        struct Lent {};
        // The log call's record: `line` is built already, in the call's buffer.
        LogData(Lent, std::int32_t level, std::wstring_view line, std::size_t functionAt, std::size_t functionSize,
                const Ports::SystemTime& time, std::uint32_t threadId)
            : m_lent(line), m_functionAt(functionAt), m_functionSize(functionSize),
              m_messageAt(functionAt + functionSize + 1), m_level(level), m_time(time), m_threadId(threadId) {}

        std::wstring_view Line() const { return m_lent.empty() ? std::wstring_view(m_line) : m_lent; }
        void BuildLine(std::string_view functionName, std::wstring_view message);

        std::wstring m_line;       // empty in a lending record, and in a default one until asked for
        std::wstring_view m_lent;  // the line in the log call's buffer, while it lends it
        std::size_t m_functionAt = 0;
        std::size_t m_functionSize = 0;
        std::size_t m_messageAt = 0;
        std::int32_t m_level = 0;
        Ports::SystemTime m_time{};
        std::uint32_t m_threadId = 0;
    };

    explicit CArvekLogListener(LogLevel defaultLevel) : m_minLevel(defaultLevel) {}
    virtual ~CArvekLogListener() = default;
    virtual void Log(LogData& data) = 0;
    virtual ListenerType GetType() const = 0;

    LogLevel MinLevel() const { return m_minLevel; }
    LogLevel MaxLevel() const { return m_maxLevel; }
    bool Accepts(std::int32_t level) const { return m_minLevel <= level && level <= m_maxLevel; }

    // The window from "MinLogLevel" / "MaxLogLevel"; called once at creation.
    void SetLevelWindow(LogLevel minLevel, LogLevel maxLevel) {
        m_minLevel = minLevel;
        m_maxLevel = maxLevel;
    }

protected:
    LogLevel m_minLevel;
    LogLevel m_maxLevel = Error;
};

// The two configuration keys; either may be absent. Values are looked up in
// the program key first, then in the product key.
struct LogConfigKeys {
    std::unique_ptr<Ports::IRegistryKey> product;
    std::unique_ptr<Ports::IRegistryKey> program;
    std::wstring programName;  // the executable's base name: "Tidewatch", "Portolan"

    // A string value of at most maxChars characters; nullopt when absent in
    // both keys, too long, or (with stringTypesOnly) not REG_SZ.
    std::optional<std::wstring> ReadString(const std::wstring& name, std::size_t maxChars,
                                           bool stringTypesOnly) const;
    // A value of exactly four bytes, whatever its stored type, from one key.
    static std::optional<std::uint32_t> ReadDword(Ports::IRegistryKey* key, const std::wstring& name);
};

// The executable's base name: after the last backslash, without the part from
// the last dot on.
std::wstring ProgramBaseName(std::wstring_view modulePath);

LogConfigKeys OpenLogConfigKeys(Ports::IRegistry& registry, Ports::IProcess& process);

class CArvekLog {
public:
    static constexpr std::size_t kMessageBufferSize = 512;
    static constexpr std::size_t kMaxListeners = 10;

    // Reads the configuration and creates the listeners.
    CArvekLog(Ports::Platform& platform, LogLevel defaultLevel, std::uint32_t defaultListeners);
    ~CArvekLog();
    CArvekLog(const CArvekLog&) = delete;
    CArvekLog& operator=(const CArvekLog&) = delete;

    bool IsEnabled(std::int32_t level) const {
        return m_listenerCount != 0 && level >= m_minLevel && level <= m_maxLevel;
    }

    template <class... Args>
    void Log(std::int32_t level, const char* function, const wchar_t* format, const Args&... args) {
        if (!IsEnabled(level)) return;
        if constexpr (sizeof...(Args) == 0) {
            LogFormatted(level, function, format, {});
        } else {
            const FormatArg list[] = {FormatArg(args)...};
            LogFormatted(level, function, format, list);
        }
    }

    // A ready text instead of a format; not cut to the message buffer.
    void LogText(std::int32_t level, const char* function, std::wstring_view text);

    LogLevel MinLevel() const { return m_minLevel; }
    LogLevel MaxLevel() const { return m_maxLevel; }
    bool TimingEnabled() const { return m_timing; }
    std::size_t ListenerCount() const { return m_listenerCount; }
    const CArvekLogListener* Listener(std::size_t index) const { return m_listeners[index].get(); }
    CArvekLogListener* FileListener() const { return m_fileListener; }
    Ports::IClock& Clock() const { return m_platform->clock; }

private:
    friend CArvekLog& GetLog();
    CArvekLog();  // the log of a process that named no platform: no listeners

    void LogFormatted(std::int32_t level, const char* function, const wchar_t* format,
                      std::span<const FormatArg> args);
    // Makes the record for a message that `writeMessage(buffer, room)`
    // writes (returning its length) and hands it to the listeners.
    template <class WriteMessage>
    void Dispatch(std::int32_t level, const char* function, WriteMessage writeMessage) noexcept;
    void Send(CArvekLogListener::LogData& data);
    std::unique_ptr<CArvekLogListener> CreateListener(ListenerType type, LogLevel defaultLevel,
                                                      const LogConfigKeys& keys);

    Ports::Platform* m_platform = nullptr;
    std::array<std::unique_ptr<CArvekLogListener>, kMaxListeners> m_listeners;
    std::size_t m_listenerCount = 0;
    LogLevel m_minLevel = Never;
    LogLevel m_maxLevel = Error;
    bool m_timing = false;
    CArvekLogListener* m_fileListener = nullptr;
};

// The process's log, made on first use from the process's platform (see
// SetProcessPlatform) with the defaults every caller uses: minimum level
// Error, listener set Event. It lives until the process ends.
CArvekLog& GetLog();

// The program's entry point names its platform once, before anything logs.
// A process that never does gets a log without listeners.
void SetProcessPlatform(Ports::Platform& platform);

// Scope timer: reports the elapsed time at level Diag.
class CArvekLogTimer {
public:
    void Start(CArvekLog& log, const char* function);
    void Stop();

private:
    CArvekLog* m_log = nullptr;
    std::uint64_t m_start = 0;
    double m_elapsedMs = 0.0;
    const char* m_function = "";
};

// The calling convention of every function: TraceIn on entry (empty
// message), and a timer while the timing switch is on, stopped on every way
// out. TraceOut is logged by the function itself where it says so.
class CArvekLogScope {
public:
    CArvekLogScope(CArvekLog& log, const char* function);
    // TraceIn with the arguments where the function names them.
    template <class... Args>
    CArvekLogScope(CArvekLog& log, const char* function, const wchar_t* entryFormat, const Args&... args) {
        log.Log(TraceIn, function, entryFormat, args...);
        if (log.TimingEnabled()) m_timer.emplace().Start(log, function);
    }
    ~CArvekLogScope();
    CArvekLogScope(const CArvekLogScope&) = delete;
    CArvekLogScope& operator=(const CArvekLogScope&) = delete;

private:
    std::optional<CArvekLogTimer> m_timer;
};

// TraceIn on entry (an empty message, or the arguments where the function
// names them), the timer while the timing switch is on, and TraceOut on every
// way out, before the timer's line.
class CArvekLogTrace {
public:
    explicit CArvekLogTrace(const char* function) : CArvekLogTrace(function, L"") {}

    template <class... Args>
    CArvekLogTrace(const char* function, const wchar_t* entryFormat, const Args&... args)
        : m_log(GetLog()), m_function(function) {
        m_log.Log(TraceIn, function, entryFormat, args...);
        if (m_log.TimingEnabled()) m_timer.emplace().Start(m_log, function);
    }
    ~CArvekLogTrace() {
        m_log.Log(TraceOut, m_function, L"");
        if (m_timer) m_timer->Stop();
    }
    CArvekLogTrace(const CArvekLogTrace&) = delete;
    CArvekLogTrace& operator=(const CArvekLogTrace&) = delete;

private:
    CArvekLog& m_log;
    const char* m_function;
    std::optional<CArvekLogTimer> m_timer;
};

}  // namespace Arvek::Shared
