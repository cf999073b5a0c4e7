#pragma once

// The worker thread of a conversion, and the wait for it that keeps the waiting thread's windows
// answering.

#include <memory>

class WorkerThread {
 public:
  // Starts entry(argument) on a new thread; null when no thread could be started.
  static std::unique_ptr<WorkerThread> Start(void (*entry)(void*), void* argument);
  virtual ~WorkerThread() = default;  // joins the thread
  virtual bool HasEnded() const = 0;

 protected:
  WorkerThread() = default;
};

// Returns once the thread has ended, dispatching the calling thread's messages meanwhile (through its
// hooked event loop, if it has one). The thread that started a worker is woken when it ends.
void WaitWithMessages(WorkerThread& thread);
