// Whole jobs with stand-in tools: what the output file holds for each way a job can end, the
// messages the front end receives, the command lines the tools receive, and what is left on disk.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "fake_tools.h"
#include "job/job_files.h"
#include "job/job_state.h"
#include "job_harness.h"
#include "mox_file.h"
#include "platform/progress_bar.h"
#include "support/test_support.h"

namespace {

using job_testing::FakeToolsOptions;
using job_testing::ReceivedMessage;
using testing_support::ReadFileBytes;
using testing_support::TempDir;

namespace fs = std::filesystem;

// A folder with the stand-in tools, a source video and the target beside it.
struct JobFolder {
  TempDir dir;
  fs::path source = dir / "clip.avi";
  fs::path target = dir / "clip.mox";

  explicit JobFolder(const FakeToolsOptions& options) {
    job_testing::WriteFakeTools(dir.path(), options);
    testing_support::WriteFileText(source, "not really a video");
  }
  job_testing::JobRun Run(const std::function<void(WPARAM)>& onStage = {}) {
    return job_testing::RunJob(dir.path(), dir.path(), target.string(), source.string(), onStage);
  }
  // Everything in the folder apart from the tools and their log.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      const auto relative = fs::relative(entry.path(), dir.path()).string();
      if (relative.rfind("Tools", 0) != 0 && relative != "tool-log" && relative != "fake-sound.mp3") {
        names.push_back(relative);
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

struct OutputCase {
  const char* name;
  FakeToolsOptions tools;
  JobOutcome outcome;
  std::size_t records;      // frame records in the file
  bool fullHeader;          // magic, fields and checksum; else 54 zero bytes
  bool sound;               // the fake MP3 behind the records
  std::vector<std::size_t> standaloneRecords;  // records coded without the previous frame
  friend void PrintTo(const OutputCase& c, std::ostream* out) { *out << c.name; }
};

class OutputTest : public testing::TestWithParam<OutputCase> {};

TEST_P(OutputTest, FileHoldsWhatTheJobCoded) {
  const OutputCase& c = GetParam();
  JobFolder folder(c.tools);
  const auto run = folder.Run();
  EXPECT_EQ(run.outcome, c.outcome);

  const auto bytes = ReadFileBytes(folder.target);
  const auto file = job_testing::ReadMoxFile(folder.target);
  ASSERT_EQ(file.error, "");
  EXPECT_EQ(file.records.size(), c.records);
  if (c.fullHeader) {
    EXPECT_TRUE(file.hasMagic);
    EXPECT_EQ(file.frameCount, c.records);  // the records written, not the images counted
    EXPECT_EQ(file.framesPerSecond, 8);
    EXPECT_EQ(file.width, 160);
    EXPECT_EQ(file.height, 120);
    unsigned sum = 0;
    for (int i = 0; i < 17; ++i) sum += file.header[i];
    EXPECT_EQ(file.checksum, sum % 256);
    EXPECT_TRUE(std::all_of(file.header.begin() + 17, file.header.begin() + 21, [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(file.header.begin() + 22, file.header.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(file.audioOffset + file.soundBytes.size(), bytes.size());
  } else {
    EXPECT_EQ(file.header, std::vector<std::uint8_t>(54, 0));
    EXPECT_EQ(run.standardOutput.find("Error: Convert frames is too small, pls check!\n") != std::string::npos, true);
    ASSERT_EQ(run.messageBoxes.size(), 1u);
    EXPECT_NE(run.messageBoxes[0].find("fewer than the 8"), std::string::npos) << run.messageBoxes[0];
  }
  EXPECT_EQ(file.soundBytes, c.sound ? job_testing::FakeSoundBytes() : std::vector<std::uint8_t>{});
  for (std::size_t i = 0; i < file.records.size(); ++i) {
    const bool expectStandalone = i == 0 || std::count(c.standaloneRecords.begin(), c.standaloneRecords.end(), i) != 0;
    EXPECT_EQ(file.records[i].standalone, expectStandalone) << "record " << i;
  }
  // Nothing of the job is left but the output.
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"clip.avi", "clip.mox"}));
}

INSTANTIATE_TEST_SUITE_P(
    Ends, OutputTest,
    testing::Values(
        OutputCase{"NoFrames", job_testing::FakeTools(0), JobOutcome::kFailed, 0, false, false, {}},
        OutputCase{"SevenFrames", job_testing::FakeTools(7), JobOutcome::kFailed, 7, false, false, {}},
        OutputCase{"EightFrames", job_testing::FakeTools(8), JobOutcome::kComplete, 8, true, true, {}},
        // Images 1-9 and 11-12: the loop ends at the gap, after nine records.
        OutputCase{"GapInNumbering", job_testing::FakeTools(12).Gap({10}), JobOutcome::kComplete, 9, true, true, {}},
        // Images 1-4 and 6-9: four records are too few, however many images there were.
        OutputCase{"GapLeavesTooFew", job_testing::FakeTools(9).Gap({5}), JobOutcome::kFailed, 4, false, false, {}},
        OutputCase{"MissingSound", job_testing::FakeTools(8).NoSound(), JobOutcome::kComplete, 8, true, false, {}},
        // Frame 3 without its 24-bit bitmap is coded on its own, and so is frame 4, which has no
        // previous plane to compare with.
        OutputCase{"MissingTrueColorBitmap", job_testing::FakeTools(8).NoTrueColor({3}), JobOutcome::kComplete, 8, true,
                   true, {2, 3}},
        OutputCase{"RefusedBitmap", job_testing::FakeTools(9).Refuse({4}), JobOutcome::kComplete, 8, true, true, {}},
        OutputCase{"RefusedBitmapLeavesTooFew", job_testing::FakeTools(8).Refuse({4}), JobOutcome::kFailed, 7, false,
                   false, {}}),
    [](const auto& info) { return info.param.name; });

TEST(PipelineTest, StandardOutputLines) {
  JobFolder folder(job_testing::FakeTools(8).NoSound().NoTrueColor({2}));
  const auto run = folder.Run();
  const std::string source = folder.source.string();
  const std::string expected = source + "\nclip.avi\n" + source + "\n" + folder.dir.path().string() + "/\n";
  EXPECT_EQ(run.standardOutput.substr(0, expected.size()), expected);
  EXPECT_NE(run.standardOutput.find("lack last frame compare\n"), std::string::npos);
  EXPECT_NE(run.standardOutput.find("Can't open the mp3 file: " + source + ".mp3\n"), std::string::npos);
}

std::vector<ReceivedMessage> ToolStages() {
  return {{WM_CONVERT_STAGE, 0, 0}, {WM_CONVERT_STAGE, 1, 0}, {WM_CONVERT_STAGE, 2, 0}, {WM_CONVERT_STAGE, 3, 0}};
}

TEST(PipelineTest, StageAndProgressMessagesInOrder) {
  JobFolder folder(job_testing::FakeTools(8));
  auto expected = ToolStages();
  expected.push_back({PBM_SETRANGE, 0, 10 << 16});
  expected.push_back({PBM_SETPOS, 0, 0});
  for (int frame = 0; frame < 8; ++frame) expected.push_back({PBM_DELTAPOS, 1, 0});
  expected.push_back({PBM_DELTAPOS, 1, 0});  // the sound
  expected.push_back({PBM_SETPOS, 10, 0});
  expected.push_back({WM_CONVERT_STAGE, 4, 0});
  EXPECT_EQ(folder.Run().messages, expected);
}

TEST(PipelineTest, FailedJobIsNotAnnouncedComplete) {
  JobFolder folder(job_testing::FakeTools(0));
  auto expected = ToolStages();
  expected.push_back({PBM_SETRANGE, 0, 2 << 16});
  expected.push_back({PBM_SETPOS, 0, 0});
  EXPECT_EQ(folder.Run().messages, expected);
}

TEST(PipelineTest, ToolsReceiveTheirCommandLines) {
  JobFolder folder(job_testing::FakeTools(8));
  folder.Run();
  const auto runs = job_testing::ReadToolLog(folder.dir.path());
  ASSERT_EQ(runs.size(), 3u + 2 * 8);
  const std::string tools = (folder.dir / "Tools").string();
  const std::string source = folder.source.string();
  using Arguments = std::vector<std::string>;
  EXPECT_EQ(runs[0], (Arguments{tools + "/mencoder.exe", source, "-oac", "mp3lame", "-ovc", "lavc", "-vf",
                                "scale=160:120", "-o", source + "xrftemp.avi", "-ofps", "8"}));
  EXPECT_EQ(runs[1], (Arguments{tools + "/mencoder.exe", source, "-of", "rawaudio", "-oac", "mp3lame", "-lameopts",
                                "cbr:br=32", "mode=3", "padding=0", "vol=9", "-ovc", "lavc", "-o", source + ".mp3"}));
  EXPECT_EQ(runs[2], (Arguments{tools + "/mplayer.exe", source + "xrftemp.avi", "-speed", "10", "-nosound", "-vo",
                                "jpeg"}));
  EXPECT_EQ(runs[3], (Arguments{tools + "/djpeg.exe", "-colors", "256", "-bmp", "-outfile",
                                "./temp/00000001.jpg.bmp", "./temp/00000001.jpg"}));
  EXPECT_EQ(runs[4], (Arguments{tools + "/djpeg.exe", "-bmp", "-outfile", "./temp/00000001.jpg_24.bmp",
                                "./temp/00000001.jpg"}));
  EXPECT_EQ(runs[18], (Arguments{tools + "/djpeg.exe", "-bmp", "-outfile", "./temp/00000008.jpg_24.bmp",
                                 "./temp/00000008.jpg"}));
}

TEST(PipelineTest, UsersFilesBesideTheJobSurvive) {
  JobFolder folder(job_testing::FakeTools(8));
  // A "temp" of the user's own, with a picture in it, is used but neither emptied nor removed.
  fs::create_directory(folder.dir / "temp");
  testing_support::WriteFileText(folder.dir / "temp" / "holiday.jpg", "mine");
  testing_support::WriteFileText(folder.dir / "clip.avi.txt", "notes");
  EXPECT_EQ(folder.Run().outcome, JobOutcome::kComplete);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"clip.avi", "clip.avi.txt", "clip.mox", "temp",
                                                        "temp/holiday.jpg"}));
}

TEST(PipelineTest, TwoJobsInARowMakeTheSameFile) {
  JobFolder folder(job_testing::FakeTools(9).NoTrueColor({5}));
  ASSERT_EQ(folder.Run().outcome, JobOutcome::kComplete);
  const auto first = ReadFileBytes(folder.target);
  ASSERT_EQ(folder.Run().outcome, JobOutcome::kComplete);
  EXPECT_EQ(ReadFileBytes(folder.target), first);
}

// Holds 127.0.0.1:5000 as another program would.
class PortHolder {
 public:
  PortHolder() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Only a listener holds the port against the job, not connections of earlier tests in TIME_WAIT.
    const int reuse = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    const sockaddr_in address = testing_support::ProgressPortAddress();
    bound_ = bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 && listen(fd_, 1) == 0;
  }
  ~PortHolder() { close(fd_); }
  bool bound() const { return bound_; }

 private:
  int fd_ = -1;
  bool bound_ = false;
};

TEST(PipelineTest, PortTakenIsToldAndLeavesNothing) {
  JobFolder folder(job_testing::FakeTools(8));
  PortHolder holder;
  ASSERT_TRUE(holder.bound());
  const auto run = folder.Run();
  EXPECT_EQ(run.outcome, JobOutcome::kFailed);
  ASSERT_EQ(run.messageBoxes.size(), 1u);
  EXPECT_NE(run.messageBoxes[0].find("127.0.0.1:5000"), std::string::npos);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_TRUE(job_testing::ReadToolLog(folder.dir.path()).empty());
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"clip.avi"}));
}

TEST(PipelineTest, MissingToolIsNamedWithItsFolder) {
  JobFolder folder(job_testing::FakeTools(8));
  fs::remove(folder.dir / "Tools" / "mplayer.exe");
  const auto run = folder.Run();
  EXPECT_EQ(run.outcome, JobOutcome::kFailed);
  ASSERT_EQ(run.messageBoxes.size(), 1u);
  EXPECT_EQ(run.messageBoxes[0], "Can't start the tool mplayer.exe: it is missing from " +
                                     (folder.dir / "Tools").string() + " or can't be run.\n");
  EXPECT_EQ(run.messages, (std::vector<ReceivedMessage>{{WM_CONVERT_STAGE, 0, 0}, {WM_CONVERT_STAGE, 1, 0},
                                                        {WM_CONVERT_STAGE, 2, 0}}));
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"clip.avi"}));
}

TEST(PipelineTest, FailedWriteIsToldAndTheBrokenOutputRemoved) {
  JobFolder folder(job_testing::FakeTools(8));
  fs::create_symlink("/dev/full", folder.target);
  const auto run = folder.Run();
  EXPECT_EQ(run.outcome, JobOutcome::kFailed);
  ASSERT_EQ(run.messageBoxes.size(), 1u);
  EXPECT_EQ(run.messageBoxes[0],
            "Can't write the output file " + folder.target.string() + ": No space left on device\n");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"clip.avi"}));
}

}  // namespace
