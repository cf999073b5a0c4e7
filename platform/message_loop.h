#pragma once

// What the thread layer needs of the message queues: a handle on a thread's queue that stays valid
// after the thread has gone, a way to wake that thread, and the dispatching wait itself.

#include <functional>
#include <memory>

struct ThreadQueue;

// The calling thread's queue, made on first use.
std::shared_ptr<ThreadQueue> CurrentThreadQueue();

// Wakes every wait of that thread and, if it is hooked, its event loop, so that it checks again
// whatever it is waiting for.
void WakeThread(const std::shared_ptr<ThreadQueue>& queue);

// Dispatches the calling thread's messages until done() holds: through the hooked event loop if the
// thread has one, else here. done() must turn true only together with a WakeThread of this thread.
void RunMessageLoopUntil(const std::function<bool()>& done);
