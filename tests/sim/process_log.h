// The test program's own process log. Code under test logs through GetLog(),
// which is made once per process; here it is made on a notebook of its own
// whose policy opens every level to the console listener, so tests can read
// what the code logged.
#pragma once

#include <string>
#include <vector>

namespace Arvek::Testing {

// "Function : message" lines logged since the last ClearProcessLog.
std::vector<std::wstring> ProcessLogLines();
void ClearProcessLog();

}  // namespace Arvek::Testing
