#include "shared/log.h"

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

const std::wstring& CArvekLogListener::LogData::GetLine() {
    if (m_line.empty()) {
        if (m_levelName.empty()) m_levelName = LevelName(m_level);
        m_line.reserve(40 + m_functionName.size() + m_message.size());
        FormatTo(m_line, L"%04d/%02d/%02d %02d:%02d:%02d.%03d|%08X|%-11s|",
                 std::array<FormatArg, 9>{m_time.wYear, m_time.wMonth, m_time.wDay, m_time.wHour, m_time.wMinute,
                                          m_time.wSecond, m_time.wMilliseconds, m_threadId,
                                          std::wstring_view(m_levelName)});
        FormatTo(m_line, L"%S|%s", std::array<FormatArg, 2>{std::string_view(m_functionName),
                                                           std::wstring_view(m_message)});
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

void CArvekLog::LogFormatted(std::int32_t level, const char* function, const wchar_t* format,
                             std::span<const FormatArg> args) {
    std::wstring message;
    if (format && *format) {
        try {
            message.reserve(64);
            FormatTo(message, format, args, kMessageBufferSize - 1);
        } catch (...) {
            // Out of memory while formatting: log what was produced.
        }
    }
    Dispatch(level, function, std::move(message));
}

void CArvekLog::LogText(std::int32_t level, const char* function, std::wstring_view text) {
    if (!IsEnabled(level)) return;
    std::wstring message;
    try {
        message.assign(text);
    } catch (...) {
    }
    Dispatch(level, function, std::move(message));
}

void CArvekLog::Dispatch(std::int32_t level, const char* function, std::wstring message) {
    Ports::IProcess& process = m_platform->process;
    const std::uint32_t saved = process.LastError();
    try {
        CArvekLogListener::LogData data(level, function ? function : "", std::move(message),
                                        m_platform->clock.LocalTime(), process.CurrentThreadId());
        for (std::size_t i = 0; i < m_listenerCount; ++i) {
            if (m_listeners[i]->Accepts(level)) m_listeners[i]->Log(data);
        }
    } catch (...) {
        // A listener that cannot write loses the record; the caller never hears of it.
    }
    process.SetLastError(saved);
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
