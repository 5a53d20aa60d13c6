// The test program's own process log. Code under test logs through GetLog(),
// which is made once per process; here it is made on a notebook of its own
// whose policy opens every level to a file listener, so tests can read what
// the code logged, with the level of each line.
#pragma once

#include <string>
#include <vector>

namespace Arvek::Testing {

// The records logged since the last ClearProcessLog, oldest first, each as
// "Level Function : message" ("Verbose WndProc : WM_CREATE",
// "TraceIn InitInstance : ").
std::vector<std::wstring> ProcessLogLines();
void ClearProcessLog();
// Whether `line` (in that form) was logged since the last ClearProcessLog.
bool ProcessLogged(const std::wstring& line);

}  // namespace Arvek::Testing
