// The small ports of the simulated notebook: clock, process, event log,
// debugger output, console and the string table.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "ports/clock.h"
#include "ports/diagnostics.h"
#include "ports/event_log.h"
#include "ports/process.h"
#include "ports/resources.h"
#include "sim/transcript.h"
#include "string_table.h"

namespace Arvek::Sim {

// A virtual clock: the scenario sets the start and moves it forward; Sleep
// moves it too, so a simulated second costs no real time.
class SimClock : public Ports::IClock {
public:
    explicit SimClock(const Ports::SystemTime& start);
    Ports::SystemTime LocalTime() override;
    std::uint64_t UnbiasedInterruptTime() override;
    void Sleep(std::uint32_t milliseconds) override { Advance(milliseconds); }

    void Advance(std::uint64_t milliseconds) { m_elapsedMs += milliseconds; }
    void AdvanceTo(std::uint64_t elapsedMs);
    std::uint64_t ElapsedMs() const { return m_elapsedMs; }

private:
    std::int64_t m_startDays;     // days since 1970-01-01
    std::uint64_t m_startMsOfDay;
    std::atomic<std::uint64_t> m_elapsedMs{0};
};

// Parses "YYYY-MM-DD hh:mm:ss[.mmm]"; false when malformed or out of range.
bool ParseSystemTime(const std::string& text, Ports::SystemTime& time);

class SimProcess : public Ports::IProcess {
public:
    SimProcess(std::wstring modulePath, std::wstring productName,
               std::map<std::wstring, std::wstring> environment = {}, std::wstring osVersion = L"10.0.22631");
    std::wstring ModuleFileName() override { return m_modulePath; }
    std::optional<std::wstring> VersionString(const std::wstring& path, const std::wstring& subBlock) override;
    // The first thread that asks is the simulated main thread (0x1A2C); others
    // get the following ids in the order they first ask, so transcripts are stable.
    std::uint32_t CurrentThreadId() override;
    std::uint32_t LastError() override;
    void SetLastError(std::uint32_t error) override;
    // Names compare without regard to case, as Windows compares them.
    std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) override;
    // Compares with the scenario's system version ("10.0.22631"); the
    // service pack is 0.
    bool VersionIsAtLeast(std::uint32_t major, std::uint32_t minor, std::uint16_t servicePackMajor) override;

private:
    std::wstring m_osVersion;
    std::wstring m_modulePath;
    std::wstring m_productName;
    std::map<std::wstring, std::wstring> m_environment;
    std::mutex m_lock;
    std::map<std::thread::id, std::uint32_t> m_threadIds;
};

class SimEventLog : public Ports::IEventLog {
public:
    struct Entry {
        std::wstring source;
        std::uint16_t type;
        std::uint16_t category;
        std::uint32_t eventId;
        std::vector<std::wstring> strings;
    };
    SimEventLog(Transcript& transcript, SimClock& clock) : m_transcript(transcript), m_clock(clock) {}
    std::unique_ptr<Ports::IEventSource> RegisterSource(const std::wstring& sourceName) override;

    std::vector<Entry> Entries() const;
    void Record(Entry entry);

private:
    Transcript& m_transcript;
    SimClock& m_clock;
    mutable std::mutex m_lock;
    std::vector<Entry> m_entries;
};

// Debugger output and console lines go to the transcript ("debug", "console").
class SimTextChannel : public Ports::IDebugOutput, public Ports::IConsole {
public:
    SimTextChannel(Transcript& transcript, SimClock& clock, std::string channel)
        : m_transcript(transcript), m_clock(clock), m_channel(std::move(channel)) {}
    void Output(std::wstring_view text) override { Write(text); }
    void Write(std::wstring_view text) override;

private:
    Transcript& m_transcript;
    SimClock& m_clock;
    std::string m_channel;
};

// A program's string table as LoadStringW reads it for the simulated user:
// the block of the user's interface language, per bundle of 16 ids, with the
// loader's fallbacks (sim_ports.cpp tells the order).
class SimResources : public Ports::IResources {
public:
    // The program's own generated table.
    explicit SimResources(std::uint16_t userLanguage, Strings::Program program = Strings::Program::Tidewatch)
        : SimResources(userLanguage, Strings::ProgramBlocks(program)) {
        m_carriesAgentData = program == Strings::Program::Tidewatch;
    }
    // Any table laid out like the generated one, in ascending language id.
    SimResources(std::uint16_t userLanguage, std::span<const Strings::Block> blocks)
        : m_userLanguage(userLanguage), m_blocks(blocks) {}

    std::wstring LoadText(std::uint32_t id, std::size_t capacity) override;
    // Tidewatch carries the agent's icon (type 300, id 133); Portolan no data.
    std::optional<std::vector<std::uint8_t>> LoadData(std::uint32_t type, std::uint32_t id) override;

private:
    const Strings::Block* FindBundle(std::uint32_t id) const;
    bool m_carriesAgentData = false;

    std::uint16_t m_userLanguage;
    std::span<const Strings::Block> m_blocks;
};

}  // namespace Arvek::Sim
