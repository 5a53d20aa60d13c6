// The Windows test program's own process log. Code under test logs through
// GetLog(), made once per process; here it is made on the Windows adapters
// with two of them replaced: a registry without any policy, so the log has
// its defaults whatever the Wine prefix holds (records of level Error, to the
// event log), and an event log that keeps what reaches it, for tests to read.
#pragma once

#include <string>
#include <vector>

namespace Arvek::Testing {

// The records logged since the last ClearProcessLog, oldest first, each as
// "Level Function : message" ("Error Arvek::Win32::WindowProcedure : ...").
std::vector<std::wstring> ProcessLogLines();
void ClearProcessLog();

}  // namespace Arvek::Testing
