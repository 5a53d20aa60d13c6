// The numbered lines of the log stress test, and the check of what the
// writers left behind. Shared by the writer program (log_stress_writer) and
// the tests that run it, natively and under Wine.
//
// A message: "W<writer> <stream> <seq> <padding> #<checksum>", where the
// stream is 'd' (direct listener) or 'q' (queued listener), the padding's
// length varies with the number, and the checksum covers everything before
// it. A line torn, cut or mixed with another fails the check.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>
#include <string>
#include <vector>

namespace Arvek::Testing::Stress {

inline std::uint32_t Checksum(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
}

inline std::string Message(int writer, char stream, long seq) {
    char head[64];
    std::snprintf(head, sizeof(head), "W%02d %c %07ld ", writer, stream, seq);
    std::string text = head;
    // Lengths vary from 0 to 120 characters, with a non-ASCII one now and then.
    const long length = (seq * 37) % 121;
    for (long i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + (seq + i) % 26));
    if (seq % 5 == 0) text += "\xC3\xA4";  // a-umlaut
    char tail[16];
    std::snprintf(tail, sizeof(tail), " #%08X", Checksum(text));
    return text + tail;
}

struct LineId {
    int writer = 0;
    char stream = 0;
    long seq = 0;
    bool operator<(const LineId& other) const {
        return std::tie(writer, stream, seq) < std::tie(other.writer, other.stream, other.seq);
    }
};

// A whole log line (without its CR LF): "yyyy/mm/dd hh:mm:ss.mmm|tid|level|function|message".
inline std::optional<LineId> ParseLine(const std::string& line) {
    if (line.size() < 24 || line[4] != '/' || line[7] != '/' || line[10] != ' ' || line[13] != ':' ||
        line[16] != ':' || line[19] != '.' || line[23] != '|')
        return std::nullopt;
    std::size_t bar = 23;
    for (int i = 0; i < 3; ++i) {
        bar = line.find('|', bar + 1);
        if (bar == std::string::npos) return std::nullopt;
    }
    const std::string message = line.substr(bar + 1);
    LineId id;
    char stream = 0;
    if (std::sscanf(message.c_str(), "W%2d %c %7ld ", &id.writer, &stream, &id.seq) != 3) return std::nullopt;
    id.stream = stream;
    if (Message(id.writer, id.stream, id.seq) != message) return std::nullopt;
    return id;
}

struct FileReport {
    std::filesystem::path file;
    std::vector<LineId> lines;
};

struct Report {
    std::vector<FileReport> files;
    std::vector<std::string> problems;  // malformed lines and files
    std::map<LineId, int> count;        // how often each line was seen
};

// Reads one log file: an optional UTF-8 byte-order mark, then whole lines
// each ending with CR LF.
inline void ReadLogFile(const std::filesystem::path& file, Report& report) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    FileReport result{file, {}};
    std::size_t at = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) {
            report.problems.push_back(file.filename().string() + ": unterminated last line");
            break;
        }
        const std::string line = bytes.substr(at, end - at);
        if (auto id = ParseLine(line)) {
            result.lines.push_back(*id);
            ++report.count[*id];
        } else {
            report.problems.push_back(file.filename().string() + ": bad line: " + line.substr(0, 200));
        }
        at = end + 2;
    }
    report.files.push_back(std::move(result));
}

// Lines of one stream that are missing or present more than once, as text;
// empty when the stream holds exactly 0..count-1, each once.
inline std::vector<std::string> CheckComplete(const Report& report, int writer, char stream, long count) {
    std::vector<std::string> problems;
    long missing = 0, firstMissing = -1;
    for (long seq = 0; seq < count; ++seq) {
        auto it = report.count.find({writer, stream, seq});
        const int seen = it == report.count.end() ? 0 : it->second;
        if (seen == 0 && missing++ == 0) firstMissing = seq;
        if (seen > 1) problems.push_back("W" + std::to_string(writer) + " " + stream + " " + std::to_string(seq) +
                                         " seen " + std::to_string(seen) + " times");
    }
    if (missing)
        problems.push_back("W" + std::to_string(writer) + " " + stream + ": " + std::to_string(missing) +
                           " lines missing, the first " + std::to_string(firstMissing));
    return problems;
}

// Lines within each file must keep each stream's order.
inline std::vector<std::string> CheckOrderWithinFiles(const Report& report) {
    std::vector<std::string> problems;
    for (const auto& file : report.files) {
        std::map<std::pair<int, char>, long> last;
        for (const auto& id : file.lines) {
            auto [it, fresh] = last.try_emplace({id.writer, id.stream}, id.seq);
            if (!fresh && id.seq <= it->second)
                problems.push_back(file.file.filename().string() + ": W" + std::to_string(id.writer) + " " +
                                   id.stream + " " + std::to_string(id.seq) + " after " + std::to_string(it->second));
            it->second = id.seq;
        }
    }
    return problems;
}

// Reads everything a stress run left: the files the rotations deleted (kept
// in `deleted`), then the kept ones oldest first; the kept ones are also
// read as one more file, to check each stream's order across them. A
// temporary file of a rotation left behind is a problem too.
inline Report CollectRun(const std::filesystem::path& logFolder, const std::string& program,
                         const std::filesystem::path& deleted) {
    namespace fs = std::filesystem;
    Report report;
    for (const auto& entry : fs::directory_iterator(deleted)) ReadLogFile(entry.path(), report);
    Report kept;
    for (unsigned n = 99; n >= 1; --n) {
        char name[128];
        std::snprintf(name, sizeof(name), "%s_%04u.log", program.c_str(), n);
        if (fs::exists(logFolder / name)) ReadLogFile(logFolder / name, kept);
    }
    ReadLogFile(logFolder / (program + ".log"), kept);
    FileReport all{"kept files, oldest first", {}};
    for (auto& file : kept.files) {
        all.lines.insert(all.lines.end(), file.lines.begin(), file.lines.end());
        report.files.push_back(std::move(file));
    }
    report.files.push_back(std::move(all));
    for (auto& problem : kept.problems) report.problems.push_back(std::move(problem));
    for (const auto& [id, count] : kept.count) report.count[id] += count;
    for (const auto& entry : fs::directory_iterator(logFolder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("_log_", 0) == 0) report.problems.push_back("left over: " + name);
    }
    return report;
}

}  // namespace Arvek::Testing::Stress
