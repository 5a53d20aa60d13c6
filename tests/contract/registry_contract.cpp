#include "contract/registry_contract.h"

#include <string_view>
#include <vector>

#include "common/hresult.h"
#include "common/strings.h"

namespace Arvek::Testing {
namespace {

using Bytes = std::basic_string<std::uint8_t>;
using Ports::RegistryRoot;

const std::wstring kWow64RootPath = L"Software\\Wow6432Node\\ArvekContractTest";

Bytes Sz(std::wstring_view text) { return ToUtf16Le(text, true); }

Bytes Dword(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

std::unique_ptr<Ports::IRegistryKey> OpenOrFail(Ports::IRegistry& registry, const std::wstring& path,
                                                std::uint32_t access = Ports::kKEY_READ) {
    std::unique_ptr<Ports::IRegistryKey> key;
    const auto result = registry.OpenKey(RegistryRoot::LocalMachine, path, access, key);
    EXPECT_EQ(result, kERROR_SUCCESS) << "opening HKLM\\" << NarrowUtf8(path);
    return key;
}

std::uint32_t OpenResult(Ports::IRegistry& registry, const std::wstring& path) {
    std::unique_ptr<Ports::IRegistryKey> key;
    return registry.OpenKey(RegistryRoot::LocalMachine, path, Ports::kKEY_READ, key);
}

struct Read {
    std::uint32_t result = 0;
    std::uint32_t type = 0xFFFFFFFF;
    Bytes data;
};

// Reads a value the careful way: the size first, then the data.
Read ReadValue(Ports::IRegistryKey& key, const std::wstring& name) {
    Read read;
    std::uint32_t size = 0;
    read.result = key.QueryValue(name, &read.type, nullptr, &size);
    if (read.result != kERROR_SUCCESS) return read;
    read.data.assign(size, 0xCC);
    read.result = key.QueryValue(name, &read.type, read.data.data(), &size);
    read.data.resize(size);
    return read;
}

std::uint32_t ReadDword(Ports::IRegistryKey& key, const std::wstring& name) {
    const Read read = ReadValue(key, name);
    EXPECT_EQ(read.result, kERROR_SUCCESS) << NarrowUtf8(name);
    EXPECT_EQ(read.type, Ports::kREG_DWORD);
    return read.data.size() == 4 ? read.data[0] | read.data[1] << 8 | read.data[2] << 16 | read.data[3] << 24 : 0;
}

}  // namespace

void RegistryContract::SetUp() {
    backend = GetParam()();
    backend->DeleteTree(kRoot);
}

void RegistryContract::TearDown() {
    if (backend) backend->DeleteTree(kRoot);
}

TEST_P(RegistryContract, ValuesReadBackByteForByteWithTheirType) {
    const struct {
        const wchar_t* name;
        std::uint32_t type;
        Bytes data;
    } cases[] = {
        {L"Text", Ports::kREG_SZ, Sz(L"Arvek Tidewatch")},  // with its terminator
        {L"", Ports::kREG_SZ, Sz(L"the default value")},
        {L"Expand", Ports::kREG_EXPAND_SZ, Sz(L"%SystemRoot%\\Temp")},  // not expanded
        {L"List", Ports::kREG_MULTI_SZ, ToUtf16Le(std::wstring_view(L"one\0two\0", 8), true)},
        {L"Number", Ports::kREG_DWORD, Dword(0x2a)},
        {L"Quad", Ports::kREG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {L"Odd", Ports::kREG_BINARY, {0xde, 0xad, 0xbe}},
        {L"Empty", Ports::kREG_BINARY, {}},
        {L"Untyped", Ports::kREG_NONE, {0x00, 0xff}},
    };
    for (const auto& c : cases) backend->SetValue(kRoot, c.name, c.type, c.data);

    const auto key = OpenOrFail(backend->Registry(), kRoot);
    ASSERT_TRUE(key);
    for (const auto& c : cases) {
        SCOPED_TRACE(NarrowUtf8(c.name));
        const Read read = ReadValue(*key, c.name);
        EXPECT_EQ(read.result, kERROR_SUCCESS);
        EXPECT_EQ(read.type, c.type);
        EXPECT_EQ(read.data, c.data);
    }
}

TEST_P(RegistryContract, TooSmallBufferGivesMoreDataWithTheNeededSize) {
    const Bytes text = Sz(std::wstring(300, L'x'));
    backend->SetValue(kRoot, L"Long", Ports::kREG_SZ, text);
    const auto key = OpenOrFail(backend->Registry(), kRoot);
    ASSERT_TRUE(key);

    for (const std::uint32_t bufferBytes : {0u, 260u * 2, 601u}) {
        SCOPED_TRACE(bufferBytes);
        std::vector<std::uint8_t> buffer(bufferBytes + 1);
        std::uint32_t type = 0;
        std::uint32_t size = bufferBytes;
        EXPECT_EQ(key->QueryValue(L"Long", &type, buffer.data(), &size), kERROR_MORE_DATA);
        EXPECT_EQ(size, text.size());
        EXPECT_EQ(type, Ports::kREG_SZ);  // filled in even so
    }
    std::vector<std::uint8_t> buffer(1000);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    EXPECT_EQ(key->QueryValue(L"Long", nullptr, buffer.data(), &size), kERROR_SUCCESS);
    EXPECT_EQ(size, text.size());  // the bytes copied, not the buffer's size
}

TEST_P(RegistryContract, QueryOutputsAreEachOptional) {
    backend->SetValue(kRoot, L"Number", Ports::kREG_DWORD, Dword(7));
    const auto key = OpenOrFail(backend->Registry(), kRoot);
    ASSERT_TRUE(key);

    std::uint32_t type = 0;
    EXPECT_EQ(key->QueryValue(L"Number", &type, nullptr, nullptr), kERROR_SUCCESS);
    EXPECT_EQ(type, Ports::kREG_DWORD);
    EXPECT_EQ(key->QueryValue(L"Number", nullptr, nullptr, nullptr), kERROR_SUCCESS);  // it exists
    std::uint8_t data[4] = {};
    EXPECT_EQ(key->QueryValue(L"Number", nullptr, data, nullptr), kERROR_INVALID_PARAMETER);  // data needs a size
}

TEST_P(RegistryContract, MissingKeysAndValuesAreFileNotFound) {
    backend->SetValue(kRoot + std::wstring(L"\\Present"), L"Value", Ports::kREG_DWORD, Dword(1));
    auto& registry = backend->Registry();

    for (const auto* path : {L"Software\\ArvekContractTest\\Absent", L"Software\\ArvekContractTest\\Absent\\Deeper",
                             L"Software\\ArvekContractTest\\Present\\Absent"}) {
        SCOPED_TRACE(NarrowUtf8(path));
        std::unique_ptr<Ports::IRegistryKey> key;
        EXPECT_EQ(registry.OpenKey(RegistryRoot::LocalMachine, path, Ports::kKEY_READ, key), kERROR_FILE_NOT_FOUND);
    }
    const auto key = OpenOrFail(registry, kRoot + std::wstring(L"\\Present"));
    ASSERT_TRUE(key);
    std::uint32_t size = 0;
    for (const auto* name : {L"Absent", L"", L"Value2"}) {
        SCOPED_TRACE(NarrowUtf8(name));
        EXPECT_EQ(key->QueryValue(name, nullptr, nullptr, &size), kERROR_FILE_NOT_FOUND);
    }
    std::unique_ptr<Ports::IRegistryKey> sub;
    EXPECT_EQ(key->OpenSubKey(L"Absent", Ports::kKEY_READ, sub), kERROR_FILE_NOT_FOUND);
}

TEST_P(RegistryContract, KeyAndValueNamesIgnoreCase) {
    // Latin-1 letters too: U+00C4 and U+00E4 are the upper and lower A with diaeresis.
    backend->SetValue(kRoot + std::wstring(L"\\MixedCase\\\u00C4rger"), L"LogLevel", Ports::kREG_DWORD, Dword(5));
    const auto key = OpenOrFail(backend->Registry(), L"SOFTWARE\\arvekcontracttest\\mixedCASE\\\u00E4RGER");
    ASSERT_TRUE(key);
    for (const auto* name : {L"LogLevel", L"LOGLEVEL", L"loglevel"}) {
        SCOPED_TRACE(NarrowUtf8(name));
        EXPECT_EQ(ReadDword(*key, name), 5u);
    }
}

TEST_P(RegistryContract, SubKeysOpenRelativeToAnOpenKey) {
    backend->SetValue(kRoot + std::wstring(L"\\Policy\\Child\\Grand"), L"Depth", Ports::kREG_DWORD, Dword(3));
    const auto root = OpenOrFail(backend->Registry(), kRoot);
    ASSERT_TRUE(root);

    std::unique_ptr<Ports::IRegistryKey> child, grand, again;
    ASSERT_EQ(root->OpenSubKey(L"policy\\CHILD", Ports::kKEY_READ, child), kERROR_SUCCESS);
    ASSERT_EQ(child->OpenSubKey(L"Grand", Ports::kKEY_READ, grand), kERROR_SUCCESS);
    EXPECT_EQ(ReadDword(*grand, L"Depth"), 3u);
    // An empty path opens the same key again.
    ASSERT_EQ(grand->OpenSubKey(L"", Ports::kKEY_READ, again), kERROR_SUCCESS);
    EXPECT_EQ(ReadDword(*again, L"Depth"), 3u);
}

TEST_P(RegistryContract, ThirtyTwoBitViewIsSeparateUnderWow6432Node) {
    backend->SetValue(kRoot, L"Bits", Ports::kREG_DWORD, Dword(64));
    backend->SetValue(kRoot, L"Bits", Ports::kREG_DWORD, Dword(32), /*view32=*/true);
    backend->SetValue(kRoot + std::wstring(L"\\Only32"), L"Bits", Ports::kREG_DWORD, Dword(32), true);
    auto& registry = backend->Registry();
    const std::wstring native(kRoot);

    const struct {
        const std::wstring& path;
        std::uint32_t view;
        std::uint32_t bits;
    } cases[] = {
        {native, 0, 64},
        {native, Ports::kKEY_WOW64_64KEY, 64},
        {native, Ports::kKEY_WOW64_32KEY, 32},
        {kWow64RootPath, 0, 32},
        {kWow64RootPath, Ports::kKEY_WOW64_32KEY, 32},  // not redirected twice
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(NarrowUtf8(c.path) + " view " + std::to_string(c.view));
        const auto key = OpenOrFail(registry, c.path, Ports::kKEY_READ | c.view);
        if (key) {
            EXPECT_EQ(ReadDword(*key, L"Bits"), c.bits);
        }
    }
    EXPECT_EQ(OpenResult(registry, native + L"\\Only32"), kERROR_FILE_NOT_FOUND);
    const auto only32 = OpenOrFail(registry, native + L"\\Only32", Ports::kKEY_READ | Ports::kKEY_WOW64_32KEY);
    if (only32) {
        EXPECT_EQ(ReadDword(*only32, L"Bits"), 32u);
    }
}

TEST_P(RegistryContract, KeyOpenAcrossItsDeletionReportsKeyDeleted) {
    backend->SetValue(kRoot + std::wstring(L"\\Doomed"), L"Value", Ports::kREG_DWORD, Dword(1));
    const auto key = OpenOrFail(backend->Registry(), kRoot + std::wstring(L"\\Doomed"));
    ASSERT_TRUE(key);
    backend->DeleteTree(kRoot);

    std::uint32_t size = 0;
    EXPECT_EQ(key->QueryValue(L"Value", nullptr, nullptr, &size), kERROR_KEY_DELETED);
    // Even once a key of the same name exists again: the handle names the old one.
    backend->SetValue(kRoot + std::wstring(L"\\Doomed"), L"Value", Ports::kREG_DWORD, Dword(2));
    EXPECT_EQ(key->QueryValue(L"Value", nullptr, nullptr, &size), kERROR_KEY_DELETED);
}

}  // namespace Arvek::Testing
