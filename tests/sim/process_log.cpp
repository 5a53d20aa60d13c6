#include "process_log.h"

#include <memory>

#include "shared/log.h"
#include "sim_fixture.h"

namespace Arvek::Testing {
namespace {

SimNotebook* g_logNotebook = nullptr;

class ProcessLogEnvironment : public testing::Environment {
public:
    void SetUp() override {
        m_notebook = std::make_unique<SimNotebook>(SimNotebook::WithPolicy(
            "", "[HKEY_LOCAL_MACHINE\\Software\\Policies\\Arvek\\Tidewatch Application]\n"
                "\"LoggingType\"=\"CONSOLE\"\n\"MinLogLevel\"=\"TraceIn\"\n\"MaxLogLevel\"=\"Diag\"\n"));
        g_logNotebook = m_notebook.get();
        Shared::SetProcessPlatform(m_notebook->machine.Platform());
        Shared::GetLog();
    }
    // The process log outlives every test, so its notebook is never
    // destroyed; its host folder (the log writes no files) is removed now.
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

}  // namespace

std::vector<std::wstring> ProcessLogLines() { return g_logNotebook->machine.Log().Texts("console"); }
void ClearProcessLog() { g_logNotebook->machine.Log().Clear(); }

}  // namespace Arvek::Testing
