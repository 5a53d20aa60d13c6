#include "sim/machine/scenario.h"

#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

#include "common/strings.h"
#include "sim/os/sim_clock.h"
#include "standin/tolm_answers.h"

namespace Arvek::Sim {
namespace {

std::string Trim(std::string_view s) { return std::string(TrimSpaces(s)); }

[[noreturn]] void Fail(const std::string& file, int line, const std::string& what) {
    throw ScenarioError(file + ":" + std::to_string(line) + ": " + what);
}

// "1500ms", "2s", "1.25s" → milliseconds.
bool ParseTime(const std::string& text, std::uint64_t& ms) {
    std::string number;
    double scale;
    if (text.size() > 2 && text.ends_with("ms")) {
        number = text.substr(0, text.size() - 2);
        scale = 1;
    } else if (text.size() > 1 && text.ends_with("s")) {
        number = text.substr(0, text.size() - 1);
        scale = 1000;
    } else {
        return false;
    }
    double value = 0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc{} || end != number.data() + number.size() || value < 0 || value > 1e12) return false;
    ms = static_cast<std::uint64_t>(value * scale + 0.5);
    return true;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace

namespace {

// A quoted word's text, with the escapes of the [tolm] section; a bare word
// as it is.
std::wstring WordText(const std::string& word, const std::string& fileName, int line) {
    if (word.empty() || word[0] != '"') return WidenUtf8(word);
    try {
        return Standin::ParseAnswerValue("string " + word, fileName, line).StringOrEmpty();
    } catch (const Standin::TolmAnswersError& e) {
        throw ScenarioError(e.what());
    }
}

// LOG SOURCE TYPE ID [STRING ...]: a record the event log held before.
EarlierEvent ParseEarlierEvent(const std::string& line, const std::string& fileName, int lineNumber) {
    std::vector<std::string> words;
    std::uint64_t id = 0;
    if (!ScenarioWords(line, words) || words.size() < 4 || !ParseScenarioNumber(words[3], id) || id > 0xFFFFFFFFu)
        Fail(fileName, lineNumber, "expected: LOG SOURCE error|warning|information ID [\"STRING\" ...]: " + line);
    EarlierEvent event;
    event.log = WordText(words[0], fileName, lineNumber);
    event.source = WordText(words[1], fileName, lineNumber);
    if (words[2] == "error") event.type = 1;
    else if (words[2] == "warning") event.type = 2;
    else if (words[2] == "information") event.type = 4;
    else Fail(fileName, lineNumber, "the type is error, warning or information: " + words[2]);
    event.eventId = static_cast<std::uint32_t>(id);
    for (std::size_t i = 4; i < words.size(); ++i) event.strings.push_back(WordText(words[i], fileName, lineNumber));
    return event;
}

}  // namespace

bool ParseScenarioNumber(const std::string& text, std::uint64_t& value) {
    int base = 10;
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    return ec == std::errc{} && end == digits.data() + digits.size() && !digits.empty();
}

bool ScenarioWords(const std::string& text, std::vector<std::string>& words) {
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == ' ' || text[at] == '\t') {
            ++at;
            continue;
        }
        const std::size_t start = at;
        if (text[at] == '"') {
            for (++at; at < text.size() && text[at] != '"'; ++at)
                if (text[at] == '\\') ++at;
            if (at >= text.size()) return false;
            ++at;
        } else {
            while (at < text.size() && text[at] != ' ' && text[at] != '\t') ++at;
        }
        words.push_back(text.substr(start, at - start));
    }
    return true;
}

Scenario ParseScenario(const std::string& text, const std::string& fileName, const std::filesystem::path& baseFolder) {
    Scenario scenario;
    scenario.fileName = fileName;
    enum class Section { None, Machine, Registry, Tolm, EventLog, Devices, Timeline } section = Section::None;
    RegistrySource* inlineRegistry = nullptr;
    // The [tolm] section goes whole to the stand-in's parser; a block of
    // text in it ("text <<END" ... "END") may hold any line.
    std::string tolmText;
    int tolmFirstLine = 0;
    std::string tolmBlockEnd;
    const auto finishTolm = [&] {
        if (section != Section::Tolm) return;
        try {
            scenario.tolm = Standin::ParseTolmAnswers(tolmText, fileName, tolmFirstLine, baseFolder);
        } catch (const Standin::TolmAnswersError& e) {
            throw ScenarioError(e.what());
        }
    };

    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    while (std::getline(in, raw)) {
        ++lineNumber;
        const std::string line = Trim(raw);
        if (!tolmBlockEnd.empty()) {
            tolmText += raw + "\n";
            if (line == tolmBlockEnd) tolmBlockEnd.clear();
            continue;
        }
        if (line == "[machine]" || line == "[registry]" || line == "[tolm]" || line == "[event-log]" ||
            line == "[devices]" || line == "[timeline]") {
            finishTolm();
            section = line == "[machine]"     ? Section::Machine
                      : line == "[registry]"  ? Section::Registry
                      : line == "[tolm]"      ? Section::Tolm
                      : line == "[event-log]" ? Section::EventLog
                      : line == "[devices]"   ? Section::Devices
                                              : Section::Timeline;
            scenario.devices.current.clear();
            if (section == Section::Registry) {
                scenario.registry.push_back({"", fileName, lineNumber + 1});
                inlineRegistry = &scenario.registry.back();
            } else {
                inlineRegistry = nullptr;
            }
            if (section == Section::Tolm) {
                if (scenario.tolm) Fail(fileName, lineNumber, "a second [tolm] section");
                tolmText.clear();
                tolmFirstLine = lineNumber + 1;
            }
            continue;
        }
        if (section == Section::Registry) {
            // The .reg text goes to its own parser untouched, comments included.
            inlineRegistry->text += raw + "\n";
            continue;
        }
        if (section == Section::Tolm) {
            tolmText += raw + "\n";
            tolmBlockEnd = Standin::TextBlockMarker(raw);
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        if (section == Section::None) Fail(fileName, lineNumber, "text before the first section: " + line);

        if (section == Section::EventLog) {
            scenario.eventLog.push_back(ParseEarlierEvent(line, fileName, lineNumber));
            continue;
        }

        if (section == Section::Devices) {
            // Paths hold "#", so only " #" begins a comment.
            const std::string statement = Trim(line.substr(0, line.find(" #")));
            ReadDeviceTreeLine(scenario.devices, statement, fileName, lineNumber);
            continue;
        }

        if (section == Section::Machine) {
            const auto eq = line.find('=');
            if (eq == std::string::npos) Fail(fileName, lineNumber, "expected name = value: " + line);
            const std::string name = Trim(line.substr(0, eq));
            std::string value = Trim(line.substr(eq + 1));
            if (const auto hash = value.find(" #"); hash != std::string::npos) value = Trim(value.substr(0, hash));
            if (name == "model") {
                scenario.model = value;
            } else if (name == "start") {
                if (!ParseSystemTime(value, scenario.start))
                    Fail(fileName, lineNumber, "start must be YYYY-MM-DD hh:mm:ss[.mmm]: " + value);
            } else if (name == "language") {
                std::uint64_t id = 0;
                if (!ParseScenarioNumber(value, id) || id == 0 || id > 0xFFFF)
                    Fail(fileName, lineNumber, "language must be a Windows language id: " + value);
                scenario.language = static_cast<std::uint16_t>(id);
            } else if (name == "program") {
                if (value.empty() || value.find('\\') == std::string::npos)
                    Fail(fileName, lineNumber, "program must be a Windows path: " + value);
                scenario.programPath = WidenUtf8(value);
            } else if (name == "product") {
                scenario.productName = WidenUtf8(value);
            } else if (name == "held-mutex") {
                if (value.empty()) Fail(fileName, lineNumber, "held-mutex needs a name");
                scenario.heldMutexes.push_back(WidenUtf8(value));
            } else if (name == "window-creation") {
                if (value != "fails" && value != "works")
                    Fail(fileName, lineNumber, "window-creation is \"fails\" or \"works\": " + value);
                scenario.failWindowCreation = value == "fails";
            } else if (name == "bios-version") {
                scenario.biosVersion = WidenUtf8(value);
            } else if (name == "os-version") {
                scenario.osVersion = WidenUtf8(value);
            } else if (name == "wmi") {
                if (value != "stopped" && value != "running")
                    Fail(fileName, lineNumber, "wmi is \"stopped\" or \"running\": " + value);
                scenario.wmiStopped = value == "stopped";
            } else if (name.starts_with("env.")) {
                // env.NAME = value sets a variable; env.NAME = (unset) removes it.
                const std::wstring variable = WidenUtf8(name.substr(4));
                if (variable.empty() || variable.find_first_of(L"= ") != std::wstring::npos)
                    Fail(fileName, lineNumber, "env.NAME needs a variable name: " + name);
                if (value == "(unset)") {
                    scenario.environment.erase(variable);
                } else {
                    scenario.environment[variable] = WidenUtf8(value);
                }
            } else if (name == "program-files-x86") {
                if (value.empty() || value.find('\\') == std::string::npos)
                    Fail(fileName, lineNumber, "program-files-x86 must be a Windows path: " + value);
                scenario.programFilesX86 = WidenUtf8(value);
            } else if (name == "toasts") {
                if (value != "available" && value != "absent")
                    Fail(fileName, lineNumber, "toasts is \"available\" or \"absent\": " + value);
                scenario.toastService = value == "available";
            } else if (name == "acpi-driver") {
                if (value != "absent" && value != "present" && value != "answers-at-once")
                    Fail(fileName, lineNumber,
                         "acpi-driver is \"absent\", \"present\" or \"answers-at-once\": " + value);
                scenario.acpiDriver = value == "present"           ? AcpiDriver::Present
                                      : value == "answers-at-once" ? AcpiDriver::AnswersAtOnce
                                                                   : AcpiDriver::Absent;
            } else if (name == "firmware-wmi") {
                if (value != "absent" && value != "present")
                    Fail(fileName, lineNumber, "firmware-wmi is \"present\" or \"absent\": " + value);
                scenario.firmwareWmi = value == "present";
            } else if (name == "registry-file") {
                const std::filesystem::path path = baseFolder / value;
                scenario.registry.push_back({ReadScenarioFile(path, fileName, lineNumber), path.string(), 1});
            } else {
                Fail(fileName, lineNumber, "unknown machine setting \"" + name + "\"");
            }
            continue;
        }

        // Timeline: a time and a stimulus, whose kind reads the rest.
        const auto words = Words(line);
        TimelineEntry entry;
        entry.line = lineNumber;
        if (words.size() < 2 || !ParseTime(words[0], entry.atMs))
            Fail(fileName, lineNumber, "expected a time (500ms, 2s) and a stimulus: " + line);
        if (!scenario.timeline.empty() && entry.atMs < scenario.timeline.back().atMs)
            Fail(fileName, lineNumber, "times must not go backwards: " + words[0]);
        entry.verb = words[1];
        const StimulusKind* kind = FindStimulus(entry.verb);
        if (!kind) Fail(fileName, lineNumber, "unknown stimulus \"" + entry.verb + "\"");
        const std::size_t verbEnd = line.find(entry.verb, words[0].size()) + entry.verb.size();
        // A stimulus whose answer is a block of text takes the lines up to
        // its marker.
        std::string block;
        if (const std::string marker = Standin::TextBlockMarker(raw); !marker.empty()) {
            block = Trim(line.substr(verbEnd));
            const int opened = lineNumber;
            bool closed = false;
            while (std::getline(in, raw)) {
                ++lineNumber;
                block += "\n" + raw;
                if (Trim(raw) == marker) {
                    closed = true;
                    break;
                }
            }
            if (!closed) Fail(fileName, opened, "the text is not closed by a line \"" + marker + "\"");
        }
        const StimulusLine stimulusLine(fileName, entry.line, baseFolder,
                                        std::vector<std::string>(words.begin() + 2, words.end()),
                                        Trim(line.substr(verbEnd)), std::move(block));
        entry.stimulus = kind->read(stimulusLine);
        scenario.timeline.push_back(std::move(entry));
    }
    finishTolm();
    FinishDeviceTree(scenario.devices, fileName);
    return scenario;
}

Scenario LoadScenario(const std::filesystem::path& path) {
    std::string text;
    try {
        text = ReadScenarioFile(path, path.string(), 0);
    } catch (const ScenarioError&) {
        throw ScenarioError(path.string() + ": cannot open the scenario");
    }
    return ParseScenario(text, path.string(), path.parent_path());
}

std::string ReadScenarioFile(const std::filesystem::path& path, const std::string& who, int line) {
    constexpr std::uintmax_t kMaxBytes = 16u << 20;
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::is_regular_file(status)) Fail(who, line, "cannot read " + path.string());
    const auto size = std::filesystem::file_size(path, error);
    if (error) Fail(who, line, "cannot read " + path.string());
    if (size > kMaxBytes) Fail(who, line, path.string() + " is too large (more than 16 MiB)");
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(who, line, "cannot read " + path.string());
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

}  // namespace Arvek::Sim
