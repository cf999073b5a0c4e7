#pragma once

// SIGINT and SIGTERM during a conversion become a close request to the console window, so that the
// command-line front end cancels the way the dialog does when its window is closed: on its own
// thread, with the job's messages still answered.

#include <atomic>
#include <csignal>
#include <thread>

#include "platform/window_messages.h"

class CloseSignals {
 public:
  // Blocks SIGINT and SIGTERM in this thread and every thread started after it, and posts WM_CLOSE
  // (first parameter the signal number) to the window for each one that arrives.
  explicit CloseSignals(WindowHandle window);
  // Stops listening and unblocks both signals again.
  ~CloseSignals();
  CloseSignals(const CloseSignals&) = delete;
  CloseSignals& operator=(const CloseSignals&) = delete;

 private:
  sigset_t signals_;
  sigset_t previousMask_;
  int signalFd_ = -1;
  int stopFd_ = -1;
  std::thread watcher_;
};
