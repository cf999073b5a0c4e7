#pragma once

#include <atomic>
#include <cstdio>

// The output stream of the running conversion: not null exactly while a job writes its output. The
// job opens it; the close handler reads it from the interface thread to tell whether a job runs.
extern std::atomic<std::FILE*> g_outputFile;
