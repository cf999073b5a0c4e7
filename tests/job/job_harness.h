#pragma once

// Runs one job in this process as a front end does: a window captioned "Frameloom" and a bar window
// owned by the test thread record what the job sends them, message boxes are collected, and the
// job's standard output is caught in a file.

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "job/job_state.h"
#include "platform/window_messages.h"

namespace job_testing {

struct ReceivedMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const ReceivedMessage&) const = default;
  friend void PrintTo(const ReceivedMessage& m, std::ostream* out) {
    *out << "{" << m.message << ", " << m.wParam << ", " << m.lParam << "}";
  }
};

struct JobRun {
  JobOutcome outcome = JobOutcome::kNone;
  std::vector<ReceivedMessage> messages;  // stage announcements and bar messages, in arrival order
  std::vector<std::string> messageBoxes;
  std::string standardOutput;             // the job's and the tools' lines
};

// Runs ConversionJob on a worker thread with the job text "target\tsource", with the start
// directory `startDirectory` and the current directory `workDirectory`. `onStage` runs in the main
// window's handler for each stage announcement, `onBar` in the bar's handler for each bar message,
// both on the test thread. A WM_CLOSE posted to the main window cancels the job as a front end's
// close request does (once, and only while the worker runs).
JobRun RunJob(const std::filesystem::path& startDirectory, const std::filesystem::path& workDirectory,
              const std::string& target, const std::string& source,
              const std::function<void(WPARAM stage)>& onStage = {},
              const std::function<void(const ReceivedMessage&)>& onBar = {});

}  // namespace job_testing
