#pragma once

// Helpers for the tests of windows, threads and message boxes.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/thread.h"
#include "platform/window_messages.h"

namespace platform_testing {

// Runs a body on a WorkerThread; the body lives as long as the thread.
class Worker {
 public:
  explicit Worker(std::function<void()> body) : body_(std::move(body)) {
    thread_ = WorkerThread::Start([](void* body) { (*static_cast<std::function<void()>*>(body))(); }, &body_);
  }
  WorkerThread& thread() { return *thread_; }

 private:
  std::function<void()> body_;
  std::unique_ptr<WorkerThread> thread_;
};

struct Received {
  UINT message;
  WPARAM wParam;
  bool operator==(const Received&) const = default;
};

// A window of the calling thread that logs what it handles and answers wParam + 1000.
class LoggingWindow {
 public:
  explicit LoggingWindow(std::string caption = "") {
    handle_ = CreateMessageWindow(std::move(caption), [this](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
      std::lock_guard lock(mutex_);
      log_.push_back({message, wParam});
      threads_.push_back(std::this_thread::get_id());
      return static_cast<LRESULT>(wParam) + 1000;
    });
  }
  ~LoggingWindow() { DestroyMessageWindow(handle_); }
  WindowHandle handle() const { return handle_; }
  std::vector<Received> log() const {
    std::lock_guard lock(mutex_);
    return log_;
  }
  std::vector<std::thread::id> threads() const {
    std::lock_guard lock(mutex_);
    return threads_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Received> log_;
  std::vector<std::thread::id> threads_;
  WindowHandle handle_ = 0;
};

// A stand-in for a front end's own event loop, hooked into the calling thread for its lifetime.
class FakeEventLoop {
 public:
  FakeEventLoop() {
    HookEventLoop({[this] { Wake(); }, [this](const std::function<bool()>& done) { RunUntil(done); }});
  }
  ~FakeEventLoop() { HookEventLoop({}); }

  int runs() const {
    std::lock_guard lock(mutex_);
    return runs_;
  }
  int wakes() const {
    std::lock_guard lock(mutex_);
    return wakes_;
  }
  // Blocks until the loop has been woken this many times in all: a sign that a message is queued.
  void WaitForWakes(int count) {
    std::unique_lock lock(mutex_);
    woken_.wait(lock, [&] { return wakes_ >= count; });
  }

 private:
  void Wake() {
    std::lock_guard lock(mutex_);
    ++wakes_;
    woken_.notify_all();
  }
  void RunUntil(const std::function<bool()>& done) {
    std::unique_lock lock(mutex_);
    ++runs_;
    int seen = 0;
    while (!done()) {
      woken_.wait(lock, [&] { return wakes_ > seen; });
      seen = wakes_;
      lock.unlock();
      DispatchMessages();
      lock.lock();
    }
  }

  mutable std::mutex mutex_;
  std::condition_variable woken_;
  int wakes_ = 0;
  int runs_ = 0;
};

}  // namespace platform_testing
