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

bool StartsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view TrimLeft(std::wstring_view text) {
    const auto first = text.find_first_not_of(L" \t");
    return first == std::wstring_view::npos ? std::wstring_view() : text.substr(first);
}

std::wstring_view TrimRight(std::wstring_view text) {
    const auto last = text.find_last_not_of(L" \t");
    return last == std::wstring_view::npos ? std::wstring_view() : text.substr(0, last + 1);
}

// Shows a piece of the input in a message, cut short so that one bad line of
// megabytes of hex does not flood the log.
std::string Quote(std::wstring_view text) {
    constexpr std::size_t kMax = 40;
    const bool cut = text.size() > kMax;
    return "\"" + NarrowUtf8(text.substr(0, kMax)) + (cut ? "...\"" : "\"");
}

std::optional<std::uint32_t> HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return static_cast<std::uint32_t>(c - L'0');
    if (c >= L'a' && c <= L'f') return static_cast<std::uint32_t>(c - L'a' + 10);
    if (c >= L'A' && c <= L'F') return static_cast<std::uint32_t>(c - L'A' + 10);
    return std::nullopt;
}

// 1 to maxDigits hex digits and nothing else.
std::optional<std::uint32_t> ParseHex(std::wstring_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    std::uint32_t value = 0;
    for (const wchar_t c : text) {
        const auto digit = HexDigit(c);
        if (!digit) return std::nullopt;
        value = value << 4 | *digit;
    }
    return value;
}

// The length of the run of hex digits at the start of `text`.
std::size_t HexRun(std::wstring_view text) {
    std::size_t n = 0;
    while (n < text.size() && HexDigit(text[n])) ++n;
    return n;
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

constexpr std::wstring_view kHeader5 = L"Windows Registry Editor Version 5.00";
constexpr std::wstring_view kHeader4 = L"REGEDIT4";

// Reads a whole text the way reg import does. Where Windows would skip a
// malformed line and import the rest, the whole text is refused instead, with
// the line: a scenario must not lose a policy value without a word.
class Parser {
public:
    Parser(std::string_view bytes, const std::string& file, int firstLine) : m_file(file), m_firstLine(firstLine) {
        m_text = Decode(bytes);
        // CR LF, LF and a lone CR all end a line.
        for (std::size_t start = 0;;) {
            const auto end = std::min(m_text.find_first_of(L"\r\n", start), m_text.size());
            m_lines.emplace_back(m_text.data() + start, end - start);
            if (end == m_text.size()) break;
            start = end + (m_text.compare(end, 2, L"\r\n") == 0 ? 2 : 1);
        }
        if (m_halfUnit) {
            m_index = m_lines.size() - 1;
            Fail("UTF-16 text ends in half a character");
        }
        for (m_index = 0; m_index < m_lines.size(); ++m_index)
            if (m_lines[m_index].find(L'\0') != std::wstring_view::npos)
                Fail("a NUL character in the text");
    }

    std::vector<RegOperation> Run() {
        Header();
        for (m_index = 1; m_index < m_lines.size(); ++m_index) {
            const auto line = TrimLeft(m_lines[m_index]);
            if (line.empty() || line.front() == L';' || line.front() == L'#') continue;
            if (line.front() == L'[') {
                Key(line);
            } else if (line.front() == L'"' || line.front() == L'@') {
                Value(line);
            } else {
                Fail("unexpected text " + Quote(line));
            }
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
            m_halfUnit = bytes.size() % 2 != 0;
            return out;
        }
        if (StartsWith(bytes, "\xEF\xBB\xBF"))
            Fail("a UTF-8 byte order mark, with which Windows does not take the text for a .reg file: "
                 "save it as UTF-16LE (\"Unicode\") or as UTF-8 without the mark");
        // Valid UTF-8 is exactly what converts back unchanged.
        std::wstring text = WidenUtf8(bytes);
        if (NarrowUtf8(text) == bytes) return text;
        // Text that is not UTF-8 is the ANSI text of an older tool.
        return WidenCp1252(bytes);
    }

    // The first line, before which not even a blank line may stand.
    void Header() {
        m_index = 0;
        const auto line = TrimLeft(m_lines[0]);
        if (line == kHeader5) {
            m_version = Version::Regedit5;
        } else if (line == kHeader4) {
            m_version = Version::Regedit4;
        } else if (std::all_of(m_lines.begin(), m_lines.end(), [](auto l) { return TrimLeft(l).empty(); })) {
            Fail("no header: the text is empty");
        } else if (line.empty()) {
            Fail("a blank line before the header, after which Windows imports nothing");
        } else if (TrimRight(line) == kHeader5 || TrimRight(line) == kHeader4) {
            Fail("white space after the header, after which Windows imports nothing");
        } else {
            Fail("not a .reg text: the first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
        }
    }

    // [ROOT\path] or [-ROOT\path]; the name runs to the last ']' and keeps
    // any white space inside the brackets.
    void Key(std::wstring_view line) {
        line = TrimRight(line);
        const auto close = line.rfind(L']');
        if (close == std::wstring_view::npos) Fail("key line without closing ']'");
        if (close + 1 != line.size()) Fail("unexpected text after the key name " + Quote(line.substr(close + 1)));
        auto inner = line.substr(1, close - 1);
        const bool deleting = !inner.empty() && inner.front() == L'-';
        if (deleting) inner.remove_prefix(1);
        const auto slash = inner.find(L'\\');
        const auto rootName = inner.substr(0, slash);
        const auto root = RootFromName(rootName);
        if (!root) Fail("unknown root key " + Quote(rootName));
        auto path = slash == std::wstring_view::npos ? std::wstring_view() : inner.substr(slash + 1);
        // Backslashes at the end name the key without them.
        while (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
        if (!path.empty() && (path.front() == L'\\' || path.find(L"\\\\") != path.npos))
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
        const auto rest = TrimLeft(line.substr(pos));
        if (rest.empty() || rest.front() != L'=') Fail("expected '=' after the value name");
        const auto data = TrimLeft(rest.substr(1));

        auto& op = Push(RegOperation::Kind::SetValue);
        op.name = name;
        if (!data.empty() && data.front() == L'-') {
            op.kind = RegOperation::Kind::DeleteValue;
            EndOfData(data.substr(1), "after '-'");
        } else if (!data.empty() && data.front() == L'"') {
            std::size_t end = 1;
            const auto text = Quoted(data, end);
            EndOfData(data.substr(end), "after the string");
            // Stored with its terminating NUL, as regedit imports it.
            op.type = Ports::kREG_SZ;
            op.data = ToUtf16Le(text, true);
        } else if (StartsWith(data, L"dword:")) {
            const auto digits = TrimLeft(data.substr(6));
            const auto count = HexRun(digits);
            if (count == 0 || count > 8) Fail("bad dword value " + Quote(data));
            EndOfData(digits.substr(count), "after the dword value");
            const auto number = *ParseHex(digits.substr(0, count), 8);
            op.type = Ports::kREG_DWORD;
            for (int shift = 0; shift < 32; shift += 8) op.data.push_back(static_cast<std::uint8_t>(number >> shift));
        } else if (StartsWith(data, L"hex")) {
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
            if (op.type == Ports::kREG_EXPAND_SZ || op.type == Ports::kREG_MULTI_SZ) TerminateText(op);
        } else {
            Fail("bad value data " + Quote(data));
        }
    }

    // After the data only white space and a ';' comment may follow.
    void EndOfData(std::wstring_view rest, const std::string& where) const {
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() == L';') return;
        if (rest.front() == L'#')
            Fail("a '#' comment " + where + ": Windows takes only ';' comments there and drops the value");
        Fail("unexpected text " + where + " " + Quote(rest));
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

    // Comma-separated bytes of one or two hex digits. A backslash after a
    // comma (or right after the colon) continues the list on the next line
    // that is neither blank nor a ';' comment; at the end of the text it ends
    // the list. A final comma is allowed, a backslash anywhere else is not.
    Bytes HexList(std::wstring_view text) {
        Bytes out;
        std::size_t pos = 0;
        bool lineStart = false;  // at the start of a continuation line
        for (;;) {
            while (pos < text.size() && IsBlank(text[pos])) ++pos;
            if (pos == text.size() || text[pos] == L';') return out;  // after ':' or ','
            if (text[pos] == L'\\' && !lineStart) {
                const auto after = TrimLeft(text.substr(pos + 1));
                if (!after.empty() && after.front() != L';')
                    Fail("unexpected text after the line continuation " + Quote(after));
                if (!NextDataLine(text)) return out;
                pos = 0;
                lineStart = true;
                continue;
            }
            const auto rest = text.substr(pos);
            const auto count = HexRun(rest);
            if (lineStart && count == 0)
                Fail("the hex data's continuation line does not start with a byte: " + Quote(rest));
            lineStart = false;
            const auto token = rest.substr(0, std::min(rest.find_first_of(L", \t;\\"), rest.size()));
            const auto byte = count == token.size() ? ParseHex(token, 2) : std::nullopt;
            if (!byte) Fail("bad hex byte " + Quote(token));
            out.push_back(static_cast<std::uint8_t>(*byte));
            pos += token.size();
            if (pos < text.size() && text[pos] == L',') {
                ++pos;
                continue;
            }
            if (pos < text.size() && text[pos] == L'\\') Fail("a line continuation must follow a comma, not a byte");
            const auto after = TrimLeft(text.substr(pos));
            if (!after.empty() && after.front() != L';') Fail("unexpected text in hex data " + Quote(after));
            return out;
        }
    }

    // Moves to the next line that holds data; false at the end of the text.
    bool NextDataLine(std::wstring_view& text) {
        while (++m_index < m_lines.size()) {
            const auto line = TrimLeft(m_lines[m_index]);
            if (line.empty() || line.front() == L';') continue;
            text = line;
            return true;
        }
        --m_index;
        return false;
    }

    // Expandable and multi-strings: REGEDIT4 wrote them as Windows-1252 bytes,
    // version 5.00 as the UTF-16LE the registry holds. Either way, text that
    // does not end in a NUL unit gets one, as reg import stores it.
    void TerminateText(RegOperation& op) const {
        if (m_version == Version::Regedit4) {
            std::string_view ansi(reinterpret_cast<const char*>(op.data.data()), op.data.size());
            op.data = ToUtf16Le(WidenCp1252(ansi), false);
        } else if (op.data.size() % 2 != 0) {
            throw RegFileError(m_file, op.line, "string data of an odd number of bytes, which is not UTF-16 text");
        }
        const auto size = op.data.size();
        if (size > 0 && (op.data[size - 2] != 0 || op.data[size - 1] != 0)) op.data.append(2, 0);
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
    bool m_halfUnit = false;  // a UTF-16 text with an odd number of bytes
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
