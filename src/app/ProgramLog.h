#pragma once

#include <functional>
#include <string>

namespace ko {

// Where a program's log lines go: stderr (and the debugger output on Windows), and the file
// named by OSTREL_LOG_FILE. OSTREL_LOG=debug shows every step, OSTREL_LOG=error only failures;
// the default shows what an operator wants to see.
void SetUpProgramLog(const char* program);

// Sets up the log, then runs the program's main; an unexpected failure is logged and ends the
// program with code 1.
int RunLogged(const char* program, const std::function<int()>& main);

// A log line with the time of day, for stderr and log files.
std::string StampLogLine(const std::string& program, const std::string& level,
                         const std::string& text);

}  // namespace ko
