// The .reg reader: the forms reg import takes and the bytes it stores for
// them, the encodings, and the refusal (with file and line) of everything
// Windows would skip or refuse. What the registry then holds is in
// registry_sim_test.cpp; the comparison with Wine's reg import in
// tests/reg-corpus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/strings.h"
#include "sim/os/reg_file.h"

namespace {

using namespace Arvek;
using Arvek::Sim::ParseRegText;
using Arvek::Sim::RegFileError;
using Arvek::Sim::RegOperation;
using Bytes = std::basic_string<std::uint8_t>;

const std::string kV4 = "REGEDIT4";
const std::string kV5 = "Windows Registry Editor Version 5.00";

Bytes Sz(std::wstring_view text) { return ToUtf16Le(text, true); }
Bytes Units(std::wstring_view text) { return ToUtf16Le(text, false); }

// The bytes of a UTF-16LE text file with its BOM, as regedit writes it.
std::string Utf16File(std::wstring_view text) {
    const Bytes units = Units(text);
    return "\xFF\xFE" + std::string(units.begin(), units.end());
}

// What one value line (and the lines after it) of a text under one key sets.
RegOperation OneValue(const std::string& header, const std::string& lines) {
    const auto ops = ParseRegText(header + "\n[HKEY_CURRENT_USER\\T]\n" + lines, "v.reg");
    if (ops.size() != 2) throw std::logic_error("expected one value, got " + std::to_string(ops.size() - 1));
    return ops[1];
}

TEST(RegFile, CommentsWhiteSpaceAndContinuationsAsRegImportTakesThem) {
    const struct {
        const char* what;
        std::string lines;
        std::uint32_t type;
        Bytes stored;
    } cases[] = {
        {"a ';' comment after a string", "\"V\"=\"v\" ;note\n", Ports::kREG_SZ, Sz(L"v")},
        {"the same without space", "\"V\"=\"v\";note\n", Ports::kREG_SZ, Sz(L"v")},
        {"';' and '#' inside a string are text", "\"V\"=\"a;b #c\"\n", Ports::kREG_SZ, Sz(L"a;b #c")},
        {"a comment after a dword", "\"V\"=dword:00000001;note\n", Ports::kREG_DWORD, {1, 0, 0, 0}},
        {"spaces after dword:", "\"V\"=dword:  8\t\n", Ports::kREG_DWORD, {8, 0, 0, 0}},
        {"'#' comment lines", "# note\n\"V\"=dword:2\n", Ports::kREG_DWORD, {2, 0, 0, 0}},
        {"white space around the '='", "\t\"V\"  =\t\"x\"  \n", Ports::kREG_SZ, Sz(L"x")},
        {"\"\" names the default value", "\"\"=\"d\"\n", Ports::kREG_SZ, Sz(L"d")},
        {"single digits and spaces after commas", "\"V\"=hex:1, 2,a\n", Ports::kREG_BINARY, {1, 2, 0xa}},
        {"a final comma", "\"V\"=hex:11,22,\n", Ports::kREG_BINARY, {0x11, 0x22}},
        {"a comment after the bytes", "\"V\"=hex:11,22;note\n", Ports::kREG_BINARY, {0x11, 0x22}},
        {"a comment after a final comma", "\"V\"=hex:11,22, ;note\n", Ports::kREG_BINARY, {0x11, 0x22}},
        {"no bytes, a comment", "\"V\"=hex: ;note\n", Ports::kREG_BINARY, {}},
        {"a continuation", "\"V\"=hex:11,\\\n  22\n", Ports::kREG_BINARY, {0x11, 0x22}},
        {"spaces around the backslash and a comment after it", "\"V\"=hex:11,  \\  ;note\n22\n",
         Ports::kREG_BINARY, {0x11, 0x22}},
        {"right after the colon", "\"V\"=hex: \\\n  11,22\n", Ports::kREG_BINARY, {0x11, 0x22}},
        {"blank and ';' lines inside", "\"V\"=hex:11,\\\n\n  \t\n;note\n   ;note\n  22,\\\n33\n", Ports::kREG_BINARY,
         {0x11, 0x22, 0x33}},
        {"a continuation into the end of the text", "\"V\"=hex:11,\\", Ports::kREG_BINARY, {0x11}},
        {"into blank and comment lines at the end", "\"V\"=hex:11,\\\n\n;note\n", Ports::kREG_BINARY, {0x11}},
        {"a continuation that a final comma ends", "\"V\"=hex:11,\\\n  22,\n", Ports::kREG_BINARY, {0x11, 0x22}},
        {"any type number", "\"V\"=hex(ffffffff):01\n", 0xffffffffu, {1}},
        {"a dword given as hex(4) with no bytes", "\"V\"=hex(4):\n", Ports::kREG_DWORD, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto op = OneValue(kV5, c.lines);
        EXPECT_EQ(op.kind, RegOperation::Kind::SetValue);
        EXPECT_EQ(op.type, c.type);
        EXPECT_EQ(op.data, c.stored);
    }
    // A value after a continuation is read on its own line.
    const auto ops = ParseRegText(kV5 + "\n[HKEY_CURRENT_USER\\T]\n\"A\"=hex:01,\\\n  02\n\"B\"=- ;gone\n", "v.reg");
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[2].kind, RegOperation::Kind::DeleteValue);
    EXPECT_EQ(ops[2].name, L"B");
    EXPECT_EQ(ops[2].line, 5);
}

TEST(RegFile, StringPayloadsAreWidenedAndTerminatedAsRegImportStoresThem) {
    // REGEDIT4 wrote expandable and multi-strings as Windows-1252 bytes; 5.00
    // writes the UTF-16LE bytes the registry holds. Either gets one NUL unit
    // when its text does not end in one. hex(1) and binary data stay as written.
    const struct {
        const std::string& header;
        std::string value;
        Bytes stored;
    } cases[] = {
        {kV4, "hex(2):25,54,25,00", Sz(L"%T%")},
        {kV4, "hex(2):25,54,25", Sz(L"%T%")},
        {kV4, "hex(7):e4,00,80,00,00", Units(std::wstring_view(L"\u00E4\0\u20AC\0\0", 5))},
        {kV4, "hex(7):4c,69,6e,65", Sz(L"Line")},
        {kV4, "hex(7):4c,69,6e,65,00,00", Units(std::wstring_view(L"Line\0\0", 6))},
        {kV4, "hex(2):00", Units(std::wstring_view(L"\0", 1))},
        {kV4, "hex(2):", {}},
        {kV4, "hex(1):41,42", {0x41, 0x42}},
        {kV4, "hex:e4,80", {0xe4, 0x80}},
        {kV4, "\"plain\"", Sz(L"plain")},
        {kV5, "hex(2):25,00,54,00,25,00,00,00", Sz(L"%T%")},
        {kV5, "hex(2):25,00,54,00,25,00", Sz(L"%T%")},
        {kV5, "hex(7):4c,00,00,00,00,00", Units(std::wstring_view(L"L\0\0", 3))},
        {kV5, "hex(7):4c,00,00,00,4d,00", Units(std::wstring_view(L"L\0M\0", 4))},
        {kV5, "hex(7):e4,00,00,00", {0xe4, 0, 0, 0}},
        {kV5, "hex(7):", {}},
        {kV5, "hex(1):74,00,72,00,75,00,65,00", Units(L"true")},
        {kV5, "hex(0):41,00", {0x41, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header + " " + c.value);
        EXPECT_EQ(OneValue(c.header, "\"V\"=" + c.value + "\n").data, c.stored);
    }
}

TEST(RegFile, ReadsUtf16Utf8AndAnsiTextsWithAnyLineEnds) {
    const std::wstring text = L"  Windows Registry Editor Version 5.00\r\n\r\n"
                              L"[HKEY_LOCAL_MACHINE\\Software\\Gr\u00F6\u00DFe]\r\n"
                              L"\"Ma\u00DF\"=\"Gr\u00FC\u00DFe \u20AC\"\r\n";
    std::string cp1252;
    for (const wchar_t c : text) cp1252.push_back(c == L'\u20AC' ? '\x80' : static_cast<char>(c));
    std::string crOnly = NarrowUtf8(text);
    std::erase(crOnly, '\n');
    std::string lfOnly = NarrowUtf8(text);
    std::erase(lfOnly, '\r');
    const struct {
        const char* encoding;
        std::string bytes;
    } cases[] = {
        {"UTF-16LE with BOM", Utf16File(text)},
        {"UTF-8", NarrowUtf8(text)},
        {"Windows-1252", cp1252},
        {"UTF-8 with CR line ends", crOnly},
        {"UTF-8 with LF line ends", lfOnly},
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
    // A UTF-16 text keeps its units as they are, a lone surrogate too.
    const auto ops = ParseRegText(Utf16File(L"REGEDIT4\n[HKCU\\T]\n\"V\"=\"a\xD800\"\n"), "u.reg");
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[1].data, (Bytes{0x61, 0, 0x00, 0xD8, 0, 0}));
}

TEST(RegFile, KeyLinesNameTheKeyAsRegImportDoes) {
    const struct {
        std::string line;
        RegOperation::Kind kind;
        Ports::RegistryRoot root;
        std::wstring path;
    } cases[] = {
        {"[HKEY_CURRENT_USER\\A\\B]", RegOperation::Kind::CreateKey, Ports::RegistryRoot::CurrentUser, L"A\\B"},
        {"[hkey_local_machine\\A]", RegOperation::Kind::CreateKey, Ports::RegistryRoot::LocalMachine, L"A"},
        {"[HKCU\\A\\]", RegOperation::Kind::CreateKey, Ports::RegistryRoot::CurrentUser, L"A"},
        {"[HKCU\\A\\\\\\\\]", RegOperation::Kind::CreateKey, Ports::RegistryRoot::CurrentUser, L"A"},
        {"[-HKCU\\A\\]", RegOperation::Kind::DeleteKey, Ports::RegistryRoot::CurrentUser, L"A"},
        {"[HKCU\\A ]", RegOperation::Kind::CreateKey, Ports::RegistryRoot::CurrentUser, L"A "},
        {"[HKCU\\A]B]  ", RegOperation::Kind::CreateKey, Ports::RegistryRoot::CurrentUser, L"A]B"},
        {"\t [HKCR\\.a;b]", RegOperation::Kind::CreateKey, Ports::RegistryRoot::ClassesRoot, L".a;b"},
        {"[HKEY_USERS\\]", RegOperation::Kind::CreateKey, Ports::RegistryRoot::Users, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto ops = ParseRegText(kV4 + "\n" + c.line + "\n", "k.reg");
        ASSERT_EQ(ops.size(), 1u);
        EXPECT_EQ(ops[0].kind, c.kind);
        EXPECT_EQ(ops[0].root, c.root);
        EXPECT_EQ(ops[0].path, c.path);
    }
}

TEST(RegFile, MalformedTextsNameTheFileAndLine) {
    const std::string key = kV5 + "\n[HKLM\\Software\\X]\n";
    const struct {
        std::string text;
        int line;
        std::string error;
        int firstLine = 1;
    } cases[] = {
        // The header, which Windows wants on the very first line, as it is.
        {"REGEDIT5\n", 1, "not a .reg text"},
        {"regedit4\n", 1, "not a .reg text"},
        {"\n" + kV5 + "\n", 1, "a blank line before the header"},
        {"; a comment\n" + kV5 + "\n", 1, "not a .reg text"},
        {kV5 + " \n", 1, "white space after the header"},
        {"", 1, "no header"},
        {"\n \n", 1, "no header"},
        // The encodings.
        {Utf16File(L"REGEDIT4\r\n") + "x", 2, "UTF-16 text ends in half a character"},
        {"\xEF\xBB\xBF" + key, 1, "a UTF-8 byte order mark"},
        {key + "\"A\"=\"a" + std::string(1, '\0') + "b\"\n", 3, "a NUL character"},
        // Lines.
        {kV5 + "\n\"A\"=dword:1\n", 2, "value line before any key line"},
        {kV5 + "\njunk\n", 2, "unexpected text \"junk\""},
        {kV5 + "\n[HKEY_CURRENT_CONFIG\\X]\n", 2, "unknown root key \"HKEY_CURRENT_CONFIG\""},
        {kV5 + "\n[ HKLM\\X]\n", 2, "unknown root key \" HKLM\""},
        {kV5 + "\n[HKLM\\X\n", 2, "key line without closing ']'"},
        {kV5 + "\n[HKLM\\X] ;note\n", 2, "unexpected text after the key name"},
        {kV5 + "\n[HKLM\\A\\\\B]\n", 2, "empty key name"},
        {kV5 + "\n[-HKEY_LOCAL_MACHINE\\]\n", 2, "a root key cannot be deleted"},
        {kV5 + "\n[-HKLM\\X]\n\"A\"=dword:1\n", 3, "value line under a key being deleted"},
        // Names and strings.
        {key + "\"A\"=\"abc\n", 3, "unterminated string"},
        {key + "\"A\"=\"C:\\Temp\"\n", 3, "bad escape sequence \"\\T\""},
        {key + "\"A\"=\"\\0\"\n", 3, "bad escape sequence \"\\0\""},
        {key + "\"A\"=\"b\" \"c\"\n", 3, "unexpected text after the string"},
        {key + "\"A\"=\"b\" #note\n", 3, "a '#' comment after the string"},
        {key + "\"A\" \"b\"\n", 3, "expected '=' after the value name"},
        {key + "\"A\"=-\"b\"\n", 3, "unexpected text after '-'"},
        {key + "\"A\"=\n", 3, "bad value data"},
        {key + "\"A\"=word:1\n", 3, "bad value data"},
        {key + "\"A\"=DWORD:1\n", 3, "bad value data"},
        {key + "\"A\"=HEX:01\n", 3, "bad value data"},
        // Dwords.
        {key + "\"A\"=dword:xyz\n", 3, "bad dword value \"dword:xyz\""},
        {key + "\"A\"=dword:000000001\n", 3, "bad dword value"},
        {key + "\"A\"=dword:\n", 3, "bad dword value"},
        {key + "\"A\"=dword:0x1\n", 3, "unexpected text after the dword value"},
        {key + "\"A\"=dword:1234 5678\n", 3, "unexpected text after the dword value"},
        {key + "\"A\"=dword:1 #note\n", 3, "a '#' comment after the dword value"},
        // Hex lists and their continuations.
        {key + "\"A\"=hex(zz):00\n", 3, "bad value type"},
        {key + "\"A\"=hex(100000000):00\n", 3, "bad value type"},
        {key + "\"A\"=hex(2)00\n", 3, "expected ':'"},
        {key + "\"A\"=hex:00,,01\n", 3, "bad hex byte \"\""},
        {key + "\"A\"=hex:,01\n", 3, "bad hex byte \"\""},
        {key + "\"A\"=hex:100\n", 3, "bad hex byte \"100\""},
        {key + "\"A\"=hex:00 ,01\n", 3, "unexpected text in hex data \",01\""},
        {key + "\"A\"=hex:00 #note\n", 3, "unexpected text in hex data"},
        {key + "\"A\"=hex:00\\\n  01\n", 3, "a line continuation must follow a comma"},
        {key + "\"A\"=hex:00,\\01\n", 3, "unexpected text after the line continuation \"01\""},
        {key + "\"A\"=hex:00,\\#note\n  01\n", 3, "unexpected text after the line continuation"},
        {key + "\"A\"=hex:00,\\\n  01,0g\n", 4, "bad hex byte \"0g\""},
        {key + "\"A\"=hex:00,\\\n  ,01\n", 4, "the hex data's continuation line does not start with a byte"},
        {key + "\"A\"=hex:00,\\\n  \\\n  01\n", 4, "the hex data's continuation line does not start with a byte"},
        {key + "\"A\"=hex:00,\\\n#note\n  01\n", 4, "the hex data's continuation line does not start with a byte"},
        {key + "\"A\"=hex:00,\\\n\n\"B\"=dword:1\n", 5, "the hex data's continuation line does not start with a byte"},
        {key + "\"A\"=hex:00,\\\n[HKLM\\Y]\n", 4, "the hex data's continuation line does not start with a byte"},
        {key + "\"A\"=hex(2):41,00,\\\n  42\n", 3, "string data of an odd number of bytes"},
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

}  // namespace
