#pragma once

// The process-wide state of a conversion, shared by the job's worker thread and a front end's thread.

#include <atomic>
#include <cstdint>
#include <string>

#include "container/container_header.h"
#include "container/output_file.h"
#include "platform/process.h"

// The current directory when the front end started; the tools are in its folder "Tools". Written by
// the front end before any job runs.
extern std::string g_startDirectory;
// The current directory when the frame stage began; its "temp" holds the frame files.
extern std::string g_workDirectory;
// Set once by a close request; the job tests it after every tool run and stops there.
extern std::atomic<int> g_cancelRequested;
// The tool that runs now; a close request terminates it.
extern ProcessInformation g_toolProcess;
// Frame rate asked of the tools and written to the header; also the fewest frames of a whole file.
inline constexpr std::uint8_t g_framesPerSecond = 8;
// The header of the output file, laid down at the end of the frame stage.
extern ContainerHeader g_containerHeader;

// How the last job ended, so that a front end can tell success from failure without reading the
// messages the job showed. kRunning from the job's first check until its end.
enum class JobOutcome { kNone, kRunning, kComplete, kFailed, kCancelled };
extern std::atomic<JobOutcome> g_jobOutcome;

// Wall time the jobs of this process spent in the tools, split into starting them and waiting for
// them, so that a front end can tell the tools' share of a job from its own (FRAMELOOM_TIMINGS).
struct ToolTimes {
  std::atomic<std::int64_t> startNanoseconds{0};
  std::atomic<std::int64_t> runNanoseconds{0};
  std::atomic<int> runs{0};
};
extern ToolTimes g_toolTimes;

// Clears the job state before the first job, as the front end does when it opens.
void ResetJobState();
