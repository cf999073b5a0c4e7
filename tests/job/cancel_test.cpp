// A close request during a job: the worker stops at its next cancel point without touching the
// output or any file, and the record tells the canceller exactly what to remove.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "fake_tools.h"
#include "job/job_files.h"
#include "job/job_state.h"
#include "job_harness.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

// What the close handler does first: raise the flag, then end the running tool.
void RequestCancel() {
  g_cancelRequested = 1;
  g_toolProcess.Terminate();
}

struct CancelCase {
  const char* name;
  std::string stallingRun;  // the tool run that waits to be killed
  WPARAM cancelAtStage;     // the announcement whose handler requests the cancel...
  std::size_t runsBefore;   // ...once this many tool runs have begun
  std::string fileBefore;   // ...and this file exists, if named
  std::size_t mostRuns;     // tool runs begun by the end
  bool frameDumpStarted;
  friend void PrintTo(const CancelCase& c, std::ostream* out) { *out << c.name; }
};

// Waits (boundedly) until the stalling tool has got as far as the case needs.
void WaitUntilTheToolsGotThere(const fs::path& folder, const CancelCase& c) {
  for (int i = 0; i < 1000; ++i) {
    const bool fileThere = c.fileBefore.empty() || fs::exists(folder / c.fileBefore);
    if (fileThere && job_testing::ReadToolLog(folder).size() >= c.runsBefore) return;
    usleep(10000);
  }
  FAIL() << "the tools did not get there";
}

class CancelTest : public testing::TestWithParam<CancelCase> {};

TEST_P(CancelTest, WorkerStopsAndRecordNamesTheJobsFiles) {
  const CancelCase& c = GetParam();
  TempDir dir;
  job_testing::WriteFakeTools(dir.path(), job_testing::FakeTools(8).Stall(c.stallingRun));
  testing_support::WriteFileText(dir / "clip.avi", "video");
  testing_support::WriteFileText(dir / "notes.txt", "the user's");
  const auto target = dir / "clip.mox";
  const auto run = job_testing::RunJob(dir.path(), dir.path(), target.string(), (dir / "clip.avi").string(),
                                       [&](WPARAM stage) {
                                         if (stage != c.cancelAtStage) return;
                                         WaitUntilTheToolsGotThere(dir.path(), c);
                                         RequestCancel();
                                       });
  EXPECT_EQ(run.outcome, JobOutcome::kCancelled);
  const std::size_t runs = job_testing::ReadToolLog(dir.path()).size();
  EXPECT_GE(runs, c.runsBefore);
  EXPECT_LE(runs, c.mostRuns);
  EXPECT_TRUE(run.messageBoxes.empty());
  // No stage is announced after the cancel.
  const auto lastStage = std::find_if(run.messages.rbegin(), run.messages.rend(),
                                      [](const auto& m) { return m.message == WM_CONVERT_STAGE; });
  ASSERT_NE(lastStage, run.messages.rend());
  EXPECT_EQ(lastStage->wParam, c.cancelAtStage);
  // The output stays open for the close handler.
  std::FILE* output = g_outputFile.exchange(nullptr);
  ASSERT_NE(output, nullptr);
  std::fclose(output);

  const JobFiles files = CurrentJobFiles();
  EXPECT_EQ(files.target, target.string());
  EXPECT_EQ(files.workDirectory, dir.path().string());
  EXPECT_EQ(files.frameDumpStarted, c.frameDumpStarted);
  EXPECT_FALSE(files.tempExisted);
  fs::remove(files.target);
  RemoveJobIntermediates(files);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path())) left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Tools", "clip.avi", "fake-sound.mp3", "notes.txt", "tool-log"}));
}

INSTANTIATE_TEST_SUITE_P(
    Points, CancelTest,
    testing::Values(
        // Stage 1's tool is killed; stage 2 never starts, the reduced video of stage 0 stays for the
        // canceller.
        CancelCase{"DuringSoundStage", "1", 1, 2, "", 2, false},
        // Killed once the frame tool has left its images: the canceller finds them in "temp".
        CancelCase{"DuringFrameDump", "2", 2, 3, "temp/00000008.jpg", 3, true},
        // Requested while no tool runs: the next djpeg run is started (and ended at once), and the
        // worker stops after it.
        CancelCase{"DuringFrameStage", "", 3, 3, "", 4, true}),
    [](const auto& info) { return info.param.name; });

TEST(CancelTest, WorkerLeavesTheIntermediatesToTheCanceller) {
  TempDir dir;
  job_testing::WriteFakeTools(dir.path(), job_testing::FakeTools(8).Stall("1"));
  testing_support::WriteFileText(dir / "clip.avi", "video");
  job_testing::RunJob(dir.path(), dir.path(), (dir / "clip.mox").string(), (dir / "clip.avi").string(),
                      [](WPARAM stage) {
                        if (stage == 1) RequestCancel();
                      });
  std::FILE* output = g_outputFile.exchange(nullptr);
  ASSERT_NE(output, nullptr);
  std::fclose(output);
  EXPECT_TRUE(fs::exists(dir / "clip.avixrftemp.avi"));
  EXPECT_TRUE(fs::exists(dir / "clip.mox"));
}

}  // namespace
