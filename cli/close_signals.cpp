#include "cli/close_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

CloseSignals::CloseSignals(WindowHandle window) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  // Blocked before the worker and the listener threads exist, so only the watcher takes them. The
  // tools start with a clear mask of their own.
  pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
  signalFd_ = signalfd(-1, &signals_, SFD_CLOEXEC);
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  watcher_ = std::thread([this, window] {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    while (poll(fds, 2, -1) >= 0 || errno == EINTR) {
      if (fds[1].revents != 0) return;
      signalfd_siginfo info;
      if (fds[0].revents != 0 && read(signalFd_, &info, sizeof info) == sizeof info) {
        PostMessage(window, WM_CLOSE, info.ssi_signo, 0);
      }
    }
  });
}

CloseSignals::~CloseSignals() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);  // can't overflow once
  watcher_.join();
  close(signalFd_);
  close(stopFd_);
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}
