// The agent's policy switches, read from the first of four policy keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/core/settings_control.h"
#include "process_log.h"
#include "sim/sim_fixture.h"

namespace Arvek::Testing {
namespace {

using Notifications::Tidewatch::CSettingsControl;

constexpr const char* kArvek = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Arvek\\Arvek Notifications]\n";
constexpr const char* kArvekWow = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Policies\\Arvek\\Arvek Notifications]\n";
constexpr const char* kWorks = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Arvekworks\\Arvek Notifications]\n";
constexpr const char* kWorksWow =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Policies\\Arvekworks\\Arvek Notifications]\n";

bool Setting(const std::string& policy, const wchar_t* name = L"SuppressAllNotifications") {
    SimNotebook notebook(SimNotebook::WithPolicy("", policy));
    return CSettingsControl::GetRegistrySetting(notebook.machine.Platform().registry, name);
}

std::string Value(const std::string& data) { return "\"SuppressAllNotifications\"=" + data + "\n"; }

TEST(PolicySettings, OnlyAStringTrueInTheFirstKeyThatOpensIsOn) {
    const std::string long300 = "\"" + std::string(300, 't') + "\"";
    const std::string fits259 = "\"true" + std::string(255, ' ') + "\"";  // 260 units with its terminator
    const struct {
        const char* what;
        std::string policy;
        bool on;
    } cases[] = {
        {"TRUE", std::string(kArvek) + Value("\"TRUE\""), true},
        {"True", std::string(kArvek) + Value("\"True\""), true},
        {"expandable string", std::string(kArvek) + Value("hex(2):74,00,72,00,75,00,65,00,00,00"), true},
        {"string 1", std::string(kArvek) + Value("\"1\""), false},
        {"DWORD 1", std::string(kArvek) + Value("dword:00000001"), false},
        {"empty", std::string(kArvek) + Value("\"\""), false},
        {"true with spaces", std::string(kArvek) + Value("\" true\""), false},
        {"300 characters", std::string(kArvek) + Value(long300), false},
        {"259 characters fit, but are not true", std::string(kArvek) + Value(fits259), false},
        {"no terminator", std::string(kArvek) + Value("hex(1):74,00,72,00,75,00,65,00"), false},
        {"odd length", std::string(kArvek) + Value("hex(1):74,00,72,00,75,00,65,00,00,00,00"), false},
        {"text after the terminator", std::string(kArvek) + Value("hex(1):74,00,72,00,75,00,65,00,00,00,78,00,00,00"),
         true},
        {"the first key shadows a later one", std::string(kArvek) + "\n" + kWorks + Value("\"true\""), false},
        {"32-bit view, Arvek", std::string(kArvekWow) + Value("\"true\""), true},
        {"native Arvekworks", std::string(kWorks) + Value("\"true\""), true},
        {"no key at all", "", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.on, Setting(c.policy)) << c.what;
}

TEST(PolicySettings, LogsWhichLocationItTriedAndFound) {
    ClearProcessLog();
    EXPECT_TRUE(Setting(std::string(kWorksWow) + Value("\"true\"")));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"Verbose CSettingsControl::GetRegistrySetting : Try Arvek WOW",
                  L"Verbose CSettingsControl::GetRegistrySetting : Try wow",
                  L"Verbose CSettingsControl::GetRegistrySetting : Found in WOW, Arvekworks location.",
              }),
              ProcessLogLines());

    ClearProcessLog();
    EXPECT_FALSE(Setting(std::string(kArvek)));
    EXPECT_EQ((std::vector<std::wstring>{L"Verbose CSettingsControl::GetRegistrySetting : Found in Arvek, native location"}),
              ProcessLogLines());
}

TEST(PolicySettings, AllNotificationsSuppressedReadsItsOwnValue) {
    SimNotebook notebook(SimNotebook::WithPolicy("", std::string(kArvek) + "\"SuppressUsbCNotifications\"=\"true\"\n"));
    auto& registry = notebook.machine.Platform().registry;
    EXPECT_TRUE(CSettingsControl::GetRegistrySetting(registry, L"SuppressUsbCNotifications"));
    EXPECT_FALSE(CSettingsControl::AllNotificationsSuppressed(registry));
}

}  // namespace
}  // namespace Arvek::Testing
