#include "job/tool_runner.h"

#include <chrono>
#include <cstdio>

#include "job/job_state.h"

namespace {

std::int64_t NanosecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int RunTool(const std::string& commandLine) {
  // The tool writes to the same standard output; what the job printed must come before it.
  std::fflush(stdout);
  const auto startTime = std::chrono::steady_clock::now();
  if (!g_toolProcess.Start(commandLine)) return 0;
  g_toolTimes.startNanoseconds += NanosecondsSince(startTime);
  // A close request sets the flag before it terminates the tool; one that came while the tool was
  // being started found no tool to terminate, so the tool is ended here instead of running on.
  if (g_cancelRequested) g_toolProcess.Terminate();
  const auto runTime = std::chrono::steady_clock::now();
  g_toolProcess.Wait();
  g_toolTimes.runNanoseconds += NanosecondsSince(runTime);
  ++g_toolTimes.runs;
  return 1;
}
