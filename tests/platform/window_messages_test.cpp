#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <limits>
#include <thread>
#include <vector>

#include "message_test_support.h"
#include "platform/thread.h"
#include "platform/window_messages.h"

namespace {

using platform_testing::FakeEventLoop;
using platform_testing::LoggingWindow;
using platform_testing::Received;
using platform_testing::Worker;

TEST(WindowMessagesTest, PostsAndSendsFromAWorkerArriveInIssueOrderOnTheOwner) {
  LoggingWindow window;
  std::vector<LRESULT> results;
  Worker worker([&] {
    PostMessage(window.handle(), WM_CONVERT_STAGE, 0, 0);
    results.push_back(SendMessage(window.handle(), PBM_SETPOS, 10, 0));
    PostMessage(window.handle(), WM_CONVERT_STAGE, 1, 0);
    results.push_back(SendMessage(window.handle(), PBM_DELTAPOS, 1, 0));
  });
  WaitWithMessages(worker.thread());

  EXPECT_TRUE(worker.thread().HasEnded());
  EXPECT_EQ(window.log(), (std::vector<Received>{
                              {WM_CONVERT_STAGE, 0}, {PBM_SETPOS, 10}, {WM_CONVERT_STAGE, 1}, {PBM_DELTAPOS, 1}}));
  EXPECT_EQ(results, (std::vector<LRESULT>{1010, 1001}));
  for (std::thread::id handler : window.threads()) EXPECT_EQ(handler, std::this_thread::get_id());
}

TEST(WindowMessagesTest, SendFromTheOwningThreadSkipsTheQueue) {
  LoggingWindow window;
  ASSERT_TRUE(PostMessage(window.handle(), WM_CONVERT_STAGE, 1, 0));
  EXPECT_EQ(SendMessage(window.handle(), WM_CONVERT_STAGE, 2, 0), 1002);
  EXPECT_EQ(window.log(), (std::vector<Received>{{WM_CONVERT_STAGE, 2}}));
  DispatchMessages();
  EXPECT_EQ(window.log(), (std::vector<Received>{{WM_CONVERT_STAGE, 2}, {WM_CONVERT_STAGE, 1}}));
}

TEST(WindowMessagesTest, DispatchHandlesOnlyWhatWasQueuedBeforeIt) {
  // A handler that posts to its own window must not keep one dispatch going for ever.
  int handled = 0;
  WindowHandle window = 0;
  window = CreateMessageWindow("", [&](UINT, WPARAM, LPARAM) -> LRESULT {
    ++handled;
    PostMessage(window, WM_USER, 0, 0);
    return 0;
  });
  PostMessage(window, WM_USER, 0, 0);
  DispatchMessages();
  EXPECT_EQ(handled, 1);
  DispatchMessages();
  EXPECT_EQ(handled, 2);
  DestroyMessageWindow(window);
}

TEST(WindowMessagesTest, HandlerWaitingWithMessagesAnswersSendsFromOtherThreads) {
  constexpr UINT kRunInner = WM_USER + 10;
  std::vector<std::string> events;
  std::unique_ptr<Worker> inner;
  WindowHandle window = 0;
  window = CreateMessageWindow("", [&](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    if (message != kRunInner) {
      events.push_back("inner message " + std::to_string(wParam));
      return 7;
    }
    events.push_back("outer begins");
    // Both of the inner worker's messages come in while this handler waits.
    inner = std::make_unique<Worker>([&] {
      PostMessage(window, WM_CONVERT_STAGE, 1, 0);
      EXPECT_EQ(SendMessage(window, WM_CONVERT_STAGE, 2, 0), 7);
    });
    WaitWithMessages(inner->thread());
    events.push_back("outer ends");
    return 42;
  });

  LRESULT outerResult = 0;
  Worker outer([&] { outerResult = SendMessage(window, kRunInner, 0, 0); });
  WaitWithMessages(outer.thread());

  EXPECT_EQ(outerResult, 42);
  EXPECT_EQ(events, (std::vector<std::string>{"outer begins", "inner message 1", "inner message 2", "outer ends"}));
  DestroyMessageWindow(window);
}

TEST(WindowMessagesTest, DestroyingAWindowReleasesItsWaitingSenderWithZero) {
  FakeEventLoop loop;  // its wakes tell when the send is queued
  LoggingWindow window;
  LRESULT result = -1;
  Worker sender([&] { result = SendMessage(window.handle(), PBM_SETPOS, 5, 0); });
  loop.WaitForWakes(1);
  DestroyMessageWindow(window.handle());
  WaitWithMessages(sender.thread());

  EXPECT_EQ(result, 0);
  EXPECT_TRUE(window.log().empty());
}

TEST(WindowMessagesTest, WindowsOfAnEndedThreadAnswerZero) {
  std::atomic<WindowHandle> window{0};
  std::mutex mutex;
  std::condition_variable changed;
  // The owner waits until the send is queued, then ends without dispatching or destroying.
  std::thread owner([&] {
    FakeEventLoop loop;
    {
      std::lock_guard lock(mutex);
      window = CreateMessageWindow("", [](UINT, WPARAM, LPARAM) -> LRESULT { return 1; });
    }
    changed.notify_all();
    loop.WaitForWakes(1);
  });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return window.load() != 0; });
  }
  EXPECT_EQ(SendMessage(window, WM_USER, 0, 0), 0);
  owner.join();
  EXPECT_EQ(SendMessage(window, WM_USER, 0, 0), 0);
  EXPECT_FALSE(PostMessage(window, WM_USER, 0, 0));
}

TEST(WindowMessagesTest, TwoSendersAtOnceEachGetTheirOwnAnswersInOrder) {
  LoggingWindow window;
  constexpr WPARAM kCount = 200;
  auto sendAll = [&](WPARAM base, std::vector<LRESULT>& results) {
    for (WPARAM i = 0; i < kCount; ++i) results.push_back(SendMessage(window.handle(), PBM_SETPOS, base + i, 0));
  };
  std::vector<LRESULT> first, second;
  Worker one([&] { sendAll(0, first); });
  Worker two([&] { sendAll(10000, second); });
  WaitWithMessages(one.thread());
  WaitWithMessages(two.thread());

  std::vector<LRESULT> expectedFirst, expectedSecond;
  for (WPARAM i = 0; i < kCount; ++i) {
    expectedFirst.push_back(static_cast<LRESULT>(i) + 1000);
    expectedSecond.push_back(static_cast<LRESULT>(10000 + i) + 1000);
  }
  EXPECT_EQ(first, expectedFirst);
  EXPECT_EQ(second, expectedSecond);
  std::vector<WPARAM> fromFirst, fromSecond;
  for (const Received& received : window.log()) (received.wParam < 10000 ? fromFirst : fromSecond).push_back(received.wParam);
  EXPECT_EQ(fromFirst.size(), kCount);
  EXPECT_TRUE(std::is_sorted(fromFirst.begin(), fromFirst.end()));
  EXPECT_EQ(fromSecond.size(), kCount);
  EXPECT_TRUE(std::is_sorted(fromSecond.begin(), fromSecond.end()));
}

TEST(WindowMessagesTest, MessagesToNoWindowFailAtOnce) {
  WindowHandle destroyed = CreateMessageWindow("", [](UINT, WPARAM, LPARAM) -> LRESULT { return 1; });
  DestroyMessageWindow(destroyed);
  LoggingWindow successor;  // handles are not reused: the old one still names nothing
  ASSERT_NE(successor.handle(), destroyed);

  for (WindowHandle window : {WindowHandle{0}, destroyed, std::numeric_limits<WindowHandle>::max()}) {
    SCOPED_TRACE(window);
    // From this thread and from one that has never had a queue: neither may wait.
    EXPECT_EQ(SendMessage(window, WM_USER, 1, 0), 0);
    EXPECT_FALSE(PostMessage(window, WM_USER, 1, 0));
    LRESULT fromOther = -1;
    std::thread([&] { fromOther = SendMessage(window, WM_USER, 1, 0); }).join();
    EXPECT_EQ(fromOther, 0);
  }
  DispatchMessages();
  EXPECT_TRUE(successor.log().empty());
  EXPECT_EQ(CreateMessageWindow("", WindowProc{}), 0) << "a window without a handler";
}

TEST(WindowMessagesTest, FindWindowByCaptionFromAnotherThread) {
  auto findElsewhere = [](std::string caption) {
    WindowHandle found = 0;
    std::thread([&] { found = FindWindowByCaption(caption); }).join();
    return found;
  };
  LoggingWindow older("Frameloom");
  auto newer = std::make_unique<LoggingWindow>("Frameloom");
  LoggingWindow control;

  EXPECT_EQ(findElsewhere("Frameloom"), newer->handle());
  EXPECT_EQ(findElsewhere(""), 0u) << "controls have no caption to be found by";
  EXPECT_EQ(findElsewhere("frameloom"), 0u);
  newer.reset();
  EXPECT_EQ(findElsewhere("Frameloom"), older.handle());
}

TEST(WindowMessagesTest, HookedLoopIsDrivenByWakesAndRunsTheWait) {
  LoggingWindow window;
  ASSERT_TRUE(PostMessage(window.handle(), WM_CONVERT_STAGE, 0, 0));
  std::vector<Received> expected{{WM_CONVERT_STAGE, 0}, {WM_CONVERT_STAGE, 1}, {PBM_SETPOS, 3}};
  {
    FakeEventLoop loop;
    EXPECT_EQ(loop.wakes(), 1) << "a message queued before hooking must wake the loop";
    Worker worker([&] {
      PostMessage(window.handle(), WM_CONVERT_STAGE, 1, 0);
      SendMessage(window.handle(), PBM_SETPOS, 3, 0);
    });
    WaitWithMessages(worker.thread());
    EXPECT_EQ(loop.runs(), 1);
    EXPECT_EQ(window.log(), expected);

    // The end of a worker that queues nothing is a wake of its own.
    Worker quiet([] {});
    WaitWithMessages(quiet.thread());
    EXPECT_EQ(loop.runs(), 2);
  }
  // Unhooked again: the wait dispatches by itself.
  Worker worker([&] { SendMessage(window.handle(), PBM_SETPOS, 4, 0); });
  WaitWithMessages(worker.thread());
  expected.push_back({PBM_SETPOS, 4});
  EXPECT_EQ(window.log(), expected);
}

TEST(WorkerThreadTest, ThreadLeavingThroughPthreadExitHasEnded) {
  Worker worker([] { pthread_exit(nullptr); });
  WaitWithMessages(worker.thread());
  EXPECT_TRUE(worker.thread().HasEnded());
}

TEST(WorkerThreadTest, WaitFromAThreadOtherThanTheStarterReturns) {
  std::atomic<bool> release{false};
  std::mutex mutex;
  std::condition_variable changed;
  Worker worker([&] {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return release.load(); });
  });
  std::thread waiter([&] { WaitWithMessages(worker.thread()); });
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  changed.notify_all();
  waiter.join();
  EXPECT_TRUE(worker.thread().HasEnded());
}

}  // namespace
