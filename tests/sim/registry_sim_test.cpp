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

TEST(RegFile, DeletionsRemoveKeysTreesAndValues) {
    SimRegistry registry;
    registry.Import(ParseRegText(kV5 +
                                     "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Keep]\n"
                                     "\"A\"=dword:1\n\"B\"=dword:2\n@=\"d\"\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Gone\\Child]\n"
                                     "\"C\"=dword:3\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Empty\\\\]\n",  // names "Empty"
                                 "base.reg"));
    registry.Import(ParseRegText(kV5 +
                                     "[-HKEY_LOCAL_MACHINE\\Software\\Arvek\\Gone\\]\n"
                                     "[-HKEY_LOCAL_MACHINE\\Software\\Never\\Existed]\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Arvek\\Keep]\n"
                                     "\"B\"=- ;gone\n\"\"=-\n\"Missing\"=-\n",  // "" is the default value too
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
