#pragma once

// The body of the worker thread of one conversion.

#include <string>

// The job text: target path, one tab, source path, NUL-terminated. Split in place.
void ConversionJob(void* jobText);
// Checks the source, creates the target as g_outputFile, runs the pipeline, closes the output and
// removes the intermediate files. Leaves how it ended in g_jobOutcome.
void ConvertFile(std::string target, std::string source);
