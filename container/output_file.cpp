#include "container/output_file.h"

std::atomic<std::FILE*> g_outputFile{nullptr};
