#include "sim/os/reg_file.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <optional>

#include "common/strings.h"

namespace Arvek::Sim {
namespace {

using Bytes = std::basic_string<std::uint8_t>;
using Ports::RegistryRoot;

// Windows-1252's characters for the bytes 0x80..0x9F; all other bytes are
// their Latin-1 code points. The five unassigned bytes become the C1 controls
// of the same number, as Windows converts them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

wchar_t FromCp1252(std::uint8_t b) {
    return static_cast<wchar_t>(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
}

std::wstring WidenCp1252(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (const char c : bytes) out.push_back(FromCp1252(static_cast<std::uint8_t>(c)));
    return out;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool StartsWithIgnoreCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::wstring_view Trim(std::wstring_view text) {
    const auto first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// Shows a piece of the input in a message, cut short so that one bad line of
// megabytes of hex does not flood the log.
std::string Quote(std::wstring_view text) {
    constexpr std::size_t kMax = 40;
    const bool cut = text.size() > kMax;
    return "\"" + NarrowUtf8(text.substr(0, kMax)) + (cut ? "...\"" : "\"");
}

// 1 to maxDigits hex digits and nothing else.
std::optional<std::uint32_t> ParseHex(std::wstring_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    std::uint32_t value = 0;
    for (const wchar_t c : text) {
        std::uint32_t digit;
        if (c >= L'0' && c <= L'9') digit = static_cast<std::uint32_t>(c - L'0');
        else if (c >= L'a' && c <= L'f') digit = static_cast<std::uint32_t>(c - L'a' + 10);
        else if (c >= L'A' && c <= L'F') digit = static_cast<std::uint32_t>(c - L'A' + 10);
        else return std::nullopt;
        value = value << 4 | digit;
    }
    return value;
}

std::optional<RegistryRoot> RootFromName(std::wstring_view name) {
    struct Alias {
        std::wstring_view name;
        RegistryRoot root;
    };
    static constexpr Alias kRoots[] = {
        {L"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine}, {L"HKLM", RegistryRoot::LocalMachine},
        {L"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},   {L"HKCU", RegistryRoot::CurrentUser},
        {L"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},   {L"HKCR", RegistryRoot::ClassesRoot},
        {L"HKEY_USERS", RegistryRoot::Users},                {L"HKU", RegistryRoot::Users},
    };
    for (const auto& alias : kRoots)
        if (EqualsIgnoreCase(name, alias.name)) return alias.root;
    return std::nullopt;
}

class Parser {
public:
    Parser(std::string_view bytes, const std::string& file, int firstLine) : m_file(file), m_firstLine(firstLine) {
        m_text = Decode(bytes);
        for (std::size_t start = 0; start <= m_text.size();) {
            auto end = m_text.find(L'\n', start);
            if (end == std::wstring::npos) end = m_text.size();
            std::wstring_view line(m_text.data() + start, end - start);
            if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
            m_lines.push_back(line);
            start = end + 1;
        }
    }

    std::vector<RegOperation> Run() {
        for (m_index = 0; m_index < m_lines.size(); ++m_index) {
            const auto line = Trim(m_lines[m_index]);
            if (line.empty()) continue;
            if (!m_version) {
                Header(line);
            } else if (line.front() == L';') {
                continue;
            } else if (line.front() == L'[') {
                Key(line);
            } else if (line.front() == L'"' || line.front() == L'@') {
                Value(line);
            } else {
                Fail("unexpected text " + Quote(line));
            }
        }
        if (!m_version) {
            m_index = m_lines.size() - 1;  // there is always one, maybe empty
            Fail("no header: the text is empty");
        }
        return std::move(m_ops);
    }

private:
    enum class Version { Regedit4, Regedit5 };

    // The current key section. Values may follow only a key being created.
    struct Section {
        RegistryRoot root;
        std::wstring path;
        bool deleting;
    };

    [[noreturn]] void Fail(const std::string& message) const {
        throw RegFileError(m_file, m_firstLine + static_cast<int>(m_index), message);
    }

    std::wstring Decode(std::string_view bytes) {
        if (StartsWith(bytes, "\xFF\xFE")) {
            bytes.remove_prefix(2);
            std::wstring out;
            out.reserve(bytes.size() / 2);
            // Units are kept as they are (surrogates too), so that text goes
            // back into the registry byte for byte.
            for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
                out.push_back(static_cast<wchar_t>(static_cast<std::uint8_t>(bytes[i]) |
                                                   static_cast<std::uint8_t>(bytes[i + 1]) << 8));
            if (bytes.size() % 2 != 0) {
                m_index = static_cast<std::size_t>(std::count(out.begin(), out.end(), L'\n'));
                Fail("UTF-16 text ends in half a character");
            }
            return out;
        }
        const bool bom = StartsWith(bytes, "\xEF\xBB\xBF");
        if (bom) bytes.remove_prefix(3);
        // Valid UTF-8 is exactly what converts back unchanged.
        std::wstring text = WidenUtf8(bytes);
        const std::string back = NarrowUtf8(text);
        if (back == bytes) return text;
        // Without a BOM, text that is not UTF-8 is the ANSI text of an older tool.
        if (!bom) return WidenCp1252(bytes);
        const auto bad = std::mismatch(bytes.begin(), bytes.end(), back.begin(), back.end()).first;
        m_index = static_cast<std::size_t>(std::count(bytes.begin(), bad, '\n'));
        Fail("invalid UTF-8 in a text marked as UTF-8");
    }

    void Header(std::wstring_view line) {
        if (line == L"Windows Registry Editor Version 5.00") {
            m_version = Version::Regedit5;
        } else if (line == L"REGEDIT4") {
            m_version = Version::Regedit4;
        } else {
            Fail("not a .reg text: the first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
        }
    }

    void Key(std::wstring_view line) {
        if (line.back() != L']') Fail("key line without closing ']'");
        auto inner = line.substr(1, line.size() - 2);
        const bool deleting = !inner.empty() && inner.front() == L'-';
        if (deleting) inner.remove_prefix(1);
        const auto slash = inner.find(L'\\');
        const auto rootName = inner.substr(0, slash);
        const auto root = RootFromName(rootName);
        if (!root) Fail("unknown root key " + Quote(rootName));
        const auto path = slash == std::wstring_view::npos ? std::wstring_view() : inner.substr(slash + 1);
        if (slash != std::wstring_view::npos &&
            (path.empty() || path.front() == L'\\' || path.back() == L'\\' || path.find(L"\\\\") != path.npos))
            Fail("empty key name in " + Quote(inner));
        if (deleting && path.empty()) Fail("a root key cannot be deleted");
        m_section = Section{*root, std::wstring(path), deleting};
        Push(deleting ? RegOperation::Kind::DeleteKey : RegOperation::Kind::CreateKey);
    }

    void Value(std::wstring_view line) {
        if (!m_section) Fail("value line before any key line");
        if (m_section->deleting) Fail("value line under a key being deleted");
        std::size_t pos = 1;
        const std::wstring name = line.front() == L'@' ? std::wstring() : Quoted(line, pos);
        const auto rest = Trim(line.substr(pos));
        if (rest.empty() || rest.front() != L'=') Fail("expected '=' after the value name");
        const auto data = Trim(rest.substr(1));

        auto& op = Push(RegOperation::Kind::SetValue);
        op.name = name;
        if (data == L"-") {
            op.kind = RegOperation::Kind::DeleteValue;
        } else if (!data.empty() && data.front() == L'"') {
            std::size_t end = 1;
            const auto text = Quoted(data, end);
            if (end != data.size()) Fail("unexpected text after the string " + Quote(data.substr(end)));
            // Stored with its terminating NUL, as regedit imports it.
            op.type = Ports::kREG_SZ;
            op.data = ToUtf16Le(text, true);
        } else if (StartsWithIgnoreCase(data, L"dword:")) {
            const auto number = ParseHex(data.substr(6), 8);
            if (!number) Fail("bad dword value " + Quote(data));
            op.type = Ports::kREG_DWORD;
            for (int shift = 0; shift < 32; shift += 8) op.data.push_back(static_cast<std::uint8_t>(*number >> shift));
        } else if (StartsWithIgnoreCase(data, L"hex")) {
            op.type = Ports::kREG_BINARY;
            auto list = data.substr(3);
            if (!list.empty() && list.front() == L'(') {
                const auto close = list.find(L')');
                const auto type = close == list.npos ? std::nullopt : ParseHex(list.substr(1, close - 1), 8);
                if (!type) Fail("bad value type " + Quote(data));
                op.type = *type;
                list.remove_prefix(close + 1);
            }
            if (list.empty() || list.front() != L':') Fail("expected ':' after " + Quote(data.substr(0, 3)));
            op.data = HexList(list.substr(1));
            // REGEDIT4 wrote these strings as 8-bit ANSI; the registry holds UTF-16LE.
            const bool ansiText = op.type == Ports::kREG_EXPAND_SZ || op.type == Ports::kREG_MULTI_SZ;
            if (m_version == Version::Regedit4 && ansiText) {
                std::string_view ansi(reinterpret_cast<const char*>(op.data.data()), op.data.size());
                op.data = ToUtf16Le(WidenCp1252(ansi), false);
            }
        } else {
            Fail("bad value data " + Quote(data));
        }
    }

    // A quoted string starting at text[pos - 1]; on return pos is just past
    // the closing quote. regedit escapes only the backslash and the quote.
    std::wstring Quoted(std::wstring_view text, std::size_t& pos) const {
        std::wstring out;
        for (; pos < text.size(); ++pos) {
            const wchar_t c = text[pos];
            if (c == L'"') {
                ++pos;
                return out;
            }
            if (c == L'\\') {
                if (++pos == text.size() || (text[pos] != L'\\' && text[pos] != L'"'))
                    Fail("bad escape sequence " + Quote(text.substr(pos - 1, 2)));
            }
            out.push_back(text[pos]);
        }
        Fail("unterminated string");
    }

    // Comma-separated bytes; a line ending in a backslash continues on the next.
    Bytes HexList(std::wstring_view text) {
        Bytes out;
        for (;;) {
            text = Trim(text);
            const bool more = !text.empty() && text.back() == L'\\';
            if (more) text = Trim(text.substr(0, text.size() - 1));
            for (std::size_t pos = 0; pos < text.size();) {
                const auto comma = std::min(text.find(L',', pos), text.size());
                const auto token = Trim(text.substr(pos, comma - pos));
                const auto byte = ParseHex(token, 2);
                if (!byte) Fail("bad hex byte " + Quote(token));
                out.push_back(static_cast<std::uint8_t>(*byte));
                pos = comma + 1;
            }
            if (!more) return out;
            // A continuation into nothing means the text was cut short.
            if (m_index + 1 == m_lines.size()) Fail("hex data continues past the end of the text");
            text = m_lines[++m_index];
            if (Trim(text).empty()) Fail("hex data continues onto an empty line");
        }
    }

    RegOperation& Push(RegOperation::Kind kind) {
        RegOperation op;
        op.kind = kind;
        op.root = m_section->root;
        op.path = m_section->path;
        op.line = m_firstLine + static_cast<int>(m_index);
        return m_ops.emplace_back(std::move(op));
    }

    std::string m_file;
    int m_firstLine;
    std::wstring m_text;
    std::vector<std::wstring_view> m_lines;
    std::size_t m_index = 0;
    std::optional<Version> m_version;  // set by the header line
    std::optional<Section> m_section;
    std::vector<RegOperation> m_ops;
};

}  // namespace

RegFileError::RegFileError(const std::string& file, int line, const std::string& message)
    : std::runtime_error(file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + message),
      m_line(line) {}

std::vector<RegOperation> ParseRegText(std::string_view bytes, const std::string& fileName, int firstLineNumber) {
    return Parser(bytes, fileName, firstLineNumber).Run();
}

std::vector<RegOperation> ReadRegFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) throw RegFileError(path.string(), 0, "cannot open the file");
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return ParseRegText(bytes, path.string());
}

}  // namespace Arvek::Sim
