#pragma once

// Running one tool to its end as g_toolProcess.

#include <string>

// Starts the command line's program (the platform splits it by the Windows rules) with this
// process's standard streams and current directory, and waits for it without a time limit; a close
// request ends the wait by terminating the tool. 1 when the tool was started and has ended, whatever
// its exit status; 0 when it could not be started.
int RunTool(const std::string& commandLine);
