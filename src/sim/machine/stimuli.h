// The stimuli of a scenario's timeline: what happens to the simulated
// notebook, and when. Each kind of stimulus is one registered thing: its
// verb in the scenario language, its reader (whose errors name the file and
// the line) and what it does to the machine. docs/scenarios.md is the
// reference of the language.
//
//   500ms  post WM_COMMAND 1 0          a message for the program's window
//   2s     second-instance              the program started a second time
//   3s     acpi-event 0xA0              an ACPI event at the platform driver
//   4s     tolm SmartAdapter.Status = i4 3   the platform component's new answer
//   5s     fail tolm.create-command 0x80070005 once
//   6s     heal tolm.create-command
//   7s     restart                      sign-out, and the program starts again
//   60s    close-window                 WM_CLOSE to the program's window
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Arvek::Sim {

class SimMachine;

// One stimulus: a typed value made by its kind's reader.
class Stimulus {
public:
    virtual ~Stimulus() = default;
    // What the transcript's "timeline" channel says when it happens.
    virtual std::wstring Describe() const = 0;
    // Does it to the machine, on the program's main thread, from inside
    // whichever message loop turned the pump.
    virtual void Apply(SimMachine& machine) const = 0;
};

// One line of the timeline as a stimulus's reader sees it.
class StimulusLine {
public:
    StimulusLine(std::string fileName, int line, std::filesystem::path baseFolder, std::vector<std::string> words,
                 std::string rest, std::string block)
        : m_fileName(std::move(fileName)), m_line(line), m_baseFolder(std::move(baseFolder)),
          m_words(std::move(words)), m_rest(std::move(rest)), m_block(std::move(block)) {}

    // The words after the verb, and the same text whole (trimmed).
    const std::vector<std::string>& Words() const { return m_words; }
    const std::string& Rest() const { return m_rest; }
    // The lines of a text block the line opens ("... text <<END" up to
    // "END"), with the line itself first; empty when it opens none.
    const std::string& Block() const { return m_block; }
    const std::string& FileName() const { return m_fileName; }
    int Line() const { return m_line; }
    const std::filesystem::path& BaseFolder() const { return m_baseFolder; }
    // Throws ScenarioError "file:line: what".
    [[noreturn]] void Fail(const std::string& what) const;

private:
    std::string m_fileName;
    int m_line;
    std::filesystem::path m_baseFolder;
    std::vector<std::string> m_words;
    std::string m_rest;
    std::string m_block;
};

struct StimulusKind {
    std::string_view verb;
    std::string_view usage;  // "post MESSAGE [WPARAM [LPARAM]]"
    std::shared_ptr<const Stimulus> (*read)(const StimulusLine& line);
};

// Every kind, in the order of the docs.
std::span<const StimulusKind> StimulusKinds();
// The kind of a verb; null for a verb the language does not have.
const StimulusKind* FindStimulus(std::string_view verb);

}  // namespace Arvek::Sim
