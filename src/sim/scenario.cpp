#include "sim/scenario.h"

#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

#include "common/strings.h"
#include "ports/windowing.h"
#include "sim/sim_ports.h"

namespace Arvek::Sim {
namespace {

std::string Trim(std::string_view s) { return std::string(TrimSpaces(s)); }

[[noreturn]] void Fail(const std::string& file, int line, const std::string& what) {
    throw ScenarioError(file + ":" + std::to_string(line) + ": " + what);
}

std::string ReadFile(const std::filesystem::path& path, const std::string& who, int line) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(who, line, "cannot read " + path.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool ParseNumber(const std::string& text, std::uint64_t& value) {
    int base = 10;
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    return ec == std::errc{} && end == digits.data() + digits.size() && !digits.empty();
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

const std::map<std::string, std::uint32_t>& MessageNames() {
    static const std::map<std::string, std::uint32_t> names = {
        {"WM_CLOSE", Ports::kWM_CLOSE},
        {"WM_COMMAND", Ports::kWM_COMMAND},
        {"WM_POWERBROADCAST", Ports::kWM_POWERBROADCAST},
        {"WM_DEVICECHANGE", Ports::kWM_DEVICECHANGE},
        {"WM_WTSSESSION_CHANGE", Ports::kWM_WTSSESSION_CHANGE},
        {"WM_DWMNCRENDERINGCHANGED", Ports::kWM_DWMNCRENDERINGCHANGED},
        {"WM_APP", Ports::kWM_APP},
        {"WM_USER", Ports::kWM_USER},
    };
    return names;
}

// A message by name ("WM_COMMAND", "WM_APP+2") or number.
bool ParseMessage(const std::string& text, std::uint32_t& message) {
    std::string name = text;
    std::uint64_t offset = 0;
    if (const auto plus = text.find('+'); plus != std::string::npos) {
        name = text.substr(0, plus);
        if (!ParseNumber(text.substr(plus + 1), offset)) return false;
    }
    const auto it = MessageNames().find(name);
    std::uint64_t base = 0;
    if (it != MessageNames().end()) base = it->second;
    else if (offset != 0 || !ParseNumber(name, base)) return false;
    if (base + offset > 0xFFFF) return false;
    message = static_cast<std::uint32_t>(base + offset);
    return true;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace

Scenario ParseScenario(const std::string& text, const std::string& fileName, const std::filesystem::path& baseFolder) {
    Scenario scenario;
    scenario.fileName = fileName;
    enum class Section { None, Machine, Registry, Tolm, Timeline } section = Section::None;
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
        if (line == "[machine]" || line == "[registry]" || line == "[tolm]" || line == "[timeline]") {
            finishTolm();
            section = line == "[machine]"    ? Section::Machine
                      : line == "[registry]" ? Section::Registry
                      : line == "[tolm]"     ? Section::Tolm
                                             : Section::Timeline;
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
                if (!ParseNumber(value, id) || id == 0 || id > 0xFFFF)
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
            } else if (name == "registry-file") {
                const std::filesystem::path path = baseFolder / value;
                scenario.registry.push_back({ReadFile(path, fileName, lineNumber), path.string(), 1});
            } else {
                Fail(fileName, lineNumber, "unknown machine setting \"" + name + "\"");
            }
            continue;
        }

        // Timeline.
        const auto words = Words(line);
        TimelineEvent event;
        event.line = lineNumber;
        if (words.size() < 2 || !ParseTime(words[0], event.atMs))
            Fail(fileName, lineNumber, "expected a time (500ms, 2s) and a stimulus: " + line);
        if (!scenario.timeline.empty() && event.atMs < scenario.timeline.back().atMs)
            Fail(fileName, lineNumber, "times must not go backwards: " + words[0]);
        event.verb = words[1];
        if (event.verb == "post") {
            std::uint64_t wParam = 0, lParam = 0;
            if (words.size() < 3 || words.size() > 5 || !ParseMessage(words[2], event.message) ||
                (words.size() > 3 && !ParseNumber(words[3], wParam)) ||
                (words.size() > 4 && !ParseNumber(words[4], lParam)))
                Fail(fileName, lineNumber, "expected: post MESSAGE [WPARAM [LPARAM]]: " + line);
            event.wParam = static_cast<std::uintptr_t>(wParam);
            event.lParam = static_cast<std::intptr_t>(lParam);
        } else if (event.verb == "close-window" || event.verb == "second-instance") {
            if (words.size() != 2) Fail(fileName, lineNumber, event.verb + " takes no arguments");
        } else {
            Fail(fileName, lineNumber, "unknown stimulus \"" + event.verb + "\"");
        }
        scenario.timeline.push_back(event);
    }
    finishTolm();
    return scenario;
}

Scenario LoadScenario(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScenarioError(path.string() + ": cannot open the scenario");
    std::ostringstream text;
    text << in.rdbuf();
    return ParseScenario(text.str(), path.string(), path.parent_path());
}

}  // namespace Arvek::Sim
