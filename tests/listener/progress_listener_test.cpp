#include "job/progress_listener.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/progress_bar.h"
#include "platform/thread.h"
#include "platform/window_messages.h"

namespace {

using namespace std::string_literals;

// Only there so that a listener that never answers fails the case instead of hanging the run.
constexpr auto kHangGuard = std::chrono::seconds(30);

struct Message {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// The messages one window was given, in order. The fake tool waits here, on its own thread, until
// the listener's messages for a report have been handled.
class MessageLog {
 public:
  void Add(const Message& message) {
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
    added_.notify_all();
  }
  bool WaitForCount(std::size_t count) {
    std::unique_lock lock(mutex_);
    return added_.wait_for(lock, kHangGuard, [&] { return messages_.size() >= count; });
  }
  std::vector<Message> Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable added_;
  std::vector<Message> messages_;
};

// What one report put on the bar: the range's maximum and the position.
struct Shown {
  int maximum;
  int position;
  bool operator==(const Shown&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Shown& shown) {
  return out << "{0.." << shown.maximum << " at " << shown.position << "}";
}

// Every report must send PBM_SETRANGE (0 to max, max in the high half) and then PBM_SETPOS.
std::vector<Shown> ShownReports(const std::vector<Message>& messages) {
  EXPECT_EQ(messages.size() % 2, 0u);
  std::vector<Shown> shown;
  for (std::size_t i = 0; i + 1 < messages.size(); i += 2) {
    const Message& range = messages[i];
    const Message& position = messages[i + 1];
    EXPECT_EQ(range.message, PBM_SETRANGE);
    EXPECT_EQ(range.wParam, 0u);
    EXPECT_EQ(range.lParam & 0xFFFF, 0) << "the minimum is 0";
    EXPECT_EQ(position.message, PBM_SETPOS);
    EXPECT_EQ(position.lParam, 0);
    shown.push_back({static_cast<int>(range.lParam >> 16), static_cast<int>(position.wParam)});
  }
  return shown;
}

std::vector<int> StagesPosted(const std::vector<Message>& messages) {
  std::vector<int> stages;
  for (const Message& message : messages) {
    EXPECT_EQ(message.message, WM_CONVERT_STAGE);
    EXPECT_EQ(message.lParam, 0);
    stages.push_back(static_cast<int>(message.wParam));
  }
  return stages;
}

// A tool's end of the progress connection.
class FakeTool {
 public:
  FakeTool() : socket_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    // Every send leaves at once, so each is one receive for a listener that has taken the last.
    const int on = 1;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  ~FakeTool() { Close(); }
  FakeTool(const FakeTool&) = delete;
  FakeTool& operator=(const FakeTool&) = delete;

  // errno is left as connect set it.
  bool Connect() {
    const sockaddr_in address = testing_support::ProgressPortAddress();
    return connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  void Send(std::string_view bytes) {
    EXPECT_EQ(send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  void Close() {
    if (socket_ >= 0) close(socket_);
    socket_ = -1;
  }

 private:
  int socket_;
};

// Another program's listener on the progress port.
int ListenOnProgressPort() {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in address = testing_support::ProgressPortAddress();
  EXPECT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(listen(listener, 4), 0);
  return listener;
}

// A front end's side: the main window captioned "Frameloom" and the progress bar's window, owned by
// the test's thread, which dispatches while the job's side runs on a worker thread.
class ProgressListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bar_ = CreateMessageWindow("", [this](UINT message, WPARAM wParam, LPARAM lParam) {
      barLog_.Add({message, wParam, lParam});
      return LRESULT{0};
    });
    g_progressBar.Bind(bar_);
    mainWindow_ =
        CreateMessageWindow("Frameloom", [this](UINT message, WPARAM wParam, LPARAM lParam) {
          stageLog_.Add({message, wParam, lParam});
          return LRESULT{0};
        });
  }
  void TearDown() override {
    g_progressBar.Bind(0);
    DestroyMessageWindow(mainWindow_);
    DestroyMessageWindow(bar_);
  }

  // Runs the job's side as the pipeline does, on a worker thread, and returns when it has ended
  // and every message it left has been handled.
  void RunAsJob(std::function<void()> job) {
    auto worker = WorkerThread::Start(
        [](void* argument) { (*static_cast<std::function<void()>*>(argument))(); }, &job);
    ASSERT_NE(worker, nullptr);
    WaitWithMessages(*worker);
    DispatchMessages();
  }

  // One report from the tool; returns once the listener has shown it, so that the next send is a
  // receive of its own.
  void Report(FakeTool& tool, std::string_view bytes) {
    tool.Send(bytes);
    reportsSent_ += 1;
    EXPECT_TRUE(barLog_.WaitForCount(2 * reportsSent_)) << "no messages for '" << bytes << "'";
  }

  // One stage whose tool connects, sends these reports one receive each and closes.
  void RunStage(int stage, const std::vector<std::string>& reports) {
    if (StartProgressListener() != 1) {
      ADD_FAILURE() << "the listener did not start for stage " << stage;
      return;
    }
    BeginToolStage(stage);
    FakeTool tool;
    EXPECT_TRUE(tool.Connect());
    for (const std::string& report : reports) Report(tool, report);
    tool.Close();
    StopProgressListener();
  }

  std::vector<Shown> BarReports() const { return ShownReports(barLog_.Messages()); }
  std::vector<int> PostedStages() const { return StagesPosted(stageLog_.Messages()); }

  MessageLog barLog_;
  MessageLog stageLog_;

 private:
  WindowHandle bar_ = 0;
  WindowHandle mainWindow_ = 0;
  std::size_t reportsSent_ = 0;
};

struct ReportCase {
  const char* name;
  std::vector<std::string> receives;  // each sent once the listener has shown the one before
  std::vector<Shown> shown;           // what each receive put on the bar
};

void PrintTo(const ReportCase& reportCase, std::ostream* out) { *out << reportCase.name; }

class ReportParsingTest : public ProgressListenerTest,
                          public ::testing::WithParamInterface<ReportCase> {};

// Before a report names them, the position is 0 and the range the dialog opens with, 0 to 100.
const ReportCase kReportCases[] = {
    {"BothKeys", {"cur:12 Total:300"}, {{300, 12}}},
    {"KeysInTwoReports", {"Total:300", "cur:150"}, {{300, 0}, {300, 150}}},
    {"TotalKeepsLow16Bits", {"Total:70000"}, {{4464, 0}}},
    {"NegativeTotalIsFullRange", {"Total:-1"}, {{65535, 0}}},
    {"WhiteSpaceBeforeNumber", {"cur: 7"}, {{100, 7}}},
    {"NoDigitsGiveZero", {"cur:5", "cur:abc"}, {{100, 5}, {100, 0}}},
    {"NegativePosition", {"cur:-3"}, {{100, -3}}},
    {"ExplicitPlus", {"cur:+8 Total:+9"}, {{9, 8}}},
    {"NumberWrapsAt32Bits", {"cur:4294967297"}, {{100, 1}}},
    {"KeysAreCaseSensitive", {"cur:5 Total:9", "CUR:6 total:10"}, {{9, 5}, {9, 5}}},
    {"FirstOccurrenceCounts", {"cur:1 cur:2"}, {{100, 1}}},
    {"KeyAmongOtherText", {"frame 3: cur:42, Total:84 (50%)"}, {{84, 42}}},
    {"ReportWithoutKeysResends", {"Total:300 cur:10", "working"}, {{300, 10}, {300, 10}}},
    {"TextAfterZeroByteIgnored", {"cur:5\0Total:9"s}, {{100, 5}}},
    {"KeySplitAcrossReports", {"cu", "r:40"}, {{100, 0}, {100, 0}}},
    {"NumberSplitAcrossReports", {"cur:4", "0"}, {{100, 4}, {100, 4}}},
    {"KeyEndingAFullReport", {std::string(252, '.') + "cur:1234"}, {{100, 1234}}},
    {"KeyCutByAFullReport", {std::string(256, '.') + "cur:"}, {{100, 0}}},
    // A receive takes at most 260 bytes: the digits beyond them are the next report's.
    {"LongSendIsTwoReports",
     {std::string(252, '.') + "cur:1234" + "5678 Total:9000" + std::string(25, '.')},
     {{100, 1234}, {9000, 1234}}},
};

TEST_P(ReportParsingTest, ShowsEachReceive) {
  RunAsJob([&] { RunStage(0, GetParam().receives); });
  EXPECT_EQ(BarReports(), GetParam().shown);
  EXPECT_EQ(PostedStages(), std::vector<int>{0});
}

INSTANTIATE_TEST_SUITE_P(Reports, ReportParsingTest, ::testing::ValuesIn(kReportCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgressListenerTest, TwoJobsOfStagesInARow) {
  RunAsJob([&] {
    for (int job = 0; job < 2; ++job) {
      for (int stage = 0; stage < 3; ++stage) {
        RunStage(stage,
                 {"cur:" + std::to_string(stage) + " Total:" + std::to_string(10 * job + 10)});
      }
    }
  });
  EXPECT_EQ(BarReports(),
            (std::vector<Shown>{{10, 0}, {10, 1}, {10, 2}, {20, 0}, {20, 1}, {20, 2}}));
  EXPECT_EQ(PostedStages(), (std::vector<int>{0, 1, 2, 0, 1, 2}));
}

TEST_F(ProgressListenerTest, SecondConnectionIsRefused) {
  RunAsJob([&] {
    ASSERT_EQ(StartProgressListener(), 1);
    BeginToolStage(1);
    FakeTool first;
    EXPECT_TRUE(first.Connect());
    Report(first, "cur:1 Total:5");  // shown, so the listener has taken this connection
    FakeTool second;
    EXPECT_FALSE(second.Connect());
    EXPECT_EQ(errno, ECONNREFUSED);
    Report(first, "cur:2");
    first.Close();
    StopProgressListener();
  });
  EXPECT_EQ(BarReports(), (std::vector<Shown>{{5, 1}, {5, 2}}));
}

TEST_F(ProgressListenerTest, ToolThatNeverConnectsEndsWithTheStop) {
  RunAsJob([&] {
    ASSERT_EQ(StartProgressListener(), 1);
    BeginToolStage(2);
    StopProgressListener();
    FakeTool late;
    EXPECT_FALSE(late.Connect()) << "nothing may listen after the stop";
    EXPECT_EQ(StartProgressListener(), 1) << "the port is free for the next stage";
    StopProgressListener();
  });
  EXPECT_TRUE(BarReports().empty());
  EXPECT_EQ(PostedStages(), std::vector<int>{2});
}

TEST_F(ProgressListenerTest, ReportsOfAToolThatEndedBeforeTheListenerLookedAreShown) {
  RunAsJob([&] {
    ASSERT_EQ(StartProgressListener(), 1);
    BeginToolStage(0);
    {
      FakeTool quick;
      EXPECT_TRUE(quick.Connect());
      quick.Send("cur:7 Total:9");
    }
    StopProgressListener();
  });
  EXPECT_EQ(BarReports(), (std::vector<Shown>{{9, 7}}));
}

TEST_F(ProgressListenerTest, ConnectionLeftOpenDoesNotHoldTheStopOrThePort) {
  RunAsJob([&] {
    ASSERT_EQ(StartProgressListener(), 1);
    BeginToolStage(0);
    FakeTool lingering;
    EXPECT_TRUE(lingering.Connect());
    Report(lingering, "cur:3 Total:4");
    StopProgressListener();
    // The closed connection still holds the port on our side until the tool closes too.
    EXPECT_EQ(StartProgressListener(), 1);
    BeginToolStage(1);
    StopProgressListener();
  });
  EXPECT_EQ(BarReports(), (std::vector<Shown>{{4, 3}}));
  EXPECT_EQ(PostedStages(), (std::vector<int>{0, 1}));
}

// The failed start's thread must not pick up the earlier stage's socket number, which the other
// program's listener now very likely has.
TEST_F(ProgressListenerTest, PortTakenByAnotherProgramFailsTheStartAndStaysItsOwn) {
  RunAsJob([&] {
    ASSERT_EQ(StartProgressListener(), 1);
    BeginToolStage(0);
    StopProgressListener();

    const int other = ListenOnProgressPort();
    EXPECT_EQ(StartProgressListener(), 0);
    BeginToolStage(1);
    FakeTool tool;
    EXPECT_TRUE(tool.Connect());
    tool.Send("cur:9 Total:10");
    tool.Close();
    StopProgressListener();

    const int taken = accept4(other, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    EXPECT_GE(taken, 0) << "the connection belongs to the other program";
    char received[32] = {};
    EXPECT_EQ(recv(taken, received, sizeof received, 0), 14);
    EXPECT_STREQ(received, "cur:9 Total:10");
    close(taken);
    close(other);
  });
  EXPECT_TRUE(BarReports().empty());
  EXPECT_EQ(PostedStages(), (std::vector<int>{0, 1}));
}

}  // namespace
