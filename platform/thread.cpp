#include "platform/thread.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/message_loop.h"

namespace {

class StdWorkerThread final : public WorkerThread {
 public:
  explicit StdWorkerThread(std::shared_ptr<ThreadQueue> starter) : toWake_{std::move(starter)} {}

  ~StdWorkerThread() override {
    if (thread_.joinable()) thread_.join();
  }

  bool HasEnded() const override { return ended_.load(); }

  void Launch(void (*entry)(void*), void* argument) {
    thread_ = std::thread([this, entry, argument] {
      // A guard rather than a statement after the call, so that a thread leaving early through
      // pthread_exit (which unwinds) is seen to have ended as well.
      struct EndNotice {
        StdWorkerThread& thread;
        ~EndNotice() { thread.MarkEnded(); }
      } notice{*this};
      entry(argument);
    });
  }

  // Also wakes a waiting thread that is not the one that started this worker.
  void AddWaiter(std::shared_ptr<ThreadQueue> waiter) {
    std::lock_guard lock(mutex_);
    if (std::find(toWake_.begin(), toWake_.end(), waiter) == toWake_.end()) toWake_.push_back(std::move(waiter));
  }

 private:
  void MarkEnded() {
    std::vector<std::shared_ptr<ThreadQueue>> toWake;
    {
      std::lock_guard lock(mutex_);
      ended_.store(true);
      toWake = toWake_;
    }
    for (const auto& queue : toWake) WakeThread(queue);
  }

  std::atomic<bool> ended_{false};
  std::mutex mutex_;
  std::vector<std::shared_ptr<ThreadQueue>> toWake_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<WorkerThread> WorkerThread::Start(void (*entry)(void*), void* argument) {
  auto worker = std::make_unique<StdWorkerThread>(CurrentThreadQueue());
  try {
    worker->Launch(entry, argument);
  } catch (const std::system_error&) {
    return nullptr;
  }
  return worker;
}

void WaitWithMessages(WorkerThread& thread) {
  static_cast<StdWorkerThread&>(thread).AddWaiter(CurrentThreadQueue());
  RunMessageLoopUntil([&thread] { return thread.HasEnded(); });
}
