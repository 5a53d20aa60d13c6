// The Windows test program's own process log. Code under test logs through
// GetLog(), made once per process; here it is made on the Windows adapters
// with three of them replaced: a registry whose only key is the log's policy
// (every level to the event listener, whatever the Wine prefix holds), the
// process (the product name of that policy) and an event log that keeps what
// reaches it, for tests to read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Arvek::Testing {

// The records of at least `minimumLevel` (Error, unless a test wants more)
// logged since the last ClearProcessLog, oldest first, each as
// "Level Function : message" ("Error Arvek::Win32::WindowProcedure : ...").
std::vector<std::wstring> ProcessLogLines(std::int32_t minimumLevel = 5);
void ClearProcessLog();

}  // namespace Arvek::Testing
