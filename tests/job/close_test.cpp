// A close request during a conversion, handled as a front end handles it: the running tool is
// killed, the worker stops, and nothing that the job made is left, while the user's files stay.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fake_tools.h"
#include "job/job_state.h"
#include "job/stage_text.h"
#include "job_harness.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

enum class Moment { kStage, kBar };

struct CloseCase {
  const char* name;
  std::string stallingRun;  // the tool run that waits to be killed ("" for none)
  Moment when;              // a close request is posted at this announcement...
  WPARAM stage;             // ...of this stage (kStage), once the stalled tool has started
  int deltaCount;           // ...or at this PBM_DELTAPOS (kBar), while no tool runs
  friend void PrintTo(const CloseCase& c, std::ostream* out) { *out << c.name; }
};

void PostCloseRequest() { PostMessage(FindWindowByCaption(kMainWindowCaption), WM_CLOSE, 0, 0); }

// Waits (boundedly, on a thread of its own, as the stage's tool starts only after the announcement)
// for the stalled tool to have started, notes its process id and posts a close request.
std::thread CloseOnceTheToolStalls(const fs::path& folder, std::atomic<pid_t>& stalled) {
  return std::thread([folder, &stalled] {
    const fs::path pidFile = job_testing::StalledToolPidFile(folder);
    for (int i = 0; i < 1000; ++i) {
      std::error_code error;
      if (fs::exists(pidFile, error)) {
        const std::string text = testing_support::ReadFileText(pidFile);
        if (!text.empty() && text.back() == '\n') {
          stalled = std::stoi(text);
          break;
        }
      }
      usleep(10000);
    }
    PostCloseRequest();
  });
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.push_back(fs::relative(entry.path(), folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CloseTest : public testing::TestWithParam<CloseCase> {};

TEST_P(CloseTest, LeavesNothingOfTheJobAndKeepsTheUsersFiles) {
  const CloseCase& c = GetParam();
  TempDir dir;
  const fs::path films = dir / "films";
  const fs::path player = dir / "player";
  fs::create_directories(films);
  fs::create_directories(player);
  job_testing::WriteFakeTools(dir.path(), job_testing::FakeTools(8).Stall(c.stallingRun));
  testing_support::WriteFileText(films / "clip.avi", "video");
  testing_support::WriteFileText(films / "notes.txt", "the user's");
  testing_support::WriteFileText(player / "old.mox", "the user's");
  const std::vector<std::string> filmsBefore = Names(films);
  const std::vector<std::string> playerBefore = Names(player);

  std::atomic<pid_t> stalled{0};
  std::thread watcher;
  int deltas = 0;
  const auto run = job_testing::RunJob(
      dir.path(), player, (player / "clip.mox").string(), (films / "clip.avi").string(),
      [&](WPARAM stage) {
        if (c.when == Moment::kStage && stage == c.stage) watcher = CloseOnceTheToolStalls(dir.path(), stalled);
      },
      [&](const job_testing::ReceivedMessage& message) {
        if (c.when == Moment::kBar && message.message == PBM_DELTAPOS && ++deltas == c.deltaCount) {
          PostCloseRequest();
        }
      });

  if (watcher.joinable()) watcher.join();
  if (c.when == Moment::kStage) {
    EXPECT_NE(stalled.load(), 0) << "the stalled tool did not start";
  }

  // Source and target in different folders: the intermediates beside the source, "temp" beside the
  // target; all of it gone, everything else as it was.
  EXPECT_EQ(Names(films), filmsBefore);
  EXPECT_EQ(Names(player), playerBefore);
  EXPECT_EQ(g_outputFile.load(), nullptr);
  EXPECT_EQ(g_toolProcess.processId(), 0);
  if (stalled != 0) {
    // Reaped, not left as a zombie or an orphan.
    EXPECT_EQ(kill(stalled.load(), 0), -1);
    EXPECT_EQ(errno, ESRCH);
  }
  // Nothing claims completion after a cancel within the tool stages.
  if (c.when == Moment::kStage) {
    for (const auto& message : run.messages) {
      EXPECT_FALSE(message.message == WM_CONVERT_STAGE && message.wParam == 4);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Moments, CloseTest,
    testing::Values(CloseCase{"ShrinkingTheVideo", "0", Moment::kStage, 0, 0},
                    CloseCase{"ExtractingTheSound", "1", Moment::kStage, 1, 0},
                    CloseCase{"DumpingTheFrames", "2", Moment::kStage, 2, 0},
                    CloseCase{"InsideADjpegRun", "djpeg", Moment::kStage, 3, 0},
                    CloseCase{"BetweenTwoFrames", "", Moment::kBar, 0, 3},
                    // After the last frame no tool runs again: the sound copy and the header follow.
                    CloseCase{"DuringTheSoundCopy", "", Moment::kBar, 0, 8}),
    [](const auto& info) { return info.param.name; });

TEST(CloseTest, TempThatExistedBeforeTheJobKeepsTheUsersFiles) {
  TempDir dir;
  job_testing::WriteFakeTools(dir.path(), job_testing::FakeTools(8).Stall("djpeg"));
  testing_support::WriteFileText(dir / "clip.avi", "video");
  fs::create_directory(dir / "temp");
  testing_support::WriteFileText(dir / "temp" / "holiday.jpg", "the user's");
  std::atomic<pid_t> stalled{0};
  std::thread watcher;
  job_testing::RunJob(dir.path(), dir.path(), (dir / "clip.mox").string(), (dir / "clip.avi").string(),
                      [&](WPARAM stage) {
                        if (stage == 3) watcher = CloseOnceTheToolStalls(dir.path(), stalled);
                      });
  watcher.join();
  EXPECT_NE(stalled.load(), 0);
  EXPECT_EQ(Names(dir / "temp"), std::vector<std::string>{"holiday.jpg"});
  EXPECT_FALSE(fs::exists(dir / "clip.mox"));
  EXPECT_FALSE(fs::exists(dir / "clip.avixrftemp.avi"));
}

}  // namespace
