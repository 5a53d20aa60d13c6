#include "shared/log.h"

#include <algorithm>
#include <mutex>

#include "common/hresult.h"
#include "common/policy_names.h"
#include "common/strings.h"
#include "shared/listeners.h"

namespace Arvek::Shared {
namespace {

constexpr std::wstring_view kLevelNames[] = {L"TraceIn", L"TraceOut", L"Verbose", L"Information",
                                             L"Warning", L"Error",    L"Diag"};

constexpr std::wstring_view kPolicyRoot = PolicyNames::kLoggingPolicyRoot;

// Reads a value of at most `maxBytes` bytes from one key; nullopt when it is
// missing, larger, or the read fails otherwise.
std::optional<std::basic_string<std::uint8_t>> ReadRaw(Ports::IRegistryKey* key, const std::wstring& name,
                                                       std::uint32_t maxBytes, std::uint32_t& type) {
    if (!key) return std::nullopt;
    std::basic_string<std::uint8_t> data(maxBytes, 0);
    std::uint32_t size = maxBytes;
    type = Ports::kREG_NONE;
    if (key->QueryValue(name, &type, data.data(), &size) != kERROR_SUCCESS) return std::nullopt;
    data.resize(size);
    return data;
}

}  // namespace

std::wstring_view LevelName(std::int32_t level) {
    return level >= 0 && level <= 6 ? kLevelNames[level] : std::wstring_view(L"Undefined");
}

LogLevel ParseLogLevel(std::wstring_view name) {
    for (std::int32_t level = 0; level <= 6; ++level)
        if (EqualsIgnoreCase(name, kLevelNames[level])) return static_cast<LogLevel>(level);
    return Never;
}

LogLevel ParseLogLevel(const wchar_t* name) {
    return name ? ParseLogLevel(std::wstring_view(name)) : Never;
}

namespace {

constexpr char kTwoDigits[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

wchar_t* PutTwoDigits(wchar_t* out, unsigned value) {
    out[0] = static_cast<wchar_t>(kTwoDigits[2 * value]);
    out[1] = static_cast<wchar_t>(kTwoDigits[2 * value + 1]);
    return out + 2;
}

// At least `digits` (2 to 4) decimal digits of `value`, as "%0<digits>d"
// writes an unsigned 16-bit value. The fields of a valid time take the
// short ways.
wchar_t* PutDecimal(wchar_t* out, unsigned value, int digits) {
    if (digits == 2 && value < 100) return PutTwoDigits(out, value);
    if (digits == 3 && value < 1000) {
        *out++ = static_cast<wchar_t>(L'0' + value / 100);
        return PutTwoDigits(out, value % 100);
    }
    if (digits == 4 && value < 10000) return PutTwoDigits(PutTwoDigits(out, value / 100), value % 100);
    wchar_t reversed[8];
    int count = 0;
    do {
        reversed[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count < digits) reversed[count++] = L'0';
    while (count != 0) *out++ = reversed[--count];
    return out;
}

bool IsAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

std::size_t FormatLinePrefix(wchar_t* out, const Ports::SystemTime& time, std::uint32_t threadId, std::int32_t level) {
    wchar_t* p = out;
    p = PutDecimal(p, time.wYear, 4);
    *p++ = L'/';
    p = PutDecimal(p, time.wMonth, 2);
    *p++ = L'/';
    p = PutDecimal(p, time.wDay, 2);
    *p++ = L' ';
    p = PutDecimal(p, time.wHour, 2);
    *p++ = L':';
    p = PutDecimal(p, time.wMinute, 2);
    *p++ = L':';
    p = PutDecimal(p, time.wSecond, 2);
    *p++ = L'.';
    p = PutDecimal(p, time.wMilliseconds, 3);
    *p++ = L'|';
    for (int shift = 28; shift >= 0; shift -= 4) *p++ = L"0123456789ABCDEF"[(threadId >> shift) & 0xF];
    *p++ = L'|';
    // Every level name fits the 11-character column ("Information" fills it).
    const std::wstring_view name = LevelName(level);
    p = std::copy(name.begin(), name.end(), p);
    for (std::size_t i = name.size(); i < 11; ++i) *p++ = L' ';
    *p++ = L'|';
    return static_cast<std::size_t>(p - out);
}

CArvekLogListener::LogData::LogData(std::int32_t level, std::string_view functionName, std::wstring_view message,
                                    const Ports::SystemTime& time, std::uint32_t threadId)
    : m_level(level), m_time(time), m_threadId(threadId) {
    BuildLine(functionName, message);
}

void CArvekLogListener::LogData::BuildLine(std::string_view functionName, std::wstring_view message) {
    wchar_t prefix[kLinePrefixMax];
    const std::size_t prefixSize = FormatLinePrefix(prefix, m_time, m_threadId, m_level);
    // Function names are ASCII as a rule; anything else is read as UTF-8.
    std::wstring widened;
    if (!IsAscii(functionName)) widened = WidenUtf8(functionName);
    const std::size_t functionSize = widened.empty() ? functionName.size() : widened.size();

    // One allocation of the final size, filled in place.
    std::wstring line(prefixSize + functionSize + 1 + message.size(), L'\0');
    wchar_t* p = std::copy(prefix, prefix + prefixSize, line.data());
    if (widened.empty())
        p = std::copy(functionName.begin(), functionName.end(), p);
    else
        p = std::copy(widened.begin(), widened.end(), p);
    *p++ = L'|';
    std::copy(message.begin(), message.end(), p);

    m_line = std::move(line);
    m_functionAt = prefixSize;
    m_functionSize = functionSize;
    m_messageAt = prefixSize + functionSize + 1;
}

CArvekLogListener::LogData::LogData(const LogData& other)
    : m_line(other.Line()), m_functionAt(other.m_functionAt), m_functionSize(other.m_functionSize),
      m_messageAt(other.m_messageAt), m_level(other.m_level), m_time(other.m_time), m_threadId(other.m_threadId) {}

CArvekLogListener::LogData& CArvekLogListener::LogData::operator=(const LogData& other) {
    if (this != &other) *this = LogData(other);
    return *this;
}

CArvekLogListener::LogData::LogData(LogData&& other)
    : m_line(other.m_lent.empty() ? std::move(other.m_line) : std::wstring(other.m_lent)),
      m_functionAt(other.m_functionAt), m_functionSize(other.m_functionSize), m_messageAt(other.m_messageAt),
      m_level(other.m_level), m_time(other.m_time), m_threadId(other.m_threadId) {
    other.m_line.clear();
    other.m_lent = {};
    other.m_functionAt = other.m_functionSize = other.m_messageAt = 0;
}

CArvekLogListener::LogData& CArvekLogListener::LogData::operator=(LogData&& other) {
    if (this != &other) {
        m_line = other.m_lent.empty() ? std::move(other.m_line) : std::wstring(other.m_lent);
        m_lent = {};
        m_functionAt = other.m_functionAt;
        m_functionSize = other.m_functionSize;
        m_messageAt = other.m_messageAt;
        m_level = other.m_level;
        m_time = other.m_time;
        m_threadId = other.m_threadId;
        other.m_line.clear();
        other.m_lent = {};
        other.m_functionAt = other.m_functionSize = other.m_messageAt = 0;
    }
    return *this;
}

const std::wstring& CArvekLogListener::LogData::GetLine() {
    if (!m_lent.empty()) {
        m_line.assign(m_lent);  // built already: only copied into a string of its own
        m_lent = {};
    } else if (m_line.empty()) {
        BuildLine({}, {});  // a default record
    }
    return m_line;
}

std::optional<std::wstring> LogConfigKeys::ReadString(const std::wstring& name, std::size_t maxChars,
                                                      bool stringTypesOnly) const {
    const auto maxBytes = static_cast<std::uint32_t>((maxChars + 1) * 2);
    for (Ports::IRegistryKey* key : {program.get(), product.get()}) {
        std::uint32_t type = 0;
        auto raw = ReadRaw(key, name, maxBytes, type);
        if (!raw) continue;
        if (stringTypesOnly && type != Ports::kREG_SZ) return std::nullopt;
        std::wstring text = FromUtf16Le(raw->data(), raw->size());
        if (text.size() > maxChars) return std::nullopt;
        return text;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> LogConfigKeys::ReadDword(Ports::IRegistryKey* key, const std::wstring& name) {
    std::uint32_t type = 0;
    auto raw = ReadRaw(key, name, 4, type);
    if (!raw || raw->size() != 4) return std::nullopt;
    return static_cast<std::uint32_t>((*raw)[0] | ((*raw)[1] << 8) | ((*raw)[2] << 16) |
                                      (static_cast<std::uint32_t>((*raw)[3]) << 24));
}

std::wstring ProgramBaseName(std::wstring_view modulePath) {
    const auto slash = modulePath.find_last_of(L'\\');
    std::wstring_view name = slash == std::wstring_view::npos ? modulePath : modulePath.substr(slash + 1);
    const auto dot = name.find_last_of(L'.');
    if (dot != std::wstring_view::npos) name = name.substr(0, dot);
    return std::wstring(name);
}

LogConfigKeys OpenLogConfigKeys(Ports::IRegistry& registry, Ports::IProcess& process) {
    LogConfigKeys keys;
    const std::wstring module = process.ModuleFileName();
    if (module.empty()) return keys;
    std::wstring product;
    for (const wchar_t* block : {L"\\StringFileInfo\\040904E4\\ProductName", L"\\StringFileInfo\\040904B0\\ProductName"}) {
        auto value = process.VersionString(module, block);
        if (value && !value->empty()) {
            product = *value;
            break;
        }
    }
    keys.programName = ProgramBaseName(module);
    if (product.empty()) return keys;
    if (registry.OpenKey(Ports::RegistryRoot::LocalMachine, std::wstring(kPolicyRoot) + product, Ports::kKEY_READ,
                         keys.product) != kERROR_SUCCESS) {
        keys.product.reset();
        return keys;
    }
    if (keys.programName.empty() ||
        keys.product->OpenSubKey(keys.programName, Ports::kKEY_READ, keys.program) != kERROR_SUCCESS)
        keys.program.reset();
    return keys;
}

CArvekLog::CArvekLog(Ports::Platform& platform, LogLevel defaultLevel, std::uint32_t defaultListeners)
    : m_platform(&platform) {
    const auto saved = platform.process.LastError();
    LogConfigKeys keys = OpenLogConfigKeys(platform.registry, platform.process);

    std::uint32_t requested = 0;
    if (auto type = keys.ReadString(PolicyNames::kLoggingType, 63, false)) {
        const std::wstring upper = ToUpperInvariant(*type);
        if (upper.find(L"EVENT") != std::wstring::npos) requested |= Event;
        if (upper.find(L"FILE") != std::wstring::npos) requested |= File;
        if (upper.find(L"CONSOLE") != std::wstring::npos) requested |= Console;
        if (upper.find(L"DEBUG") != std::wstring::npos) requested |= Debug;
    }
    if (requested == 0) {
        requested = defaultListeners;
        if ((requested & QueuedFile) && (requested & File)) requested &= ~static_cast<std::uint32_t>(File);
    }

    for (ListenerType type : {Event, File, QueuedFile, Debug, Console}) {
        if (!(requested & type) || m_listenerCount == kMaxListeners) continue;
        auto listener = CreateListener(type, defaultLevel, keys);
        if (!listener) continue;
        // Every listener reads the same window.
        LogLevel minLevel = defaultLevel, maxLevel = Error;
        if (keys.product) {
            if (auto text = keys.ReadString(PolicyNames::kMinLogLevel, 127, true); text && !text->empty())
                minLevel = ParseLogLevel(*text);
            if (auto text = keys.ReadString(PolicyNames::kMaxLogLevel, 127, true); text && !text->empty())
                maxLevel = ParseLogLevel(*text);
        }
        listener->SetLevelWindow(minLevel, maxLevel);
        m_listeners[m_listenerCount++] = std::move(listener);
    }

    for (std::size_t i = 0; i < m_listenerCount; ++i) {
        CArvekLogListener& listener = *m_listeners[i];
        if (listener.MinLevel() < m_minLevel) m_minLevel = listener.MinLevel();
        if (listener.MaxLevel() > m_maxLevel) m_maxLevel = listener.MaxLevel();
        if (listener.GetType() == File || listener.GetType() == QueuedFile) {
            m_fileListener = &listener;
            m_timing = listener.Accepts(Diag);
        }
    }
    platform.process.SetLastError(saved);
}

CArvekLog::CArvekLog() = default;
CArvekLog::~CArvekLog() = default;

std::unique_ptr<CArvekLogListener> CArvekLog::CreateListener(ListenerType type, LogLevel defaultLevel,
                                                             const LogConfigKeys& keys) {
    switch (type) {
        case Event:
            return std::make_unique<CArvekLogListenerEvent>(defaultLevel, m_platform->eventLog, keys.programName);
        case Debug:
            return std::make_unique<CArvekLogListenerDebug>(defaultLevel, m_platform->debugOutput);
        case Console:
            return std::make_unique<CArvekLogListenerConsole>(defaultLevel, m_platform->console);
        case File:
        case QueuedFile:
            return CreateFileListener(defaultLevel, type == QueuedFile, keys, *m_platform);
    }
    return nullptr;
}

namespace {

// The log call's buffer: the line's prefix, a function name of up to
// kLentFunctionMax characters, '|' and a message of up to 511 characters.
constexpr std::size_t kLentFunctionMax = 256;
constexpr std::size_t kLineBufferSize = kLinePrefixMax + kLentFunctionMax + 1 + CArvekLog::kMessageBufferSize;

}  // namespace

template <class WriteMessage>
void CArvekLog::Dispatch(std::int32_t level, const char* function, WriteMessage writeMessage) noexcept {
    Ports::IProcess& process = m_platform->process;
    const std::uint32_t saved = process.LastError();
    try {
        const std::string_view name = function ? std::string_view(function) : std::string_view();
        const Ports::SystemTime time = m_platform->clock.LocalTime();
        const std::uint32_t threadId = process.CurrentThreadId();
        // The line is built in place, on the stack: prefix, function name,
        // '|', and the message after them. A function name that is long or
        // not ASCII takes the slow way, a record with a string of its own.
        wchar_t line[kLineBufferSize];
        std::size_t prefix = 0, head = 0;
        if (name.size() <= kLentFunctionMax && IsAscii(name)) {
            prefix = FormatLinePrefix(line, time, threadId, level);
            wchar_t* end = std::copy(name.begin(), name.end(), line + prefix);
            *end++ = L'|';
            head = static_cast<std::size_t>(end - line);
        }
        const std::wstring_view message = writeMessage(line + head, kLineBufferSize - head);
        if (head != 0 && message.data() == line + head) {
            CArvekLogListener::LogData data(CArvekLogListener::LogData::Lent{}, level, {line, head + message.size()},
                                            prefix, name.size(), time, threadId);
            Send(data);
        } else {
            CArvekLogListener::LogData data(level, name, message, time, threadId);
            Send(data);
        }
    } catch (...) {
        // Out of memory, or a listener that cannot write: the record is
        // lost, and the caller never hears of it.
    }
    process.SetLastError(saved);
}

void CArvekLog::Send(CArvekLogListener::LogData& data) {
    for (std::size_t i = 0; i < m_listenerCount; ++i) {
        if (m_listeners[i]->Accepts(data.Level())) m_listeners[i]->Log(data);
    }
}

void CArvekLog::LogFormatted(std::int32_t level, const char* function, const wchar_t* format,
                             std::span<const FormatArg> args) {
    // At most 511 characters, cut there; the room is always that large.
    Dispatch(level, function, [&](wchar_t* out, std::size_t room) {
        const std::size_t size = format && *format
                                     ? FormatToBuffer(out, std::min(room, kMessageBufferSize - 1), format, args)
                                     : 0;
        return std::wstring_view(out, size);
    });
}

void CArvekLog::LogText(std::int32_t level, const char* function, std::wstring_view text) {
    if (!IsEnabled(level)) return;
    // Not cut: a text longer than the buffer's room goes as it is.
    Dispatch(level, function, [text](wchar_t* out, std::size_t room) {
        if (text.size() > room) return text;
        std::copy(text.begin(), text.end(), out);
        return std::wstring_view(out, text.size());
    });
}

namespace {
Ports::Platform* g_processPlatform = nullptr;
}

void SetProcessPlatform(Ports::Platform& platform) { g_processPlatform = &platform; }

CArvekLog& GetLog() {
    // Thread-safe one-time initialisation; never destroyed, so that threads
    // still logging while the process ends find it intact.
    static CArvekLog* const log =
        g_processPlatform ? new CArvekLog(*g_processPlatform, Error, Event) : new CArvekLog();
    return *log;
}

void CArvekLogTimer::Start(CArvekLog& log, const char* function) {
    m_log = &log;
    m_function = function ? function : "";
    m_start = log.Clock().UnbiasedInterruptTime();
}

void CArvekLogTimer::Stop() {
    if (!m_log) return;
    const std::uint64_t ticks = m_log->Clock().UnbiasedInterruptTime() - m_start;
    m_elapsedMs = static_cast<double>(ticks) / 10000.0;
    if (m_elapsedMs < 1000000.0)
        m_log->Log(Diag, m_function, L"Elapsed time = %7.1Lf ms.", static_cast<long double>(m_elapsedMs));
    else
        m_log->Log(Diag, m_function, L"Elapsed time = %7.1Lf s.", static_cast<long double>(m_elapsedMs / 1000.0));
    m_log = nullptr;
}

CArvekLogScope::CArvekLogScope(CArvekLog& log, const char* function) {
    log.Log(TraceIn, function, L"");
    if (log.TimingEnabled()) m_timer.emplace().Start(log, function);
}

CArvekLogScope::~CArvekLogScope() {
    if (m_timer) m_timer->Stop();
}

}  // namespace Arvek::Shared
