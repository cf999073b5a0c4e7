#pragma once

// What the console front end shows of a running job: each stage text on its own line on standard
// output, and the progress bar on standard error, drawn in place on a terminal and as a few plain
// lines otherwise.

#include <chrono>
#include <cstdio>

#include "platform/progress_bar.h"
#include "platform/window_messages.h"

class ConsoleView {
 public:
  ConsoleView(std::FILE* stageOut, std::FILE* progressOut, bool progressIsTerminal, bool showTimings);

  // The handler of WM_CONVERT_STAGE.
  void ShowStage(WPARAM stage);
  // The handler of the progress bar's window: applies the message and draws the result.
  LRESULT ApplyProgress(UINT message, WPARAM wParam, LPARAM lParam);
  // Clears the bar's line on a terminal, so that a message or a stage text starts on a clean line.
  void ClearProgressLine();
  // Ends the display after the job; with timings on, reports the last stage and the whole job.
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;

  void Draw();
  void PrintStageTiming(Clock::time_point now);
  int Percent() const;

  std::FILE* stageOut_;
  std::FILE* progressOut_;
  bool terminal_;
  bool showTimings_;
  ProgressState bar_;
  Clock::time_point jobStart_ = Clock::now();

  // The stage shown now (-1 before the first) and when it began.
  int stage_ = -1;
  Clock::time_point stageStart_ = jobStart_;
  // The range of the last plain line's percentages; a new range starts them again.
  int plainRangeMaximum_ = -1;
  int nextPlainPercent_ = 0;
  bool lineDrawn_ = false;
  Clock::time_point lastDraw_{};
};
