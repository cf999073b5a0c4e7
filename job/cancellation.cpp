#include "job/cancellation.h"

#include <cstdio>
#include <unistd.h>

#include "job/job_files.h"
#include "job/job_state.h"
#include "platform/thread.h"

void CancelConversion(WorkerThread& worker) {
  // The flag goes up before the kill: the worker's wait for the tool returns because of the kill,
  // and its test right after must see the flag.
  g_cancelRequested = 1;
  g_toolProcess.Terminate();
  WaitWithMessages(worker);

  // A worker that stopped at a cancel point left the output open; one that reached its end closed it.
  if (std::FILE* output = g_outputFile.exchange(nullptr)) std::fclose(output);
  const JobFiles files = CurrentJobFiles();
  if (!files.target.empty()) unlink(files.target.c_str());
  RemoveJobIntermediates(files);
}
