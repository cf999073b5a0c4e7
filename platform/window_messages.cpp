#include "platform/window_messages.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "platform/message_loop.h"

namespace {

// Where a sender waits for its answer.
struct Reply {
  std::condition_variable answered;
  bool done = false;
  LRESULT result = 0;
};

struct Message {
  WindowHandle window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::shared_ptr<Reply> reply;  // null for a post
  std::uint64_t sequence;
};

struct Window {
  std::string caption;
  WindowProc proc;
  std::shared_ptr<ThreadQueue> owner;
};

}  // namespace

struct ThreadQueue {
  std::deque<Message> messages;  // posts and sends together, in arrival order
  std::condition_variable changed;
  std::shared_ptr<const EventLoopHooks> hooks;
  std::uint64_t nextSequence = 0;
};

namespace {

// One lock over every window and queue: the traffic is a handful of messages per frame, and a single
// lock keeps destroy, send and dispatch simple to reason about.
struct MessageSystem {
  std::mutex mutex;
  std::map<WindowHandle, std::shared_ptr<Window>> windows;  // ordered by handle, i.e. by age
  WindowHandle lastHandle = 0;
};

// Never destroyed: worker threads may still send while the process exits.
MessageSystem& System() {
  static MessageSystem* system = new MessageSystem;
  return *system;
}

void Answer(Reply& reply, LRESULT result) {
  reply.done = true;
  reply.result = result;
  reply.answered.notify_all();
}

// Drops the queued messages that match, releasing their senders with 0. Called with the lock held.
template <typename Predicate>
void DropMessages(ThreadQueue& queue, Predicate matches) {
  std::erase_if(queue.messages, [&](const Message& queued) {
    if (!matches(queued)) return false;
    if (queued.reply) Answer(*queued.reply, 0);
    return true;
  });
}

// A thread's queue lives as long as someone holds it; when the thread ends, its windows go with it,
// so that nobody waits for an answer from a thread that no longer dispatches.
struct ThreadQueueOwner {
  std::shared_ptr<ThreadQueue> queue;

  ~ThreadQueueOwner() {
    if (!queue) return;
    MessageSystem& system = System();
    std::lock_guard lock(system.mutex);
    std::erase_if(system.windows, [&](const auto& entry) { return entry.second->owner == queue; });
    DropMessages(*queue, [](const Message&) { return true; });
    queue->hooks.reset();
  }
};

thread_local ThreadQueueOwner t_queueOwner;

bool IsCallingThread(const ThreadQueue* queue) { return queue == t_queueOwner.queue.get(); }

void CallWake(const std::shared_ptr<const EventLoopHooks>& hooks) {
  if (hooks) hooks->wake();
}

// Queues the message and returns the owner's hooks to wake once the lock is released.
std::shared_ptr<const EventLoopHooks> Enqueue(ThreadQueue& queue, Message message) {
  message.sequence = queue.nextSequence++;
  queue.messages.push_back(std::move(message));
  queue.changed.notify_all();
  return queue.hooks;
}

}  // namespace

std::shared_ptr<ThreadQueue> CurrentThreadQueue() {
  if (!t_queueOwner.queue) t_queueOwner.queue = std::make_shared<ThreadQueue>();
  return t_queueOwner.queue;
}

void WakeThread(const std::shared_ptr<ThreadQueue>& queue) {
  MessageSystem& system = System();
  std::shared_ptr<const EventLoopHooks> hooks;
  {
    std::lock_guard lock(system.mutex);
    queue->changed.notify_all();
    hooks = queue->hooks;
  }
  CallWake(hooks);
}

void RunMessageLoopUntil(const std::function<bool()>& done) {
  MessageSystem& system = System();
  std::shared_ptr<ThreadQueue> queue = CurrentThreadQueue();
  std::shared_ptr<const EventLoopHooks> hooks;
  {
    std::lock_guard lock(system.mutex);
    hooks = queue->hooks;
  }
  if (hooks) {
    hooks->runUntil(done);
    return;
  }
  for (;;) {
    {
      std::unique_lock lock(system.mutex);
      queue->changed.wait(lock, [&] { return done() || !queue->messages.empty(); });
      if (done()) return;
    }
    DispatchMessages();
  }
}

WindowHandle CreateMessageWindow(std::string caption, WindowProc proc) {
  if (!proc) return 0;
  auto window = std::make_shared<Window>(Window{std::move(caption), std::move(proc), CurrentThreadQueue()});
  MessageSystem& system = System();
  std::lock_guard lock(system.mutex);
  const WindowHandle handle = ++system.lastHandle;
  system.windows.emplace(handle, std::move(window));
  return handle;
}

void DestroyMessageWindow(WindowHandle window) {
  MessageSystem& system = System();
  std::lock_guard lock(system.mutex);
  const auto found = system.windows.find(window);
  if (found == system.windows.end()) return;
  const std::shared_ptr<ThreadQueue> owner = found->second->owner;
  system.windows.erase(found);
  DropMessages(*owner, [window](const Message& queued) { return queued.window == window; });
}

WindowHandle FindWindowByCaption(std::string_view caption) {
  if (caption.empty()) return 0;  // controls are reached by handle only
  MessageSystem& system = System();
  std::lock_guard lock(system.mutex);
  const auto newest = std::find_if(system.windows.rbegin(), system.windows.rend(),
                                   [&](const auto& entry) { return entry.second->caption == caption; });
  return newest == system.windows.rend() ? 0 : newest->first;
}

bool PostMessage(WindowHandle window, UINT message, WPARAM wParam, LPARAM lParam) {
  MessageSystem& system = System();
  std::shared_ptr<const EventLoopHooks> hooks;
  {
    std::lock_guard lock(system.mutex);
    const auto found = system.windows.find(window);
    if (found == system.windows.end()) return false;
    hooks = Enqueue(*found->second->owner, Message{window, message, wParam, lParam, nullptr, 0});
  }
  CallWake(hooks);
  return true;
}

LRESULT SendMessage(WindowHandle window, UINT message, WPARAM wParam, LPARAM lParam) {
  MessageSystem& system = System();
  std::unique_lock lock(system.mutex);
  const auto found = system.windows.find(window);
  if (found == system.windows.end()) return 0;
  const std::shared_ptr<Window> target = found->second;
  if (IsCallingThread(target->owner.get())) {
    lock.unlock();
    return target->proc(message, wParam, lParam);
  }
  auto reply = std::make_shared<Reply>();
  const auto hooks = Enqueue(*target->owner, Message{window, message, wParam, lParam, reply, 0});
  lock.unlock();
  CallWake(hooks);
  lock.lock();
  reply->answered.wait(lock, [&] { return reply->done; });
  return reply->result;
}

void DispatchMessages() {
  MessageSystem& system = System();
  const std::shared_ptr<ThreadQueue> queue = CurrentThreadQueue();
  std::unique_lock lock(system.mutex);
  // Only what is queued now: a handler that posts to its own window must not keep this loop going.
  const std::uint64_t end = queue->nextSequence;
  while (!queue->messages.empty() && queue->messages.front().sequence < end) {
    Message next = std::move(queue->messages.front());
    queue->messages.pop_front();
    const auto found = system.windows.find(next.window);
    if (found == system.windows.end()) {
      if (next.reply) Answer(*next.reply, 0);
      continue;
    }
    const std::shared_ptr<Window> target = found->second;  // keeps the handler alive while it runs
    lock.unlock();
    const LRESULT result = target->proc(next.message, next.wParam, next.lParam);
    lock.lock();
    if (next.reply) Answer(*next.reply, result);
  }
}

void HookEventLoop(EventLoopHooks hooks) {
  MessageSystem& system = System();
  const std::shared_ptr<ThreadQueue> queue = CurrentThreadQueue();
  std::shared_ptr<const EventLoopHooks> hooked;
  bool pending = false;
  {
    std::lock_guard lock(system.mutex);
    // A loop that cannot be both woken and run is no loop to drive; treat it as unhooking.
    if (hooks.wake && hooks.runUntil) hooked = std::make_shared<const EventLoopHooks>(std::move(hooks));
    queue->hooks = hooked;
    pending = !queue->messages.empty();
  }
  // Messages queued before the hook would otherwise wait for the next one to arrive.
  if (pending) CallWake(hooked);
}
