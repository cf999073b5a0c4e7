#pragma once

// The process-wide progress bar. A front end binds the window that draws it; the job and the progress
// listener send it the PBM_ messages from their threads through that window.

#include <atomic>

#include "platform/window_messages.h"

// What a progress control keeps: a range and a position held within it. A front end's bar window
// passes the PBM_ messages here and draws what results.
struct ProgressState {
  int minimum = 0;
  int maximum = 100;
  int position = 0;
  // Applies PBM_SETRANGE, PBM_SETPOS or PBM_DELTAPOS; returns what the control returns (the previous
  // range as max << 16 | min, or the previous position), 0 for any other message.
  LRESULT Apply(UINT message, WPARAM wParam, LPARAM lParam);
};

class ProgressBar {
 public:
  void Bind(WindowHandle window) { window_.store(window); }
  WindowHandle Window() const { return window_.load(); }
  // Sends to the bound window, read anew at each send; 0 when none is bound.
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const;

 private:
  std::atomic<WindowHandle> window_{0};
};

extern ProgressBar g_progressBar;
