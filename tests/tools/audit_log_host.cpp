// audit-log-host.exe: mirrors an audit log into the event log as the agent
// does, through the agent's own mirroring and the Windows adapter, so that a
// test can see what reached ReportEventW (Wine prints it on its "eventlog"
// debug channel and stores nothing).
//
//   audit-log-host.exe FILE   FILE holds the audit log's XML, as the
//                             platform component would answer it (UTF-8).
//                             The key table is built from the event log
//                             first; the document is mirrored twice, so that
//                             what the first pass wrote the second finds.
// Exit 0 when the document was mirrored, 2 for a wrong command line, 3 when
// FILE cannot be read.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "agent/audit_log/tarnwall_log.h"
#include "agent/core/globals.h"
#include "common/strings.h"
#include "shared/com_scope.h"
#include "tolm/xml_document.h"
#include "win32/platform_win32.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) return 3;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    Arvek::Win32::Win32Platform& platform = Arvek::Win32::MakeProcessPlatform(::GetModuleHandleW(nullptr));
    // The agent's globals: the key build's thread uses them to its end.
    static Notifications::Tidewatch::AgentGlobals globals;
    const Arvek::Shared::CComThreadScope com(platform.com);
    Notifications::ArvekWmiEvents::CTarnwallLog log(platform, globals);
    log.CreateHashKeysForTarnwallEventLogs();
    for (int pass = 0; pass < 2; ++pass) {
        Arvek::Tolm::CXmlDocument document(platform.xml);
        document.LoadXml(Arvek::WidenUtf8(bytes));
        log.AddLogsToEventViewer(document);
    }
    {
        std::lock_guard keys(globals.g_csTarnwallHashKeys);
        std::printf("keys: %u\n", static_cast<unsigned>(globals.g_tarnwallLogKeys.size()));
    }
    return 0;
}
