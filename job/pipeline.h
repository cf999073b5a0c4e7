#pragma once

// The conversion pipeline: the three tool stages, the frame stage that codes every frame into the
// output, the sound and the header.

#include <string>

enum class PipelineEnd {
  kComplete,    // a whole file: header, frame records, sound (when the source has any)
  kIncomplete,  // too few frames: the file keeps its zero header and the records that were coded
  kDiscard,     // nothing usable was made (no listener, a tool missing, a failed write): remove it
  kCancelled,   // stopped at a cancel point; the output stays open for the close handler
};

// Runs on the worker thread with g_outputFile open and empty. Every failure has been shown to the
// user when it returns; only a complete file is announced as complete.
PipelineEnd RunPipeline(const std::string& source);
