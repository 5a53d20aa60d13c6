// The simulated registry: the registry contract against it, its .reg reader,
// and what only the simulation has (set-up, imports, threads).
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "common/hresult.h"
#include "common/strings.h"
#include "contract/registry_contract.h"
#include "sim/os/reg_file.h"
#include "sim/sim_fixture.h"
#include "sim/os/sim_registry.h"

namespace Arvek::Testing {
namespace {

class SimBackend final : public RegistryContractBackend {
public:
    Ports::IRegistry& Registry() override { return m_registry; }
    void SetValue(const std::wstring& path, const std::wstring& name, std::uint32_t type,
                  const std::basic_string<std::uint8_t>& data, bool view32) override {
        m_registry.SetValue(Ports::RegistryRoot::LocalMachine, path, name, type, data,
                            view32 ? Ports::kKEY_WOW64_32KEY : 0);
    }
    void DeleteTree(const std::wstring& path) override {
        m_registry.DeleteTree(Ports::RegistryRoot::LocalMachine, path);
        m_registry.DeleteTree(Ports::RegistryRoot::LocalMachine, path, Ports::kKEY_WOW64_32KEY);
    }

private:
    Sim::SimRegistry m_registry;
};

std::unique_ptr<RegistryContractBackend> MakeSimBackend() { return std::make_unique<SimBackend>(); }

}  // namespace

// Named, so that test names stay the same from run to run (the default is the pointer).
INSTANTIATE_TEST_SUITE_P(Sim, RegistryContract, testing::Values(&MakeSimBackend),
                         [](const auto&) { return std::string("SimRegistry"); });

}  // namespace Arvek::Testing

namespace {

using namespace Arvek;
using Arvek::Sim::ParseRegText;
using Arvek::Sim::RegFileError;
using Arvek::Sim::SimRegistry;
using Ports::RegistryRoot;
using Bytes = std::basic_string<std::uint8_t>;

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n";

Bytes Sz(std::wstring_view text) { return ToUtf16Le(text, true); }

// The bytes of a UTF-16LE text file with its BOM, as regedit writes it.
std::string Utf16File(std::wstring_view text) {
    const Bytes units = ToUtf16Le(text, false);
    return "\xFF\xFE" + std::string(units.begin(), units.end());
}

struct Stored {
    std::uint32_t result = 0;
    std::uint32_t type = 0;
    Bytes data;
    bool operator==(const Stored&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Stored& s) {
    out << "{result " << s.result << ", type " << s.type << ", bytes";
    for (const auto b : s.data) out << ' ' << std::hex << int{b} << std::dec;
    return out << '}';
}

Stored Query(Ports::IRegistry& registry, RegistryRoot root, const std::wstring& path, const std::wstring& name) {
    std::unique_ptr<Ports::IRegistryKey> key;
    Stored stored;
    stored.result = registry.OpenKey(root, path, Ports::kKEY_READ, key);
    if (stored.result != kERROR_SUCCESS) return stored;
    std::uint32_t size = 0;
    stored.result = key->QueryValue(name, &stored.type, nullptr, &size);
    if (stored.result != kERROR_SUCCESS) return stored;
    stored.data.resize(size);
    stored.result = key->QueryValue(name, &stored.type, stored.data.data(), &size);
    return stored;
}

TEST(RegFile, ValueFormsBecomeTheBytesRegeditStores) {
    const std::string text = kV5 +
                             "\r\n"
                             "; comments and blank lines are skipped\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Test]\r\n"
                             "\"Text\"=\"say \\\"hi\\\" from C:\\\\Temp\"\r\n"
                             "@=\"default\"\r\n"
                             "\"Number\"=dword:0000002a\r\n"
                             "\"Short\"=dword:7\r\n"
                             "\"Blob\"=hex:de,ad,BE\r\n"
                             "\"Empty\"=hex:\r\n"
                             "\"Path\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\r\n"
                             "\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                             "\"Quad\"=hex(b):01,02,03,04,05,06,07,08\r\n"
                             "\"Nothing\"=hex(0):\r\n"
                             "\"Typed\"=hex(4):2a,00,00,00\r\n"
                             "\"Long\"=hex:00,01,02,\\\r\n"
                             "  03,04,\\\r\n"
                             "  05\r\n"
                             "  \"Spaced\" = \"x\"  \r\n"
                             "[HKCU\\Software\\Arvek]\n"  // LF line ends work too
                             "\"User\"=dword:1\n"
                             "[HKEY_CLASSES_ROOT\\.arv]\n"
                             "@=\"Arvek.Document\"\n"
                             "[HKU\\.DEFAULT\\Software\\Arvek]\n"
                             "\"Default\"=dword:ffffffff";  // no line end at all
    SimRegistry registry;
    registry.Import(ParseRegText(text, "policy.reg"));

    const std::wstring test = L"Software\\Arvek\\Test";
    const struct {
        RegistryRoot root;
        std::wstring path;
        const wchar_t* name;
        std::uint32_t type;
        Bytes data;
    } cases[] = {
        {RegistryRoot::LocalMachine, test, L"Text", Ports::kREG_SZ, Sz(L"say \"hi\" from C:\\Temp")},
        {RegistryRoot::LocalMachine, test, L"", Ports::kREG_SZ, Sz(L"default")},
        {RegistryRoot::LocalMachine, test, L"Number", Ports::kREG_DWORD, {0x2a, 0, 0, 0}},
        {RegistryRoot::LocalMachine, test, L"Short", Ports::kREG_DWORD, {7, 0, 0, 0}},
        {RegistryRoot::LocalMachine, test, L"Blob", Ports::kREG_BINARY, {0xde, 0xad, 0xbe}},
        {RegistryRoot::LocalMachine, test, L"Empty", Ports::kREG_BINARY, {}},
        {RegistryRoot::LocalMachine, test, L"Path", Ports::kREG_EXPAND_SZ, Sz(L"%TMP%")},
        {RegistryRoot::LocalMachine, test, L"List", Ports::kREG_MULTI_SZ,
         ToUtf16Le(std::wstring_view(L"a\0b\0", 4), true)},
        {RegistryRoot::LocalMachine, test, L"Quad", Ports::kREG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {RegistryRoot::LocalMachine, test, L"Nothing", Ports::kREG_NONE, {}},
        {RegistryRoot::LocalMachine, test, L"Typed", Ports::kREG_DWORD, {0x2a, 0, 0, 0}},
        {RegistryRoot::LocalMachine, test, L"Long", Ports::kREG_BINARY, {0, 1, 2, 3, 4, 5}},
        {RegistryRoot::LocalMachine, test, L"Spaced", Ports::kREG_SZ, Sz(L"x")},
        {RegistryRoot::CurrentUser, L"Software\\Arvek", L"User", Ports::kREG_DWORD, {1, 0, 0, 0}},
        {RegistryRoot::ClassesRoot, L".arv", L"", Ports::kREG_SZ, Sz(L"Arvek.Document")},
        {RegistryRoot::Users, L".DEFAULT\\Software\\Arvek", L"Default", Ports::kREG_DWORD, {0xff, 0xff, 0xff, 0xff}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(NarrowUtf8(c.path) + " " + NarrowUtf8(c.name));
        EXPECT_EQ(Query(registry, c.root, c.path, c.name), (Stored{kERROR_SUCCESS, c.type, c.data}));
    }
}

TEST(RegFile, AnsiStringPayloadsOfRegedit4AreWidened) {
    // REGEDIT4 wrote expandable and multi-strings as Windows-1252 bytes; 5.00
    // writes the UTF-16LE bytes the registry holds. Binary data is never converted.
    const struct {
        std::string header;
        std::string value;
        Bytes stored;
    } cases[] = {
        {"REGEDIT4", "hex(2):25,54,25,00", Sz(L"%T%")},
        {"REGEDIT4", "hex(7):e4,00,80,00,00", ToUtf16Le(std::wstring_view(L"\u00E4\0\u20AC\0", 4), true)},
        {"REGEDIT4", "hex:e4,80", {0xe4, 0x80}},
        {"REGEDIT4", "\"plain\"", Sz(L"plain")},
        {"Windows Registry Editor Version 5.00", "hex(2):25,00,54,00,25,00,00,00", Sz(L"%T%")},
        {"Windows Registry Editor Version 5.00", "hex(7):e4,00,00,00", {0xe4, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header + " " + c.value);
        const auto text = c.header + "\n\n[HKEY_LOCAL_MACHINE\\Software\\A]\n\"V\"=" + c.value + "\n";
        const auto ops = ParseRegText(text, "a.reg");
        ASSERT_EQ(ops.size(), 2u);
        EXPECT_EQ(ops[1].data, c.stored);
    }
}

TEST(RegFile, ReadsUtf16Utf8AndAnsiTexts) {
    const std::wstring text = L"Windows Registry Editor Version 5.00\r\n\r\n"
                              L"[HKEY_LOCAL_MACHINE\\Software\\Gr\u00F6\u00DFe]\r\n"
                              L"\"Ma\u00DF\"=\"Gr\u00FC\u00DFe \u20AC\"\r\n";
    std::string cp1252;
    for (const wchar_t c : text) cp1252.push_back(c == L'\u20AC' ? '\x80' : static_cast<char>(c));
    const struct {
        const char* encoding;
        std::string bytes;
    } cases[] = {
        {"UTF-16LE with BOM", Utf16File(text)},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + NarrowUtf8(text)},
        {"UTF-8", NarrowUtf8(text)},
        {"Windows-1252", cp1252},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        const auto ops = ParseRegText(c.bytes, "intl.reg");
        ASSERT_EQ(ops.size(), 2u);
        EXPECT_EQ(ops[1].path, L"Software\\Gr\u00F6\u00DFe");
        EXPECT_EQ(ops[1].name, L"Ma\u00DF");
        EXPECT_EQ(ops[1].data, Sz(L"Gr\u00FC\u00DFe \u20AC"));
        EXPECT_EQ(ops[1].line, 4);
    }
}

TEST(RegFile, DeletionsRemoveKeysTreesAndValues) {
    SimRegistry registry;
    registry.Import(ParseRegText(kV5 +
                                     "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Keep]\n"
                                     "\"A\"=dword:1\n\"B\"=dword:2\n@=\"d\"\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Gone\\Child]\n"
                                     "\"C\"=dword:3\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Empty]\n",
                                 "base.reg"));
    registry.Import(ParseRegText(kV5 +
                                     "[-HKEY_LOCAL_MACHINE\\Software\\Arvek\\Gone]\n"
                                     "[-HKEY_LOCAL_MACHINE\\Software\\Never\\Existed]\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Keep]\n"
                                     "\"B\"=-\n@=-\n\"Missing\"=-\n",
                                 "cleanup.reg"));

    const struct {
        const wchar_t* path;
        const wchar_t* name;
        std::uint32_t result;
    } cases[] = {
        {L"Software\\Arvek\\Keep", L"A", kERROR_SUCCESS},
        {L"Software\\Arvek\\Keep", L"B", kERROR_FILE_NOT_FOUND},
        {L"Software\\Arvek\\Keep", L"", kERROR_FILE_NOT_FOUND},
        {L"Software\\Arvek\\Gone\\Child", L"C", kERROR_FILE_NOT_FOUND},
        {L"Software\\Arvek\\Gone", L"", kERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(NarrowUtf8(c.path) + " " + NarrowUtf8(c.name));
        EXPECT_EQ(Query(registry, RegistryRoot::LocalMachine, c.path, c.name).result, c.result);
    }
    // A key line alone creates the key.
    std::unique_ptr<Ports::IRegistryKey> key;
    EXPECT_EQ(registry.OpenKey(RegistryRoot::LocalMachine, L"Software\\Arvek\\Empty", Ports::kKEY_READ, key),
              kERROR_SUCCESS);
}

TEST(RegFile, MalformedTextsNameTheFileAndLine) {
    const std::string key = kV5 + "[HKLM\\Software\\X]\n";
    const struct {
        std::string text;
        int line;
        std::string error;
        int firstLine = 1;
    } cases[] = {
        {"REGEDIT5\n", 1, "not a .reg text"},
        {"\n\n; a comment before the header\n", 3, "not a .reg text"},
        {"", 1, "no header"},
        {Utf16File(L"REGEDIT4\r\n") + "x", 2, "UTF-16 text ends in half a character"},
        {"\xEF\xBB\xBF" + key + "\"A\"=\"\xC3(\"\n", 3, "invalid UTF-8"},
        {kV5 + "\"A\"=dword:1\n", 2, "value line before any key line"},
        {kV5 + "junk\n", 2, "unexpected text \"junk\""},
        {key + "\"A\"=dword:xyz\n", 3, "bad dword value \"dword:xyz\""},
        {key + "\"A\"=dword:123456789\n", 3, "bad dword value"},
        {key + "\"A\"=dword:\n", 3, "bad dword value"},
        {key + "\"A\"=\"abc\n", 3, "unterminated string"},
        {key + "\"A\"=\"C:\\Temp\"\n", 3, "bad escape sequence \"\\T\""},
        {key + "\"A\"=\"b\" \"c\"\n", 3, "unexpected text after the string"},
        {key + "\"A\" \"b\"\n", 3, "expected '=' after the value name"},
        {key + "\"A\"=word:1\n", 3, "bad value data"},
        {key + "\"A\"=hex(zz):00\n", 3, "bad value type"},
        {key + "\"A\"=hex(2)00\n", 3, "expected ':'"},
        {key + "\"A\"=hex:00,,01\n", 3, "bad hex byte \"\""},
        {key + "\"A\"=hex:00,\\\n  01,0g\n", 4, "bad hex byte \"0g\""},
        {key + "\"A\"=hex:00,\\\n\n\"B\"=dword:1\n", 4, "hex data continues onto an empty line"},
        {key + "\"A\"=hex:00,\\", 3, "hex data continues past the end of the text"},
        {kV5 + "[HKEY_CURRENT_CONFIG\\X]\n", 2, "unknown root key \"HKEY_CURRENT_CONFIG\""},
        {kV5 + "[HKLM\\X\n", 2, "key line without closing ']'"},
        {kV5 + "[HKLM\\A\\\\B]\n", 2, "empty key name"},
        {kV5 + "[-HKEY_LOCAL_MACHINE]\n", 2, "a root key cannot be deleted"},
        {kV5 + "[-HKLM\\X]\n\"A\"=dword:1\n", 3, "value line under a key being deleted"},
        // Embedded in a larger file from its line 40 on.
        {key + "\"A\"=dword:xyz\n", 42, "bad dword value", 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string prefix = "policy.reg:" + std::to_string(c.line) + ": ";
        try {
            ParseRegText(c.text, "policy.reg", c.firstLine);
            ADD_FAILURE() << "accepted";
        } catch (const RegFileError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(prefix + c.error, 0), 0u) << e.what();
            EXPECT_EQ(e.Line(), c.line);
        }
    }
}

TEST(SimRegistry, LoadsRegFilesAndChangesNothingOnAFault) {
    SimRegistry registry;
    registry.LoadRegFile(std::filesystem::path(ARVEK_SOURCE_DIR) / "examples/registry/verbose-logging.reg");
    const std::wstring product = L"SOFTWARE\\Policies\\Arvek\\Tidewatch Application";
    EXPECT_EQ(Query(registry, RegistryRoot::LocalMachine, product, L"LoggingType").data, Sz(L"File,Event"));
    EXPECT_EQ(Query(registry, RegistryRoot::LocalMachine, product + L"\\Tidewatch", L"MinLogLevel").data,
              Sz(L"Verbose"));

    Testing::TempFolder folder;
    const auto bad = folder.Path() / "bad.reg";
    std::ofstream(bad) << kV5 << "[HKEY_LOCAL_MACHINE\\Software\\Early]\n\"A\"=dword:1\n\"B\"=dword:zz\n";
    EXPECT_THROW(registry.LoadRegFile(bad), RegFileError);
    EXPECT_EQ(Query(registry, RegistryRoot::LocalMachine, L"Software\\Early", L"A").result, kERROR_FILE_NOT_FOUND);

    try {
        registry.LoadRegFile(folder.Path() / "missing.reg");
        ADD_FAILURE() << "a missing file was accepted";
    } catch (const RegFileError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.reg: cannot open the file"), std::string::npos) << e.what();
    }
}

TEST(SimRegistry, OpenKeysOutliveTheRegistry) {
    std::unique_ptr<Ports::IRegistryKey> key;
    {
        SimRegistry registry;
        registry.SetValue(RegistryRoot::LocalMachine, L"Software\\T", L"V", Ports::kREG_DWORD, Bytes{1, 0, 0, 0});
        ASSERT_EQ(registry.OpenKey(RegistryRoot::LocalMachine, L"Software\\T", Ports::kKEY_READ, key), kERROR_SUCCESS);
    }
    std::uint32_t size = 0;
    EXPECT_EQ(key->QueryValue(L"V", nullptr, nullptr, &size), kERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
}

// Run under the TSan preset to see a missing lock. Each thread does a fixed
// amount of work: a reader-preferring lock may hold the writer back a while.
TEST(SimRegistry, ReadersRunAlongsideSetUp) {
    SimRegistry registry;
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&] {
            for (int n = 0; n < 500; ++n) {
                const Stored s = Query(registry, RegistryRoot::LocalMachine, L"Software\\T\\U", L"V");
                if (s.result == kERROR_SUCCESS) {
                    EXPECT_EQ(s.data.size(), 4u);
                } else {
                    // Deleted before the open, or between the open and the query.
                    EXPECT_TRUE(s.result == kERROR_FILE_NOT_FOUND || s.result == 1018u) << s.result;
                }
            }
        });
    for (std::uint8_t i = 0; i < 200; ++i) {
        registry.SetValue(RegistryRoot::LocalMachine, L"Software\\T\\U", L"V", Ports::kREG_DWORD,
                          Bytes{i, 0, 0, 0});
        registry.DeleteTree(RegistryRoot::LocalMachine, L"Software\\T");
    }
    for (auto& reader : readers) reader.join();
}

}  // namespace
