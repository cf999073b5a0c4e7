#include "job/job_state.h"

std::string g_startDirectory;
std::string g_workDirectory;
std::atomic<int> g_cancelRequested{0};
ProcessInformation g_toolProcess;
ContainerHeader g_containerHeader;
std::atomic<JobOutcome> g_jobOutcome{JobOutcome::kNone};
ToolTimes g_toolTimes;

void ResetJobState() {
  g_cancelRequested = 0;
  // g_toolProcess needs nothing: its record is zero whenever no tool runs, and none runs between jobs.
  g_outputFile = nullptr;
  g_jobOutcome = JobOutcome::kNone;
}
