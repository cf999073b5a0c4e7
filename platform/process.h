#pragma once

// Starting one tool from a command line written for the Windows shell conventions, waiting for it,
// and terminating it from another thread.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Splits a command line into arguments as the Windows C runtime does: spaces and tabs separate,
// double quotes group, 2n backslashes before a quote give n backslashes and a grouping quote, 2n+1
// give n backslashes and a literal quote, other backslashes stand for themselves, and "" inside a
// quoted part is a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The record of the running tool. All four fields are zero while none runs. One thread starts and
// waits; any other thread may terminate meanwhile.
class ProcessInformation {
 public:
  // Starts the command line's program with this process's standard streams, environment and current
  // directory, in a process group of its own. An unquoted program path is the shortest prefix ending
  // before a space or tab that names an existing file, so a folder with spaces works unquoted.
  // Returns false when it could not be started; the record then stays zero. Also false while a tool
  // started earlier has not been waited for.
  bool Start(std::string_view commandLine);
  // Blocks until the tool has ended, reaps it, clears the record and returns its exit status
  // (128 + signal number when a signal ended it). Returns -1 when no tool was started.
  int Wait();
  // Kills the running tool and its process group at once (SIGKILL) and returns once the tool has
  // ended, so that nothing it was still writing lands after the caller's clean-up; Wait still reaps
  // it. Does nothing when none runs. Never reaches a process that merely reuses the tool's id.
  void Terminate();

  int processHandle() const { return processHandle_.load(); }  // a pidfd
  int threadHandle() const { return 0; }
  pid_t processId() const { return processId_.load(); }
  int threadId() const { return 0; }

 private:
  std::mutex mutex_;  // held while signalling and while reaping, so a kill never meets a reaped id
  std::atomic<int> processHandle_{0};
  std::atomic<pid_t> processId_{0};
};
