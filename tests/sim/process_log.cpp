#include "process_log.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>

#include "common/strings.h"
#include "shared/file_listener.h"
#include "shared/log.h"
#include "sim_fixture.h"

namespace Arvek::Testing {
namespace {

constexpr wchar_t kLogFile[] = L"C:\\Users\\user\\AppData\\Roaming\\arqLog\\Tidewatch.log";

SimNotebook* g_logNotebook = nullptr;
std::size_t g_clearedAt = 0;  // bytes of the file at the last ClearProcessLog

class ProcessLogEnvironment : public testing::Environment {
public:
    void SetUp() override {
        // Every level up to Error (Diag would switch the timing lines on),
        // one direct write per record, and a file too large to be rotated
        // during a test run.
        m_notebook = std::make_unique<SimNotebook>(SimNotebook::WithPolicy(
            "", "[HKEY_LOCAL_MACHINE\\Software\\Policies\\Arvek\\Tidewatch Application]\n"
                "\"LoggingType\"=\"FILE\"\n\"MinLogLevel\"=\"TraceIn\"\n\"MaxLogLevel\"=\"Error\"\n"
                "\"MaxLogSize\"=dword:00400000\n"));
        g_logNotebook = m_notebook.get();
        Shared::SetProcessPlatform(m_notebook->machine.Platform());
        Shared::GetLog();
        ClearProcessLog();
    }
    // The process log outlives every test, so its notebook is never
    // destroyed; its host folder is removed now.
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_notebook->folder.Path(), ignored);
        m_notebook.release();
    }

private:
    std::unique_ptr<SimNotebook> m_notebook;
};

[[maybe_unused]] testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new ProcessLogEnvironment);

std::string FileBytes() {
    const auto host = g_logNotebook->machine.Files().HostPath(kLogFile);
    if (!host) return {};
    std::ifstream in(*host, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One line of the file, "2026/12/03 09:08:00.000|00001A2C|Verbose    |Function|Message",
// as "Verbose Function : Message".
std::wstring AsTestLine(std::wstring_view record) {
    std::size_t fields[4];
    std::size_t at = 0;
    for (auto& field : fields) {
        at = record.find(L'|', at);
        if (at == std::wstring_view::npos) return std::wstring(record);
        field = at++;
    }
    std::wstring_view level = record.substr(fields[1] + 1, fields[2] - fields[1] - 1);
    level = level.substr(0, level.find_last_not_of(L' ') + 1);  // the name, padded to 11
    const std::wstring_view function = record.substr(fields[2] + 1, fields[3] - fields[2] - 1);
    return std::wstring(level) + L" " + std::wstring(function) + L" : " + std::wstring(record.substr(fields[3] + 1));
}

}  // namespace

std::vector<std::wstring> ProcessLogLines() {
    const std::string bytes = FileBytes();
    const std::wstring text = WidenUtf8(bytes.substr(std::min(g_clearedAt, bytes.size())));
    // Records end with CR LF; a message may hold line breaks of its own, so
    // a record ends only where the next one begins.
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        for (;;) {
            end = text.find(L"\r\n", end);
            if (end == std::wstring::npos || end + 2 == text.size() ||
                Shared::StartsLikeLogLine(std::wstring_view(text).substr(end + 2)))
                break;
            end += 2;
        }
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(AsTestLine(std::wstring_view(text).substr(start, end - start)));
        start = end + 2;
    }
    return lines;
}

void ClearProcessLog() {
    // The size alone: the file can hold megabytes by now.
    const auto host = g_logNotebook->machine.Files().HostPath(kLogFile);
    std::error_code missing;
    const auto size = host ? std::filesystem::file_size(*host, missing) : 0;
    g_clearedAt = missing ? 0 : static_cast<std::size_t>(size);
}

bool ProcessLogged(const std::wstring& line) {
    const auto lines = ProcessLogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace Arvek::Testing
