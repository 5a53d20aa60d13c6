// The Group Policy templates (policy/PolicyDefinitions) against the code:
// they write exactly the keys and values the programs read (the names of
// src/common/policy_names.h, the product name of the version resources),
// every language names every text and presentation they use, and each
// choice they offer, written into a simulated notebook's registry as Group
// Policy writes it, means to the programs what the template says.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "agent/core/settings_control.h"
#include "common/policy_names.h"
#include "common/strings.h"
#include "shared/file_listener.h"
#include "shared/log.h"
#include "sim/sim_fixture.h"

namespace Arvek::Testing {
namespace {

namespace fs = std::filesystem;
using Notifications::Tidewatch::CSettingsControl;
using namespace Arvek::Shared;

const fs::path kSource = ARVEK_SOURCE_DIR;
const fs::path kTemplates = kSource / "policy" / "PolicyDefinitions";

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A string of a program's version resource script: VALUE "name", "text".
std::string VersionValue(const char* script, const std::string& name) {
    std::smatch match;
    const std::string text = ReadText(kSource / "resources" / script);
    if (!std::regex_search(text, match, std::regex("VALUE\\s+\"" + name + "\"\\s*,\\s*\"([^\"]*)\""))) {
        ADD_FAILURE() << script << " has no " << name;
        return {};
    }
    return match[1];
}

struct Program {
    std::string name;  // the executable's base name, the program key's name
    std::string product;
};

std::vector<Program> Programs() {
    std::vector<Program> programs;
    for (const char* script : {"tidewatch.rc", "portolan.rc"}) {
        const std::string file = VersionValue(script, "OriginalFilename");
        programs.push_back({file.substr(0, file.rfind('.')), VersionValue(script, "ProductName")});
    }
    return programs;
}

// One thing a policy can write: a value under a key, as .reg data.
struct Choice {
    std::string label;  // for messages: the enum item's text id, "enabled", "2048"
    std::string data;   // "\"true\"", "dword:00000800"
};

struct Setting {
    std::string policy;
    std::string key;
    std::string valueName;
    std::vector<Choice> choices;
};

std::string Dword(unsigned long long value) {
    char data[32];
    std::snprintf(data, sizeof data, "dword:%08llx", value);
    return data;
}

// A <value> (or enabledValue, disabledValue) as .reg data.
std::optional<std::string> RegData(const pugi::xml_node& value) {
    if (auto text = value.child("string")) return "\"" + std::string(text.text().get()) + "\"";
    if (auto number = value.child("decimal")) return Dword(number.attribute("value").as_ullong());
    return std::nullopt;
}

std::string Join(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
    return text;
}

// What the ADMX lets an administrator write: one setting per value name, with
// every choice the editor offers for it (a decimal's two ends).
class Templates {
public:
    Templates() {
        const auto result = m_admx.load_file((kTemplates / "tidewatch.admx").c_str());
        EXPECT_TRUE(result) << "tidewatch.admx: " << result.description() << " at " << result.offset;
        for (auto policy : Policies()) {
            const std::string name = policy.attribute("name").value();
            const std::string key = policy.attribute("key").value();
            if (auto valueName = policy.attribute("valueName")) {
                Setting setting{name, key, valueName.value(), {}};
                for (const char* state : {"enabledValue", "disabledValue"}) {
                    if (auto data = RegData(policy.child(state))) setting.choices.push_back({state, *data});
                    else ADD_FAILURE() << name << ": no string or decimal " << state;
                }
                m_settings.push_back(setting);
            }
            for (auto element : policy.child("elements").children()) {
                Setting setting{name, element.attribute("key") ? element.attribute("key").value() : key,
                                element.attribute("valueName").value(), {}};
                const std::string kind = element.name();
                if (kind == "enum") {
                    for (auto item : element.children("item")) {
                        if (auto data = RegData(item.child("value")))
                            setting.choices.push_back({item.attribute("displayName").value(), *data});
                        else ADD_FAILURE() << name << ": an item that writes no string or decimal";
                    }
                } else if (kind == "decimal" && !element.attribute("storeAsText").as_bool()) {
                    for (const char* end : {"minValue", "maxValue"})
                        setting.choices.push_back(
                            {end, Dword(element.attribute(end).as_ullong(std::string(end) == "minValue" ? 0 : 9999))});
                } else {
                    ADD_FAILURE() << name << ": an element of a kind this test does not read: " << kind;
                }
                m_settings.push_back(setting);
            }
        }
    }

    pugi::xml_object_range<pugi::xml_named_node_iterator> Policies() const {
        return m_admx.child("policyDefinitions").child("policies").children("policy");
    }
    const pugi::xml_document& Admx() const { return m_admx; }
    const std::vector<Setting>& Settings() const { return m_settings; }

private:
    pugi::xml_document m_admx;
    std::vector<Setting> m_settings;
};

std::string Narrow(const wchar_t* text) { return NarrowUtf8(text); }

TEST(PolicyTemplates, WriteExactlyTheKeysAndValuesTheProgramsRead) {
    std::set<std::string> expected;
    // The switches, in the first of the keys the agent looks at: Group
    // Policy's own, the 64-bit view's "SOFTWARE\Policies".
    for (const wchar_t* name : PolicyNames::kSuppressSwitches)
        expected.insert(Narrow(PolicyNames::kNotificationKeys[0]) + " : " + Narrow(name));
    // The logging values, in the product key and in each program's key.
    for (const Program& program : Programs()) {
        const std::string product = Narrow(PolicyNames::kLoggingPolicyRoot) + program.product;
        for (const wchar_t* name : PolicyNames::kLoggingValues) {
            expected.insert(product + " : " + Narrow(name));
            expected.insert(product + "\\" + program.name + " : " + Narrow(name));
        }
    }
    std::set<std::string> written;
    Templates templates;
    for (const Setting& setting : templates.Settings()) {
        EXPECT_TRUE(written.insert(setting.key + " : " + setting.valueName).second)
            << setting.key << " : " << setting.valueName << " is written by two settings";
    }
    std::vector<std::string> missing, extra;
    std::set_difference(expected.begin(), expected.end(), written.begin(), written.end(), std::back_inserter(missing));
    std::set_difference(written.begin(), written.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << "read by the programs, not in the template: " << testing::PrintToString(missing);
    EXPECT_TRUE(extra.empty()) << "in the template, read by no program: " << testing::PrintToString(extra);
    for (auto policy : templates.Policies())
        EXPECT_STREQ("Machine", policy.attribute("class").value()) << policy.attribute("name").value();
}

// "$(string.X)" -> X
std::optional<std::string> Reference(const char* text, const std::string& kind) {
    const std::string value = text;
    const std::string prefix = "$(" + kind + ".";
    if (value.rfind(prefix, 0) != 0 || value.back() != ')') return std::nullopt;
    return value.substr(prefix.size(), value.size() - prefix.size() - 1);
}

TEST(PolicyTemplates, EveryLanguageHasEveryTextAndPresentation) {
    Templates templates;
    std::set<std::string> strings;
    std::map<std::string, std::set<std::string>> presentations;  // id -> the element ids of its policies
    for (auto node : templates.Admx().select_nodes("//@*")) {
        if (auto id = Reference(node.attribute().value(), "string")) strings.insert(*id);
    }
    for (auto policy : templates.Policies()) {
        std::set<std::string> elements;
        for (auto element : policy.child("elements").children()) elements.insert(element.attribute("id").value());
        const auto presentation = Reference(policy.attribute("presentation").value(), "presentation");
        if (presentation) {
            auto [entry, added] = presentations.emplace(*presentation, elements);
            EXPECT_TRUE(added || entry->second == elements)
                << policy.attribute("name").value() << " shares presentation " << *presentation
                << " with a policy of other elements";
        } else {
            EXPECT_TRUE(elements.empty()) << policy.attribute("name").value() << " has elements but no presentation";
        }
    }
    ASSERT_FALSE(strings.empty());

    std::vector<fs::path> languages;
    for (const auto& entry : fs::directory_iterator(kTemplates))
        if (entry.is_directory()) languages.push_back(entry.path() / "tidewatch.adml");
    ASSERT_FALSE(languages.empty());
    EXPECT_TRUE(fs::exists(kTemplates / "en-US" / "tidewatch.adml"));
    for (const fs::path& path : languages) {
        SCOPED_TRACE(path.string());
        pugi::xml_document adml;
        ASSERT_TRUE(adml.load_file(path.c_str()));
        const auto resources = adml.child("policyDefinitionResources").child("resources");
        std::set<std::string> defined;
        for (auto text : resources.child("stringTable").children("string")) {
            EXPECT_TRUE(defined.insert(text.attribute("id").value()).second) << "twice: " << text.attribute("id").value();
            EXPECT_STRNE("", text.text().get()) << text.attribute("id").value();
        }
        for (const std::string& id : strings) EXPECT_TRUE(defined.count(id)) << "no string " << id;
        for (const auto& [id, elements] : presentations) {
            const auto presentation = resources.child("presentationTable").find_child_by_attribute("presentation", "id", id.c_str());
            ASSERT_TRUE(presentation) << "no presentation " << id;
            std::set<std::string> controls;
            for (auto control : presentation.children()) controls.insert(control.attribute("refId").value());
            EXPECT_EQ(elements, controls) << "presentation " << id << " does not show its policies' elements";
        }
    }
}

std::string RegText(const std::string& key, const std::string& valueName, const std::string& data) {
    return "[HKEY_LOCAL_MACHINE\\" + key + "]\n\"" + valueName + "\"=" + data + "\n\n";
}

TEST(PolicyTemplates, TheSwitchesAreOnExactlyWhenEnabled) {
    Templates templates;
    for (const wchar_t* name : PolicyNames::kSuppressSwitches) {
        for (const Setting& setting : templates.Settings()) {
            if (setting.valueName != Narrow(name)) continue;
            for (const Choice& choice : setting.choices) {
                SCOPED_TRACE(setting.policy + " " + choice.label);
                SimNotebook notebook(SimNotebook::WithPolicy("", RegText(setting.key, setting.valueName, choice.data)));
                EXPECT_EQ(choice.label == "enabledValue",
                          CSettingsControl::GetRegistrySetting(notebook.machine.Platform().registry, name));
            }
        }
    }
}

// The log of `program` on a notebook with `policy`.
struct ProgramLog {
    ProgramLog(const Program& program, const std::string& policy)
        : notebook(SimNotebook::WithPolicy("program = C:\\Program Files\\Arvek\\Tidewatch\\" + program.name +
                                               ".exe\nproduct = " + program.product,
                                           policy)),
          log(notebook.machine.Platform(), Error, Event) {}
    std::set<ListenerType> Listeners() const {
        std::set<ListenerType> types;
        for (std::size_t i = 0; i < log.ListenerCount(); ++i) types.insert(log.Listener(i)->GetType());
        return types;
    }
    const CArvekLogListenerFile& File() const {
        return *dynamic_cast<const CArvekLogListenerFile*>(log.FileListener());
    }

    SimNotebook notebook;
    CArvekLog log;
};

// What the program makes of the one value `setting` writes with `choice`: a
// text that names the listeners, the levels, the size and the queue.
std::string Effect(const std::string& valueName, const ProgramLog& program) {
    if (valueName == Narrow(PolicyNames::kLoggingType)) {
        static const std::map<ListenerType, const char*> kNames = {
            {Event, "EVENT"}, {Debug, "DEBUG"}, {QueuedFile, "QUEUEDFILE"}, {File, "FILE"}, {Console, "CONSOLE"}};
        std::set<std::string> names;
        for (ListenerType type : program.Listeners()) names.insert(kNames.at(type));
        return Join(names);
    }
    if (valueName == Narrow(PolicyNames::kMinLogLevel))
        return std::to_string(static_cast<int>(program.log.Listener(0)->MinLevel()));
    if (valueName == Narrow(PolicyNames::kMaxLogLevel))
        return std::to_string(static_cast<int>(program.log.Listener(0)->MaxLevel()));
    if (valueName == Narrow(PolicyNames::kMaxLogSize)) return std::to_string(program.File().MaxLogSizeKiB());
    if (valueName == Narrow(PolicyNames::kQueuedWrites)) return program.File().Queued() ? "queued" : "direct";
    ADD_FAILURE() << "no effect known for " << valueName;
    return {};
}

// What the template promises for a choice: the listeners an item names, the
// level an item is named after, the size a decimal writes, the queue when
// enabled.
std::string Promise(const std::string& valueName, const Choice& choice) {
    const std::string text = choice.data.front() == '"' ? choice.data.substr(1, choice.data.size() - 2) : "";
    if (valueName == Narrow(PolicyNames::kLoggingType)) {
        // The keywords between the commas, one listener each.
        std::set<std::string> names;
        for (std::size_t start = 0; start <= text.size();) {
            const std::size_t comma = std::min(text.find(',', start), text.size());
            names.insert(text.substr(start, comma - start));
            start = comma + 1;
        }
        return Join(names);
    }
    if (valueName == Narrow(PolicyNames::kMinLogLevel) || valueName == Narrow(PolicyNames::kMaxLogLevel)) {
        static const std::map<std::string, int> kLevels = {{"TraceIn", 0}, {"TraceOut", 1}, {"Verbose", 2},
                                                           {"Information", 3}, {"Warning", 4}, {"Error", 5},
                                                           {"Diag", 6}, {"Never", 99}};
        const auto level = kLevels.find(text);
        return level == kLevels.end() ? "not a level: " + text : std::to_string(level->second);
    }
    if (valueName == Narrow(PolicyNames::kMaxLogSize)) return std::to_string(std::stoul(choice.data.substr(6), nullptr, 16));
    if (valueName == Narrow(PolicyNames::kQueuedWrites)) return choice.label == "enabledValue" ? "queued" : "direct";
    return {};
}

TEST(PolicyTemplates, EveryLoggingChoiceMeansWhatItSaysForItsProgramsOnly) {
    Templates templates;
    const std::vector<Program> programs = Programs();
    const std::string fileOnly = "\"" + Narrow(PolicyNames::kLoggingType) + "\"=\"FILE\"\n";
    for (const Setting& setting : templates.Settings()) {
        if (setting.key.rfind(Narrow(PolicyNames::kLoggingPolicyRoot), 0) != 0) continue;
        for (const Choice& choice : setting.choices) {
            for (const Program& program : programs) {
                for (const Program& reader : programs) {
                    const std::string product = Narrow(PolicyNames::kLoggingPolicyRoot) + program.product;
                    const bool programKey = setting.key != product;
                    if (!programKey && &reader != &program) continue;  // the product key: one reader is enough
                    if (programKey && setting.key != product + "\\" + program.name) continue;
                    SCOPED_TRACE(setting.policy + " = " + choice.label + ", read by " + reader.name);
                    // The size and the queue matter only with a file: the product key has one.
                    const bool needsFile = setting.valueName == Narrow(PolicyNames::kMaxLogSize) ||
                                           setting.valueName == Narrow(PolicyNames::kQueuedWrites);
                    const std::string productKey =
                        "[HKEY_LOCAL_MACHINE\\" + product + "]\n" + (needsFile ? fileOnly : "") + "\n";
                    const std::string policy = productKey + RegText(setting.key, setting.valueName, choice.data);
                    const ProgramLog withPolicy(reader, policy);
                    const std::string effect = Effect(setting.valueName, withPolicy);
                    if (&reader == &program) {
                        EXPECT_EQ(Promise(setting.valueName, choice), effect);
                    } else {
                        // Another program's key changes nothing for this one.
                        EXPECT_EQ(Effect(setting.valueName, ProgramLog(reader, productKey)), effect);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace Arvek::Testing
