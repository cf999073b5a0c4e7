#include "cli/console_view.h"

#include <string>

#include "job/job_state.h"
#include "job/stage_text.h"

namespace {

constexpr int kFrameStage = 3;
constexpr int kBarWidth = 30;
constexpr int kPlainPercentStep = 25;
// A terminal line is redrawn at most this often, and always when the bar is full.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

double SecondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

ConsoleView::ConsoleView(std::FILE* stageOut, std::FILE* progressOut, bool progressIsTerminal,
                         bool showTimings)
    : stageOut_(stageOut), progressOut_(progressOut), terminal_(progressIsTerminal), showTimings_(showTimings) {}

void ConsoleView::ShowStage(WPARAM stage) {
  const char* text = StageText(stage);
  if (text == nullptr) return;
  const auto now = Clock::now();
  PrintStageTiming(now);
  ClearProgressLine();
  std::fprintf(stageOut_, "%s\n", text);
  std::fflush(stageOut_);
  stage_ = static_cast<int>(stage);
  stageStart_ = now;
  plainRangeMaximum_ = -1;
}

LRESULT ConsoleView::ApplyProgress(UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = bar_.Apply(message, wParam, lParam);
  if (message == PBM_SETRANGE || message == PBM_SETPOS || message == PBM_DELTAPOS) Draw();
  return result;
}

int ConsoleView::Percent() const {
  const long span = static_cast<long>(bar_.maximum) - bar_.minimum;
  if (span <= 0) return 0;
  return static_cast<int>((static_cast<long>(bar_.position) - bar_.minimum) * 100 / span);
}

void ConsoleView::Draw() {
  const int percent = Percent();
  if (!terminal_) {
    if (bar_.maximum != plainRangeMaximum_) {
      plainRangeMaximum_ = bar_.maximum;
      nextPlainPercent_ = kPlainPercentStep;
    }
    if (percent < nextPlainPercent_) return;
    std::fprintf(progressOut_, "%d%%\n", percent);
    std::fflush(progressOut_);
    nextPlainPercent_ = (percent / kPlainPercentStep + 1) * kPlainPercentStep;
    return;
  }
  const auto now = Clock::now();
  if (now - lastDraw_ < kRedrawInterval && bar_.position < bar_.maximum) return;
  lastDraw_ = now;
  const int filled = percent * kBarWidth / 100;
  std::string line = "\r[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] " +
                     std::to_string(percent) + "%";
  if (stage_ == kFrameStage) {
    // The frame stage's range is the frame count plus two steps for the sound and the header.
    const double elapsed = SecondsBetween(stageStart_, now);
    const int framesDone = bar_.position - bar_.minimum;
    const int framesLeft = bar_.maximum - 2 - bar_.position;
    if (elapsed > 0 && framesDone > 0) {
      const double framesPerSecond = framesDone / elapsed;
      const int secondsLeft = framesLeft > 0 ? static_cast<int>(framesLeft / framesPerSecond + 0.5) : 0;
      char rate[64];
      std::snprintf(rate, sizeof rate, "  %.1f frames/s, %d:%02d left", framesPerSecond, secondsLeft / 60,
                    secondsLeft % 60);
      line += rate;
    }
  }
  line += "\033[K";
  std::fputs(line.c_str(), progressOut_);
  std::fflush(progressOut_);
  lineDrawn_ = true;
}

void ConsoleView::ClearProgressLine() {
  if (!lineDrawn_) return;
  std::fputs("\r\033[K", progressOut_);
  std::fflush(progressOut_);
  lineDrawn_ = false;
}

void ConsoleView::PrintStageTiming(Clock::time_point now) {
  if (!showTimings_ || stage_ < 0) return;
  ClearProgressLine();
  std::fprintf(progressOut_, "timing: stage %d %.3f s\n", stage_, SecondsBetween(stageStart_, now));
}

void ConsoleView::Finish() {
  ClearProgressLine();
  if (!showTimings_) return;
  const auto now = Clock::now();
  // The last stage announced (4 on success) has no successor to close it.
  if (stage_ >= 0 && stage_ < 4) PrintStageTiming(now);
  const double total = SecondsBetween(jobStart_, now);
  const double starting = g_toolTimes.startNanoseconds / 1e9;
  const double running = g_toolTimes.runNanoseconds / 1e9;
  std::fprintf(progressOut_,
               "timing: total %.3f s, tools ran %.3f s (%d runs), outside the tools %.3f s (%.3f s of it "
               "starting them)\n",
               total, running, g_toolTimes.runs.load(), total - running, starting);
  std::fflush(progressOut_);
}
