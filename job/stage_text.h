#pragma once

// What the front ends show of a job's progress: the main window's caption, by which the job finds the
// window it announces its stages to, and the status text of each stage.

#include "platform/window_messages.h"

inline constexpr char kMainWindowCaption[] = "Frameloom";

// The status text of WM_CONVERT_STAGE's stage number, or null for a number above 4 (the status line
// then stays as it was).
const char* StageText(WPARAM stage);
