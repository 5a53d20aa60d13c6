// The string table: the generator's rules for the language files, the rules
// every translation keeps (checked on the generated table, so a translator's
// slip shows up here with its file and id), and the simulation's choice of
// block, which must be LoadStringW's. The Windows tests hold Tidewatch.exe's
// compiled resources to the same generated table.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/strings.h"
#include "sim/sim_fixture.h"
#include "sim/os/sim_resources.h"
#include "string_table.h"

namespace {

using Arvek::Sim::SimResources;
using Arvek::Strings::Block;
using Arvek::Strings::Program;

constexpr std::uint16_t kEnglish = 0x0409;

// The 34 languages both programs carry.
constexpr std::uint16_t kLanguages[] = {
    0x0001, 0x0002, 0x0004, 0x0005, 0x0006, 0x0007, 0x0008, 0x000A, 0x000B, 0x000D, 0x000E, 0x0010,
    0x0012, 0x0013, 0x0014, 0x0015, 0x0018, 0x0019, 0x001A, 0x001B, 0x001D, 0x001E, 0x001F, 0x0024,
    0x0025, 0x0026, 0x0027, 0x0404, 0x0409, 0x040C, 0x0411, 0x0416, 0x041A, 0x0816};

std::string Hex(std::uint16_t language) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", language);
    return text;
}

std::size_t Count(std::wstring_view text, std::wstring_view part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::wstring_view::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// ---------------------------------------------------------------------------
// The rules every language file keeps, over the generated table.

// The last id a program carries in a language.
std::uint32_t LastId(Program program, std::uint16_t language) {
    return program == Program::Tidewatch && language == kEnglish ? 558 : 556;
}

// Ids whose text may be the English one: names, codes and the support address.
const std::set<std::uint32_t> kMayStayEnglish = {500, 504, 505, 543, 544, 549, 550, 553};

// Per-text rules: which ids they apply to and what a text must hold.
struct TextRule {
    const char* rule;
    bool (*applies)(std::uint32_t id);
    // true when `text` in `language` keeps the rule; `english` is the master's text.
    bool (*holds)(std::wstring_view text, std::wstring_view english, std::uint16_t language);
};

const TextRule kTextRules[] = {
    {"must be \"Arvek Notifications\"", [](std::uint32_t id) { return id == 500; },
     [](std::wstring_view text, std::wstring_view, std::uint16_t) { return text == L"Arvek Notifications"; }},
    {"must be \"TIDEWATCH\" (\"ARVEK NOTIFICATIONS\" in Polish, Russian, Slovenian and Latvian)",
     [](std::uint32_t id) { return id == 505; },
     [](std::wstring_view text, std::wstring_view, std::uint16_t language) {
         const bool twoWords = language == 0x0015 || language == 0x0019 || language == 0x0024 || language == 0x0026;
         return text == (twoWords ? L"ARVEK NOTIFICATIONS" : L"TIDEWATCH");
     }},
    {"must be the English support address", [](std::uint32_t id) { return id == 553; },
     [](std::wstring_view text, std::wstring_view english, std::uint16_t) { return text == english; }},
    {"must hold a no-break space", [](std::uint32_t id) { return id == 508; },
     [](std::wstring_view text, std::wstring_view, std::uint16_t) { return text.find(L'\u00A0') != text.npos; }},
    {"must hold a trade-mark sign",
     [](std::uint32_t id) { return id == 507 || id == 509 || id == 510 || id == 513 || id == 541 || id == 542; },
     [](std::wstring_view text, std::wstring_view, std::uint16_t) { return text.find(L'\u2122') != text.npos; }},
    {"must have the English text's line breaks (\\r\\n pairs, none alone)", [](std::uint32_t) { return true; },
     [](std::wstring_view text, std::wstring_view english, std::uint16_t) {
         const std::size_t pairs = Count(text, L"\r\n");
         return pairs == Count(english, L"\r\n") && Count(text, L"\r") == pairs && Count(text, L"\n") == pairs;
     }},
    {"must be translated: it equals the English", [](std::uint32_t id) { return !kMayStayEnglish.count(id); },
     [](std::wstring_view text, std::wstring_view english, std::uint16_t language) {
         return language == kEnglish || text != english;
     }},
};

std::vector<std::string> TableProblems(Program program) {
    const auto blocks = Arvek::Strings::ProgramBlocks(program);
    const std::string name = program == Program::Tidewatch ? "Tidewatch" : "Portolan";
    std::vector<std::string> problems;
    const auto find = [&](std::uint16_t language) -> const Block* {
        for (const auto& block : blocks)
            if (block.language == language) return &block;
        return nullptr;
    };
    for (const auto language : kLanguages)
        if (!find(language)) problems.push_back(name + ": no block " + Hex(language) + " (its file is missing)");
    const Block* english = find(kEnglish);
    if (!english) return problems;

    for (const auto& block : blocks) {
        const std::string where = name + " " + block.file + ": ";
        if (std::find(std::begin(kLanguages), std::end(kLanguages), block.language) == std::end(kLanguages))
            problems.push_back(where + Hex(block.language) + " is not one of the table's languages");
        const std::uint32_t last = LastId(program, block.language);
        if (block.count != last - Arvek::Strings::kFirstId + 1)
            problems.push_back(where + "carries ids up to " +
                               std::to_string(Arvek::Strings::kFirstId + block.count - 1) + ", not " +
                               std::to_string(last));
        for (std::uint32_t id = Arvek::Strings::kFirstId; id <= last; ++id) {
            const wchar_t* text = block.Find(id);
            if (!text || !*text) {
                problems.push_back(where + "id " + std::to_string(id) + (text ? " is empty" : " is missing"));
                continue;
            }
            const wchar_t* master = english->Find(id);
            for (const auto& rule : kTextRules)
                if (rule.applies(id) && !rule.holds(text, master ? master : L"", block.language))
                    problems.push_back(where + "id " + std::to_string(id) + " " + rule.rule);
        }
    }
    return problems;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) all += "  " + line + "\n";
    return all;
}

TEST(StringTable, EveryLanguageOfBothProgramsKeepsTheTablesRules) {
    for (const auto program : {Program::Tidewatch, Program::Portolan}) {
        const auto problems = TableProblems(program);
        EXPECT_TRUE(problems.empty()) << problems.size() << " problem(s):\n" << Lines(problems);
    }
}

TEST(StringTable, BothProgramsCarryTheSameTexts) {
    const auto tidewatch = Arvek::Strings::ProgramBlocks(Program::Tidewatch);
    const auto portolan = Arvek::Strings::ProgramBlocks(Program::Portolan);
    ASSERT_EQ(tidewatch.size(), portolan.size());
    for (std::size_t i = 0; i < tidewatch.size(); ++i) {
        SCOPED_TRACE(tidewatch[i].file);
        ASSERT_EQ(tidewatch[i].language, portolan[i].language);
        for (std::uint32_t id = 500; id <= 556; ++id) EXPECT_EQ(tidewatch[i].Find(id), portolan[i].Find(id)) << id;
        EXPECT_EQ(portolan[i].Find(557), nullptr);
    }
}

// ---------------------------------------------------------------------------
// Which block the simulated LoadStringW reads.

// A table of marker texts, laid out like the generated one.
class MarkerTable {
public:
    MarkerTable& Add(std::uint16_t language, std::initializer_list<std::pair<std::uint32_t, const wchar_t*>> texts) {
        auto& column = m_texts.emplace_back(kIds, nullptr);
        for (const auto& [id, text] : texts) column.at(id - Arvek::Strings::kFirstId) = text;
        m_blocks.push_back({language, "markers", kIds, column.data()});
        return *this;
    }
    std::span<const Block> Blocks() const { return m_blocks; }

private:
    static constexpr std::size_t kIds = 120;  // ids 500-619
    std::deque<std::vector<const wchar_t*>> m_texts;
    std::vector<Block> m_blocks;
};

TEST(SimResources, ReadsTheBlockLoadStringWReadsPerBundleOf16Ids) {
    MarkerTable table;
    table.Add(0x0001, {{500, L"ar"}, {600, L"ar 600"}})  // the only block of ids 592-607
        .Add(0x0004, {{500, L"zh-Hans"}})
        .Add(0x0007, {{500, L"de"}, {556, L"de 556"}})  // no ids 512-527; 556 shares 557's bundle
        .Add(0x000A, {{500, L"es"}})
        .Add(0x0010, {{500, L"it"}})
        .Add(0x0404, {{500, L"zh-TW"}})
        .Add(0x0409, {{500, L"en-US"}, {520, L"en 520"}, {556, L"en 556"}, {557, L"en 557"}})
        .Add(0x040C, {{500, L"fr-FR"}})
        .Add(0x0416, {{500, L"pt-BR"}})
        .Add(0x041A, {{500, L"sr-Latn"}})
        .Add(0x0816, {{500, L"pt-PT"}});
    const struct {
        std::uint16_t user;
        std::uint32_t id;
        const wchar_t* expected;
    } cases[] = {
        {1031, 500, L"de"},       // German, Germany: the neutral German block
        {2055, 500, L"de"},       // German, Switzerland
        {3082, 500, L"es"},       // Spanish, modern sort
        {1028, 500, L"zh-TW"},    // Chinese, Taiwan: its own block
        {3076, 500, L"zh-Hans"},  // Chinese, Hong Kong: the primary language's neutral block
        {2052, 500, L"zh-Hans"},  // Chinese, PRC
        {1046, 500, L"pt-BR"},
        {2070, 500, L"pt-PT"},
        {1050, 500, L"sr-Latn"},
        {1040, 500, L"it"},
        {1036, 500, L"fr-FR"},
        {3084, 500, L"en-US"},    // French, Canada: a sibling's block is no match
        {1039, 500, L"en-US"},    // Icelandic, not carried
        {1033, 557, L"en 557"},
        {1031, 557, L""},         // German holds 557's bundle (556), so 557 has no text
        {1039, 557, L"en 557"},
        {1031, 520, L"en 520"},   // German lacks the whole bundle: English's
        {1031, 600, L"ar 600"},   // no block in any language tried: the first one
        {1031, 601, L""},
        {1031, 700, L""},         // no block at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.user) + " asks for " + std::to_string(c.id));
        EXPECT_EQ(SimResources(c.user, table.Blocks()).LoadText(c.id, 100), c.expected);
    }
}

TEST(SimResources, ProgramsTextsFollowTheUsersLanguage) {
    const auto text = [](Program program, std::uint16_t language, std::uint32_t id) {
        for (const auto& block : Arvek::Strings::ProgramBlocks(program))
            if (block.language == language && block.Find(id)) return std::wstring(block.Find(id));
        return std::wstring(L"<" + std::to_wstring(id) + L" missing in its block>");
    };
    // The agent names its window class and mutex by 505.
    EXPECT_EQ(SimResources(1045).LoadText(505, 100), L"ARVEK NOTIFICATIONS");
    EXPECT_EQ(SimResources(1031).LoadText(505, 100), L"TIDEWATCH");
    EXPECT_EQ(SimResources(1031).LoadText(541, 100), text(Program::Tidewatch, 0x0007, 541));
    EXPECT_EQ(SimResources(1031).LoadText(557, 100), L"");
    EXPECT_EQ(SimResources(1033).LoadText(557, 200), text(Program::Tidewatch, kEnglish, 557));
    EXPECT_EQ(SimResources(1033, Program::Portolan).LoadText(557, 200), L"");
    EXPECT_EQ(SimResources(1036, Program::Portolan).LoadText(556, 200), text(Program::Portolan, 0x040C, 556));
}

TEST(SimResources, TextsAreCutToTheCallersBufferLikeLoadStringW) {
    SimResources resources(1033);
    EXPECT_EQ(resources.LoadText(500, 100), L"Arvek Notifications");
    EXPECT_EQ(resources.LoadText(500, 20), L"Arvek Notifications");  // 19 characters and the terminator
    EXPECT_EQ(resources.LoadText(500, 19), L"Arvek Notification");
    EXPECT_EQ(resources.LoadText(505, 5), L"TIDE");
    EXPECT_EQ(resources.LoadText(505, 1), L"");
    EXPECT_EQ(resources.LoadText(505, 0), L"");
    EXPECT_EQ(resources.LoadText(499, 100), L"");  // shares bundle 496-511 with 500
    EXPECT_EQ(resources.LoadText(559, 100), L"");  // shares bundle 544-559 with 558
}

// ---------------------------------------------------------------------------
// The generator: what a language file may hold.

struct GeneratorRun {
    int exitCode;
    std::string errors;
    std::filesystem::path output;
};

// Runs the generator over the given files (name, UTF-8 content).
GeneratorRun Generate(const Arvek::Testing::TempFolder& folder,
                      std::initializer_list<std::pair<std::string, std::string>> files) {
    const auto sources = folder.Path() / "strings";
    std::filesystem::create_directories(sources);
    for (const auto& [name, content] : files) std::ofstream(sources / name, std::ios::binary) << content;
    GeneratorRun run{0, {}, folder.Path() / "out"};
    const auto errors = folder.Path() / "errors.txt";
    const std::string command = std::string("'") + ARVEK_PYTHON + "' '" + ARVEK_STRINGS_GENERATOR + "' --output '" +
                                run.output.string() + "' '" + sources.string() + "' 2>'" + errors.string() + "'";
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::stringstream text;
    text << std::ifstream(errors).rdbuf();
    run.errors = text.str();
    return run;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

TEST(StringTableGenerator, ReportsEveryProblemOfEveryFileAndWritesNothing) {
    // One German file with a problem on most lines (line n is lines[n - 1]).
    const struct {
        const char* line;
        const char* message;  // after "0007-de.txt:<n>: "; nullptr for a good line
    } lines[] = {
        {"500 a\\tb", "unknown escape \\t; use \\r, \\n, \\\\ or \\uXXXX"},
        {"501 a\\", "a backslash ends the line; write \\\\ for a backslash"},
        {"502 \\u00G0", "\\u must be followed by four hex digits, not \"00G0\""},
        {"503 a", nullptr},
        {"503 b", "id 503 again (first on line 4)"},
        {"557 a", "id 557 is outside this language's ids 500-556"},
        {"499 a", "id 499 is outside this language's ids 500-556"},
        {"504\ta", "expected \"<id> <text>\" (one space after the id), a # comment or a blank line"},
        {"0505 a", "expected \"<id> <text>\" (one space after the id), a # comment or a blank line"},
        {"506 a\tb", "control character U+0009 in the text"},
        {"507 \\u0000", "control character U+0000 in the text"},
        {"508 \\uD800", "lone surrogate U+D800 in the text"},
        {"509 \xF0\x9F\x98\x80", "character U+1F600 lies outside the Basic Multilingual Plane"},
        {"510 \xC3(", "not UTF-8 (byte 5 of the line)"},
        {"511 a\rb", "control character U+000D in the text"},  // line breaks only as \r\n
        {"# a comment", nullptr},
        {"", nullptr},
    };
    std::string german;
    for (const auto& l : lines) german += std::string(l.line) + "\n";
    Arvek::Testing::TempFolder folder;
    const auto run = Generate(folder, {{"0409-en-US.txt", "500 a\n"},
                                       {"0007-de.txt", german},
                                       {"0C07-de-AT.txt", "500 a\n"},
                                       {"0007-ger.txt", "500 a\n"},
                                       {"german.txt", "500 a\n"}});
    EXPECT_EQ(run.exitCode, 1);
    std::vector<std::string> expected = {
        "0C07-de-AT.txt: 0x0C07 is not one of the table's languages",
        "0007-ger.txt: language 0x0007 is tagged \"de\": name the file 0007-de.txt",
        "german.txt: a language file is named <4 hex digits of the language id>-<tag>.txt",
    };
    for (std::size_t n = 1; n <= std::size(lines); ++n)
        if (lines[n - 1].message) expected.push_back("0007-de.txt:" + std::to_string(n) + ": " + lines[n - 1].message);
    for (const auto& message : expected) EXPECT_NE(run.errors.find(message + "\n"), std::string::npos) << message;
    EXPECT_EQ(static_cast<std::size_t>(std::count(run.errors.begin(), run.errors.end(), '\n')), expected.size() + 1)
        << run.errors;  // and the summary line
    EXPECT_FALSE(std::filesystem::exists(run.output));
}

TEST(StringTableGenerator, QuotesTextsForTheResourceCompilerAndCpp) {
    Arvek::Testing::TempFolder folder;
    // A file from a Windows editor: byte-order mark and CRLF line ends.
    const auto run = Generate(folder, {{"0409-en-US.txt", "500 say \"hi\" \\\\ now\\r\\n\\u00A0™\n501 \n"},
                                       {"0007-de.txt", "\xEF\xBB\xBF# Deutsch\r\n500 Grüße\r\n"}});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const std::string rc = ReadFile(run.output / "tidewatch_strings.rc");
    EXPECT_NE(rc.find("LANGUAGE 0x07, 0x00  // LANG_GERMAN, SUBLANG_NEUTRAL\nSTRINGTABLE\nBEGIN\n"
                      "    500 \"Grüße\"\nEND"),
              rc.npos)
        << rc;
    EXPECT_NE(rc.find("LANGUAGE 0x09, 0x01  // LANG_ENGLISH, SUBLANG_ENGLISH_US\nSTRINGTABLE\nBEGIN\n"
                      "    500 \"say \"\"hi\"\" \\\\ now\\r\\n\xC2\xA0™\"\nEND"),
              rc.npos)
        << rc;  // the empty 501 is left out: LoadStringW reads it as no text either way
    const std::string cpp = ReadFile(run.output / "string_table.cpp");
    EXPECT_NE(cpp.find("/* 500 */ L\"say \\\"hi\\\" \\\\ now\\r\\n\\u00A0\\u2122\","), cpp.npos) << cpp;
    EXPECT_NE(cpp.find("/* 501 */ L\"\","), cpp.npos);
    EXPECT_NE(cpp.find("/* 502 */ nullptr,"), cpp.npos);
    EXPECT_NE(cpp.find("/* 500 */ L\"Gr\\u00FC\\u00DFe\","), cpp.npos);
}

}  // namespace
