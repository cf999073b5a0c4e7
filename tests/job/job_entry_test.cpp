// The checks before a job creates anything, and the type checks and texts the front ends share.

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "fake_tools.h"
#include "job/file_types.h"
#include "job/stage_text.h"
#include "job/tool_commands.h"
#include "job_harness.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

struct RefusalCase {
  const char* name;
  std::string target;  // relative to the job folder
  std::string source;
  std::string message;  // empty: compare only that some message was shown
  friend void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }
};

class RefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, RefusedBeforeAnythingIsCreated) {
  const RefusalCase& c = GetParam();
  TempDir dir;
  job_testing::WriteFakeTools(dir.path(), {});
  testing_support::WriteFileText(dir / "clip.avi", "video");
  testing_support::WriteFileText(dir / "old.mox", "the user's old file");
  fs::create_directory(dir / "dotted.folder");
  const auto run = job_testing::RunJob(dir.path(), dir.path(), c.target.empty() ? "" : (dir / c.target).string(),
                                       c.source.empty() ? "" : (dir / c.source).string());
  EXPECT_EQ(run.outcome, JobOutcome::kFailed);
  ASSERT_EQ(run.messageBoxes.size(), 1u);
  if (!c.message.empty()) {
    EXPECT_EQ(run.messageBoxes[0], c.message);
  }
  EXPECT_TRUE(run.messages.empty());
  EXPECT_TRUE(job_testing::ReadToolLog(dir.path()).empty());
  EXPECT_EQ(testing_support::ReadFileText(dir / "old.mox"), "the user's old file");
  EXPECT_FALSE(fs::exists(dir / "new.mox"));
}

const std::string kNoDot = "输入文件格式不对, 请输入想要编辑的文件名如:XXX.avi等\n";
const std::string kMissing = "输入文件不存在, 请输入想要编辑的文件名如:XXX.avi\n";

INSTANTIATE_TEST_SUITE_P(
    Checks, RefusalTest,
    testing::Values(
        // The temporary folder's path has no dot, nor has the file name.
        RefusalCase{"SourceWithoutDot", "old.mox", "clip", kNoDot},
        RefusalCase{"DotOnlyInFolderNameStillNeedsTheFile", "old.mox", "dotted.folder/clip", kMissing},
        RefusalCase{"MissingSource", "old.mox", "absent.avi", kMissing},
        RefusalCase{"TargetFolderMissing", "no-folder/new.mox", "clip.avi", "Can't create the outputfile\n"},
        RefusalCase{"QuoteInTarget", "new\".mox", "clip.avi", ""},
        RefusalCase{"LineBreakInTarget", "new\n.mox", "clip.avi", ""},
        RefusalCase{"TooLongTarget", std::string(PATH_MAX, 'x') + ".mox", "clip.avi", ""}),
    [](const auto& info) { return info.param.name; });

TEST(JobEntryTest, SourceWithQuoteOrTabIsRefused) {
  for (const std::string name : {"a\"b.avi", "a\tb.avi", "a\rb.avi"}) {
    TempDir dir;
    job_testing::WriteFakeTools(dir.path(), {});
    testing_support::WriteFileText(dir / name, "video");
    const auto run = job_testing::RunJob(dir.path(), dir.path(), (dir / "new.mox").string(), (dir / name).string());
    ASSERT_EQ(run.messageBoxes.size(), 1u) << name;
    EXPECT_EQ(run.messageBoxes[0], "This path can't be used, as it holds a double quote, a tab or a line break: " +
                                       (dir / name).string() + "\n");
    EXPECT_FALSE(fs::exists(dir / "new.mox"));
  }
}

TEST(JobEntryTest, LeftoverFrameFilesInTempAreNamedAndKept) {
  for (const char* leftover : {"00000001.jpg", "00000003.jpg.bmp", "00000002.jpg_24.bmp"}) {
    TempDir dir;
    job_testing::WriteFakeTools(dir.path(), {});
    testing_support::WriteFileText(dir / "clip.avi", "video");
    fs::create_directory(dir / "temp");
    testing_support::WriteFileText(dir / "temp" / leftover, "earlier job");
    const auto run = job_testing::RunJob(dir.path(), dir.path(), (dir / "new.mox").string(), (dir / "clip.avi").string());
    ASSERT_EQ(run.messageBoxes.size(), 1u) << leftover;
    EXPECT_NE(run.messageBoxes[0].find((dir / "temp").string() + " holds frame files"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "temp" / leftover));
    EXPECT_FALSE(fs::exists(dir / "new.mox"));
  }
}

struct TypeCase {
  const char* path;
  bool source;
  bool target;
  const char* suffix;
};

TEST(FileTypesTest, LastFourCharactersLowerCased) {
  const TypeCase cases[] = {
      {"/v/CLIP.AVI", true, false, ".avi"},  {"/v/a.mov", true, false, ".mov"},
      {"/v/a.Mp4", true, false, ".mp4"},     {"/v/a.asf", true, false, ".asf"},
      {"/v/a.wmv", true, false, ".wmv"},     {"/v/a.3GP", true, false, ".3gp"},
      {"/v/movie.mpeg", false, false, "mpeg"}, {"/v/clip.avi.txt", false, false, ".txt"},
      {"avi", false, false, "avi"},          {"", false, false, ""},
      {"/v/clip.MOX", false, true, ".mox"},  {"/v/clip.mox.bak", false, false, ".bak"},
      // Four characters, not four bytes.
      {"/v/片段.影片", false, false, "段.影片"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSupportedSourceType(c.path), c.source) << c.path;
    EXPECT_EQ(IsSupportedTargetType(c.path), c.target) << c.path;
    EXPECT_EQ(FileTypeSuffix(c.path), c.suffix) << c.path;
  }
  EXPECT_EQ(UnsupportedSourceMessage("/v/movie.MPEG"), "mpeg不是支持的文件类型, 请重新输入能支持类型的单个文件\n");
}

TEST(StageTextTest, FiveStagesAndNothingBeyond) {
  const char* expected[] = {"1. Make avi...", "2. Make MP3...", "3. Make jpeg...", "4. Make mox...",
                            "5. Make complete"};
  for (WPARAM stage = 0; stage < 5; ++stage) EXPECT_STREQ(StageText(stage), expected[stage]);
  EXPECT_EQ(StageText(5), nullptr);
}

TEST(ToolCommandsTest, RawLinesAsBuilt) {
  g_startDirectory = "/opt/my tools";
  const std::string source = "/v/a b.avi";
  const std::pair<std::string, std::string> cases[] = {
      {ReduceVideoCommand(source),
       "/opt/my tools/Tools/mencoder.exe\t\"/v/a b.avi\" -oac mp3lame -ovc lavc -vf scale=160:120 -o "
       "\"/v/a b.avixrftemp.avi\" -ofps 8"},
      {ExtractSoundCommand(source),
       "/opt/my tools/Tools/mencoder.exe\t\"/v/a b.avi\" -of rawaudio -oac mp3lame -lameopts cbr:br=32 mode=3 "
       "padding=0 vol=9 -ovc lavc -o \"/v/a b.avi.mp3\""},
      {DumpFramesCommand(source), "/opt/my tools/Tools/mplayer.exe\t\"/v/a b.avixrftemp.avi\" -speed 10 -nosound -vo jpeg "},
      {PaletteBitmapCommand(12),
       "/opt/my tools/Tools/djpeg.exe -colors 256 -bmp -outfile ./temp/00000012.jpg.bmp  ./temp/00000012.jpg"},
      {TrueColorBitmapCommand(1),
       "/opt/my tools/Tools/djpeg.exe -bmp -outfile ./temp/00000001.jpg_24.bmp  ./temp/00000001.jpg"},
  };
  for (const auto& [built, expected] : cases) EXPECT_EQ(built, expected);
  g_startDirectory.clear();
}

}  // namespace
