#include <gtest/gtest.h>

#include <vector>

#include "platform/progress_bar.h"

namespace {

struct Step {
  const char* what;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT returned;
  int minimum, maximum, position;
};

// Applied one after another to one control that starts at 0 to 100, position 0.
const Step kSteps[] = {
    {"set position", PBM_SETPOS, 40, 0, 0, 0, 100, 40},
    {"advance", PBM_DELTAPOS, 1, 0, 40, 0, 100, 41},
    {"narrower range clamps the position", PBM_SETRANGE, 0, 10 << 16, 100 << 16, 0, 10, 10},
    {"position above the range is clamped", PBM_SETPOS, 50, 0, 10, 0, 10, 10},
    {"advance at the top stays there", PBM_DELTAPOS, 1, 0, 10, 0, 10, 10},
    {"negative position is clamped", PBM_SETPOS, static_cast<WPARAM>(-5), 0, 10, 0, 10, 0},
    {"negative amount moves back and is clamped", PBM_DELTAPOS, static_cast<WPARAM>(-3), 0, 0, 0, 10, 0},
    {"maximum is an unsigned word", PBM_SETRANGE, 0, static_cast<LPARAM>(0xFFFF0000u), 10 << 16, 0, 65535, 0},
    {"previous range comes back unsigned", PBM_SETRANGE, 0, 102 << 16 | 2, static_cast<LRESULT>(0xFFFF0000u), 2, 102, 2},
    {"bits above the two words are ignored", PBM_SETRANGE, 0, static_cast<LPARAM>(0x7'0005'0001), 102 << 16 | 2, 1, 5, 2},
    {"other messages change nothing", WM_CONVERT_STAGE, 3, 0, 0, 1, 5, 2},
};

TEST(ProgressStateTest, BehavesAsAProgressControl) {
  ProgressState state;
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.what);
    EXPECT_EQ(state.Apply(step.message, step.wParam, step.lParam), step.returned);
    EXPECT_EQ(state.minimum, step.minimum);
    EXPECT_EQ(state.maximum, step.maximum);
    EXPECT_EQ(state.position, step.position);
  }
}

TEST(ProgressBarTest, SendsToTheBoundWindowOnly) {
  ProgressBar bar;
  EXPECT_EQ(bar.Send(PBM_SETPOS, 5, 0), 0);

  ProgressState state;
  const WindowHandle window =
      CreateMessageWindow("", [&](UINT message, WPARAM wParam, LPARAM lParam) { return state.Apply(message, wParam, lParam); });
  bar.Bind(window);
  EXPECT_EQ(bar.Send(PBM_SETPOS, 5, 0), 0);
  EXPECT_EQ(bar.Send(PBM_DELTAPOS, 1, 0), 5);
  EXPECT_EQ(state.position, 6);

  DestroyMessageWindow(window);
  EXPECT_EQ(bar.Send(PBM_SETPOS, 9, 0), 0);
  EXPECT_EQ(state.position, 6);
}

}  // namespace
