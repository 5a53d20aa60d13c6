#include "standin/tolm_answers.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "common/strings.h"

namespace Arvek::Standin {
namespace {

// The text before a " #" comment, trimmed.
std::string_view WithoutComment(std::string_view s) {
    if (const auto hash = s.find(" #"); hash != std::string_view::npos) s = s.substr(0, hash);
    if (const auto hash = s.find("\t#"); hash != std::string_view::npos) s = s.substr(0, hash);
    return TrimSpaces(s);
}

// The first word and the trimmed rest.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view s) {
    s = TrimSpaces(s);
    const auto end = s.find_first_of(" \t");
    if (end == std::string_view::npos) return {s, {}};
    return {s.substr(0, end), TrimSpaces(s.substr(end))};
}

// Decimal or 0x hexadecimal, unsigned, the whole text.
bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc{} && end == text.data() + text.size();
}

bool IsCommandChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
}

bool IsMarkerChar(char c) { return IsCommandChar(c) && c != '.'; }

class Parser {
public:
    Parser(const std::string& fileName, const std::filesystem::path& baseFolder)
        : m_fileName(fileName), m_baseFolder(baseFolder) {}

    [[noreturn]] void Fail(int line, const std::string& what) const {
        throw TolmAnswersError(m_fileName + ":" + std::to_string(line) + ": " + what);
    }

    HRESULT ParseFailure(std::string_view text, int line) const {
        std::uint64_t bits = 0;
        if (!ParseUnsigned(text, bits) || bits > 0xFFFFFFFFu || Succeeded(MakeHr(static_cast<std::uint32_t>(bits))))
            Fail(line, "fails needs a failing HRESULT (0x80000000 to 0xFFFFFFFF): " + std::string(text));
        return MakeHr(static_cast<std::uint32_t>(bits));
    }

    // "works" or "fails 0x...".
    HRESULT ParseCreation(std::string_view value, int line) const {
        const auto [kind, rest] = SplitWord(WithoutComment(value));
        if (kind == "works" && rest.empty()) return kS_OK;
        if (kind == "fails") return ParseFailure(rest, line);
        Fail(line, "expected \"works\" or \"fails 0xHRESULT\": " + std::string(value));
    }

    // "Name" or "Name(N)" with N from 0 to 255.
    std::wstring ParseKey(std::string_view name, int line) const {
        std::string_view command = name;
        std::string argument;
        if (const auto open = name.find('('); open != std::string_view::npos) {
            if (name.back() != ')') Fail(line, "expected Name(ARGUMENT): " + std::string(name));
            command = name.substr(0, open);
            std::uint64_t value = 0;
            const std::string_view digits = name.substr(open + 1, name.size() - open - 2);
            if (!ParseUnsigned(digits, value) || value > 255)
                Fail(line, "the argument is a port number from 0 to 255: " + std::string(name));
            argument = "(" + std::to_string(value) + ")";
        }
        if (command.empty()) Fail(line, "expected a command name before \"=\"");
        for (const char c : command)
            if (!IsCommandChar(c)) Fail(line, "not a command name: " + std::string(command));
        return WidenUtf8(std::string(command) + argument);
    }

    // The text after "string": quoted with escapes, or bare up to a comment.
    std::wstring ParseString(std::string_view text, int line) const {
        text = TrimSpaces(text);
        if (text.empty() || text[0] != '"') return WidenUtf8(WithoutComment(text));
        std::string out;
        std::size_t i = 1;
        for (; i < text.size() && text[i] != '"'; ++i) {
            if (text[i] != '\\') {
                out.push_back(text[i]);
                continue;
            }
            if (++i == text.size()) break;
            switch (text[i]) {
                case '"': out.push_back('"'); break;
                case '\\': out.push_back('\\'); break;
                case 'n': out.push_back('\n'); break;
                case 'r': out.push_back('\r'); break;
                case 't': out.push_back('\t'); break;
                case 'u': {
                    const std::string_view hex = text.substr(i + 1, 4);
                    std::uint64_t cp = 0;
                    if (hex.size() != 4 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos ||
                        !ParseUnsigned("0x" + std::string(hex), cp))
                        Fail(line, "\\u needs four hexadecimal digits");
                    out += NarrowUtf8(std::wstring(1, static_cast<wchar_t>(cp)));
                    i += 4;
                    break;
                }
                default: Fail(line, std::string("unknown escape \\") + text[i]);
            }
        }
        if (i >= text.size()) Fail(line, "the quoted string is not closed");
        const std::string_view after = TrimSpaces(text.substr(i + 1));
        if (!after.empty() && after[0] != '#') Fail(line, "text after the quoted string: " + std::string(after));
        return WidenUtf8(out);
    }

    std::wstring ReadTextFile(std::string_view name, int line) const {
        if (name.empty()) Fail(line, "xml-file needs a file name");
        const std::filesystem::path path = m_baseFolder / std::filesystem::path(std::string(name));
        // A regular file of at most 16 MiB: a device or a huge file named by
        // mistake must not take the reader down.
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) Fail(line, "cannot read " + path.string());
        if (std::filesystem::file_size(path, error) > (16u << 20) || error)
            Fail(line, path.string() + " is too large (more than 16 MiB)");
        std::ifstream in(path, std::ios::binary);
        if (!in) Fail(line, "cannot read " + path.string());
        std::ostringstream bytes;
        bytes << in.rdbuf();
        std::string text = bytes.str();
        if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
        return WidenUtf8(text);
    }

    TolmReply ParseReply(std::string_view value, int line) const {
        const auto [kind, rest] = SplitWord(value);
        TolmReply reply;
        if (kind == "string") {
            reply.value = Variant::Bstr(ParseString(rest, line));
        } else if (kind == "bool") {
            const std::string_view word = WithoutComment(rest);
            if (word != "true" && word != "false") Fail(line, "bool is \"true\" or \"false\": " + std::string(word));
            reply.value = Variant::Bool(word == "true");
        } else if (kind == "i4") {
            std::string_view number = WithoutComment(rest);
            const bool negative = !number.empty() && number[0] == '-';
            if (negative) number.remove_prefix(1);
            std::uint64_t bits = 0;
            if (!ParseUnsigned(number, bits) || bits > (negative ? 0x80000000u : 0xFFFFFFFFu))
                Fail(line, "i4 needs a 32-bit integer: " + std::string(WithoutComment(rest)));
            reply.value = Variant::Raw(kVT_I4, negative ? (0x100000000u - bits) & 0xFFFFFFFFu : bits);
        } else if (kind == "raw") {
            const auto [tag, payload] = SplitWord(WithoutComment(rest));
            std::uint64_t vt = 0, bits = 0;
            if (!ParseUnsigned(tag, vt) || vt > 0xFFFF || !ParseUnsigned(payload, bits))
                Fail(line, "raw needs a 16-bit type tag and a 64-bit payload: " + std::string(rest));
            reply.value = Variant::Raw(static_cast<std::uint16_t>(vt), bits);
        } else if (kind == "fails") {
            reply.hr = ParseFailure(WithoutComment(rest), line);
        } else if (kind == "xml-file") {
            reply.value = Variant::Bstr(ReadTextFile(WithoutComment(rest), line));
        } else {
            Fail(line, "unknown answer \"" + std::string(kind) +
                           "\" (string, bool, i4, raw, fails, xml-file or text <<MARKER)");
        }
        return reply;
    }

    TolmAnswers Parse(const std::string& text, int firstLine) const {
        TolmAnswers answers;
        std::vector<std::string> lines;
        {
            std::istringstream in(text);
            for (std::string raw; std::getline(in, raw);) lines.push_back(raw);
        }
        std::map<std::wstring, int> answeredAt;
        for (std::size_t index = 0; index < lines.size(); ++index) {
            const int line = firstLine + static_cast<int>(index);
            const std::string_view trimmed = TrimSpaces(lines[index]);
            if (trimmed.empty() || trimmed[0] == '#') continue;
            const auto eq = trimmed.find('=');
            if (eq == std::string_view::npos) Fail(line, "expected NAME = ANSWER: " + std::string(trimmed));
            const std::string_view name = TrimSpaces(trimmed.substr(0, eq));
            const std::string_view value = TrimSpaces(trimmed.substr(eq + 1));

            if (name == "component") {
                const std::string_view word = WithoutComment(value);
                if (word != "absent" && word != "present")
                    Fail(line, "component is \"absent\" or \"present\": " + std::string(word));
                answers.createCommand = answers.createNotification =
                    word == "absent" ? kREGDB_E_CLASSNOTREG : kS_OK;
                continue;
            }
            if (name == "create-command" || name == "create-notification") {
                (name == "create-command" ? answers.createCommand : answers.createNotification) =
                    ParseCreation(value, line);
                continue;
            }

            const std::wstring key = ParseKey(name, line);
            if (const auto earlier = answeredAt.find(key); earlier != answeredAt.end())
                Fail(line, std::string(name) + " is already answered on line " + std::to_string(earlier->second));
            answeredAt.emplace(key, line);

            const std::string marker = TextBlockMarker(lines[index]);
            if (!marker.empty()) {
                std::string block;
                std::size_t end = index + 1;
                for (; end < lines.size() && TrimSpaces(lines[end]) != marker; ++end) {
                    if (end > index + 1) block += '\n';
                    block += lines[end];
                }
                if (end == lines.size()) Fail(line, "the text is not closed by a line \"" + marker + "\"");
                answers.replies[key] = {kS_OK, Variant::Bstr(WidenUtf8(block))};
                index = end;
                continue;
            }
            if (SplitWord(value).first == "text") Fail(line, "expected text <<MARKER: " + std::string(value));
            answers.replies[key] = ParseReply(value, line);
        }
        return answers;
    }

private:
    std::string m_fileName;
    std::filesystem::path m_baseFolder;
};

}  // namespace

TolmReply TolmAnswers::Reply(const std::wstring& command, const Variant* argument) const {
    if (argument) {
        const auto it = replies.find(command + L"(" + std::to_wstring(argument->LowByte()) + L")");
        if (it != replies.end()) return it->second;
    }
    const auto it = replies.find(command);
    if (it != replies.end()) return it->second;
    return {kE_INVALID_COMMAND, {}};
}

TolmAnswers ParseTolmAnswers(const std::string& text, const std::string& fileName, int firstLine,
                             const std::filesystem::path& baseFolder) {
    return Parser(fileName, baseFolder).Parse(text, firstLine);
}

Variant ParseAnswerValue(std::string_view text, const std::string& fileName, int line) {
    const std::string_view kind = SplitWord(text).first;
    if (kind != "string" && kind != "bool" && kind != "i4" && kind != "raw")
        throw TolmAnswersError(fileName + ":" + std::to_string(line) + ": unknown value \"" + std::string(kind) +
                               "\" (string, bool, i4 or raw)");
    return Parser(fileName, ".").ParseReply(text, line).value;
}

void TolmAnswerChange::ApplyTo(TolmAnswers& answers) const {
    if (createCommand) answers.createCommand = *createCommand;
    if (createNotification) answers.createNotification = *createNotification;
    if (reply) answers.replies[reply->first] = reply->second;
}

TolmAnswerChange ParseTolmAnswerChange(const std::string& text, const std::string& fileName, int firstLine,
                                       const std::filesystem::path& baseFolder) {
    const TolmAnswers parsed = Parser(fileName, baseFolder).Parse(text, firstLine);
    std::string firstLineText = text.substr(0, text.find('\n'));
    const std::string_view trimmed = TrimSpaces(firstLineText);
    const std::string_view name = TrimSpaces(trimmed.substr(0, trimmed.find('=')));
    TolmAnswerChange change;
    if (name == "component" || name == "create-command") change.createCommand = parsed.createCommand;
    if (name == "component" || name == "create-notification") change.createNotification = parsed.createNotification;
    if (!parsed.replies.empty()) change.reply = *parsed.replies.begin();
    if (!change.createCommand && !change.createNotification && !change.reply)
        throw TolmAnswersError(fileName + ":" + std::to_string(firstLine) + ": expected NAME = ANSWER");
    return change;
}

std::string TextBlockMarker(const std::string& line) {
    const std::string_view trimmed = TrimSpaces(line);
    const auto eq = trimmed.find('=');
    if (eq == std::string_view::npos || trimmed.starts_with('#')) return {};
    const auto [kind, rest] = SplitWord(trimmed.substr(eq + 1));
    if (kind != "text" || !rest.starts_with("<<")) return {};
    const std::string_view marker = rest.substr(2);
    if (marker.empty()) return {};
    for (const char c : marker)
        if (!IsMarkerChar(c)) return {};
    return std::string(marker);
}

}  // namespace Arvek::Standin
