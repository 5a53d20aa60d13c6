// The programs' compiled string tables are the generated table the
// simulation loads: every RT_STRING block of every language, read from the
// program file, holds the generated texts and nothing else; and LoadStringW
// picks the block of the user's interface language as SimResources does.
//
// The programs, Tidewatch.exe and Portolan.exe, are read from the folder of
// this test program. ctest runs the language test once more for each of a
// few interface languages (tests/wine/wine_tests.cmake).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/strings.h"
#include "string_table.h"

namespace {

using Arvek::NarrowUtf8;
using Arvek::Strings::Block;
using Arvek::Strings::Program;

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::string HexList(const std::set<WORD>& values) {
    std::string list;
    for (const WORD value : values) list += (list.empty() ? "" : " ") + Hex(value);
    return list;
}

// A program file loaded for its resources only; freed at the end.
class DataModule {
public:
    explicit DataModule(const std::wstring& fileName) {
        wchar_t self[MAX_PATH];
        const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring path(self, length);
        path = path.substr(0, path.rfind(L'\\') + 1) + fileName;
        m_module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        m_error = ::GetLastError();
        m_path = path;
    }
    ~DataModule() {
        if (m_module) ::FreeLibrary(m_module);
    }
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;

    HMODULE Get() const { return m_module; }
    std::string Failure() const { return NarrowUtf8(m_path) + " does not load: error " + std::to_string(m_error); }

private:
    HMODULE m_module = nullptr;
    DWORD m_error = 0;
    std::wstring m_path;
};

// The bundle's resource name: ids (name - 1) * 16 to (name - 1) * 16 + 15.
WORD BundleOf(std::uint32_t id) { return static_cast<WORD>(id / 16 + 1); }

std::set<WORD> StringBundles(HMODULE module) {
    std::set<WORD> bundles;
    ::EnumResourceNamesW(
        module, RT_STRING,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) -> BOOL {
            if (IS_INTRESOURCE(name)) reinterpret_cast<std::set<WORD>*>(found)->insert(LOWORD(name));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&bundles));
    return bundles;
}

std::set<WORD> BundleLanguages(HMODULE module, WORD bundle) {
    std::set<WORD> languages;
    ::EnumResourceLanguagesW(
        module, RT_STRING, MAKEINTRESOURCEW(bundle),
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) -> BOOL {
            reinterpret_cast<std::set<WORD>*>(found)->insert(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

// The 16 strings of the bundle's block in `language` (length-prefixed UTF-16
// units, one after the other); nullopt when the block is missing or cut short.
std::optional<std::array<std::wstring, 16>> ReadBundle(HMODULE module, WORD bundle, WORD language) {
    HRSRC resource = ::FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(bundle), language);
    if (!resource) return std::nullopt;
    HGLOBAL loaded = ::LoadResource(module, resource);
    const auto* units = static_cast<const WCHAR*>(::LockResource(loaded));
    const DWORD size = ::SizeofResource(module, resource) / sizeof(WCHAR);
    if (!units) return std::nullopt;
    std::array<std::wstring, 16> strings;
    DWORD at = 0;
    for (auto& text : strings) {
        if (at >= size || units[at] > size - at - 1) return std::nullopt;
        text.assign(units + at + 1, units[at]);
        at += 1 + units[at];
    }
    return strings;
}

bool HoldsBundle(const Block& block, WORD bundle) {
    for (std::uint32_t id = (bundle - 1u) * 16; id < bundle * 16u; ++id)
        if (const wchar_t* text = block.Find(id); text && *text) return true;
    return false;
}

void ExpectCarriesTheTable(HMODULE module, Program program) {
    const auto blocks = Arvek::Strings::ProgramBlocks(program);
    std::set<WORD> tableBundles;
    for (const auto& block : blocks)
        for (std::uint32_t id = Arvek::Strings::kFirstId; id < Arvek::Strings::kFirstId + block.count; ++id)
            if (block.Find(id) && *block.Find(id)) tableBundles.insert(BundleOf(id));
    ASSERT_FALSE(tableBundles.empty());
    EXPECT_EQ(StringBundles(module), tableBundles);

    for (const WORD bundle : tableBundles) {
        std::set<WORD> tableLanguages;
        for (const auto& block : blocks)
            if (HoldsBundle(block, bundle)) tableLanguages.insert(block.language);
        EXPECT_EQ(HexList(BundleLanguages(module, bundle)), HexList(tableLanguages))
            << "languages of bundle " << bundle;

        for (const auto& block : blocks) {
            if (!HoldsBundle(block, bundle)) continue;
            SCOPED_TRACE(std::string(block.file) + ", bundle " + std::to_string(bundle));
            const auto strings = ReadBundle(module, bundle, block.language);
            if (!strings) {
                ADD_FAILURE() << "no readable block " << Hex(block.language);
                continue;
            }
            for (unsigned i = 0; i < 16; ++i) {
                const std::uint32_t id = (bundle - 1u) * 16 + i;
                const wchar_t* expected = block.Find(id);
                EXPECT_EQ((*strings)[i], expected ? expected : L"") << "id " << id;
            }
        }
    }
}

TEST(Win32StringTable, TidewatchCarriesTheGeneratedTable) {
    DataModule tidewatch(L"Tidewatch.exe");
    ASSERT_TRUE(tidewatch.Get()) << tidewatch.Failure();
    ExpectCarriesTheTable(tidewatch.Get(), Program::Tidewatch);
}

TEST(Win32StringTable, PortolanCarriesTheGeneratedTable) {
    DataModule portolan(L"Portolan.exe");
    ASSERT_TRUE(portolan.Get()) << portolan.Failure();
    ExpectCarriesTheTable(portolan.Get(), Program::Portolan);
}

// The block LoadStringW must read for a user of each interface language ctest
// runs this under; SimResources' test holds the simulation to the same.
TEST(Win32StringTable, LoadStringWReadsTheBlockOfTheInterfaceLanguage) {
    const LANGID ui = ::GetUserDefaultUILanguage();
    // ctest names the language it set up: a locale Wine could not use would
    // leave English, and the English case would pass for the wrong reason.
    if (const char* expected = std::getenv("ARVEK_EXPECT_UI_LANGUAGE")) {
        ASSERT_EQ(Hex(ui), Hex(std::strtoul(expected, nullptr, 16))) << "the interface language was not applied";
    }
    const struct {
        LANGID ui;
        WORD block;
    } cases[] = {
        {0x0409, 0x0409},  // English, United States
        {0x0407, 0x0007},  // German, Germany: the neutral German block
        {0x0807, 0x0007},  // German, Switzerland
        {0x0C04, 0x0004},  // Chinese, Hong Kong: the primary language's neutral block
        {0x040F, 0x0409},  // Icelandic, not carried: English
    };
    const auto* c =
        std::find_if(std::begin(cases), std::end(cases), [ui](const auto& entry) { return entry.ui == ui; });
    if (c == std::end(cases)) GTEST_SKIP() << "no expectation for interface language " << Hex(ui);

    const Block* block = nullptr;
    for (const auto& b : Arvek::Strings::ProgramBlocks(Program::Tidewatch))
        if (b.language == c->block) block = &b;
    ASSERT_NE(block, nullptr) << "the table has no block " << Hex(c->block);

    DataModule tidewatch(L"Tidewatch.exe");
    ASSERT_TRUE(tidewatch.Get()) << tidewatch.Failure();
    // Every id of the table's bundles: the block's text, and none where the
    // block lacks the id (557 and 558 outside English), however English has it.
    for (std::uint32_t id = 496; id < 560; ++id) {
        std::vector<wchar_t> buffer(1024);
        const int copied = ::LoadStringW(tidewatch.Get(), id, buffer.data(), static_cast<int>(buffer.size()));
        const wchar_t* expected = block->Find(id);
        EXPECT_EQ(std::wstring(buffer.data(), copied > 0 ? copied : 0), expected ? expected : L"")
            << "id " << id << " for interface language " << Hex(ui);
    }
}

}  // namespace
