// Whole conversions with the real tools of the build's Tools folder: short clips that ffmpeg makes in
// each of the six containers, with and without sound, and the sample video. The file's header,
// records and sound must agree, and the decoded pictures must be the source's frames as far as 256
// colours and RGB565 allow.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "job/job_state.h"
#include "job_harness.h"
#include "mox_file.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr std::size_t kPixels = kWidth * kHeight;

void RunCommand(const std::string& command) {
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The source's frames as ffmpeg sees them at 8 frames per second and 160 × 120, RGB24.
std::vector<std::vector<std::uint8_t>> ReferenceFrames(const fs::path& source, const fs::path& folder) {
  const auto raw = folder / "reference.rgb";
  RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i '" + source.string() +
      "' -vf fps=8,scale=160:120 -f rawvideo -pix_fmt rgb24 '" + raw.string() + "'");
  const auto bytes = testing_support::ReadFileBytes(raw);
  std::vector<std::vector<std::uint8_t>> frames;
  for (std::size_t at = 0; at + kPixels * 3 <= bytes.size(); at += kPixels * 3) {
    frames.emplace_back(bytes.begin() + at, bytes.begin() + at + kPixels * 3);
  }
  return frames;
}

// The squared differences of all channels, on the 0-255 scale, between a decoded RGB565 picture and
// a reference RGB24 frame, summed.
double SquaredDifference(const std::vector<std::uint16_t>& picture, const std::vector<std::uint8_t>& reference) {
  double sum = 0;
  for (std::size_t p = 0; p < kPixels; ++p) {
    const std::uint16_t c = picture[p];
    const int red = (c >> 11) * 255 / 31, green = ((c >> 5) & 63) * 255 / 63, blue = (c & 31) * 255 / 31;
    for (const int difference : {red - reference[3 * p], green - reference[3 * p + 1], blue - reference[3 * p + 2]}) {
      sum += static_cast<double>(difference) * difference;
    }
  }
  return sum;
}

// Converts the source in its own folder and checks the file against the source's frames.
void ConvertAndCheck(const fs::path& source, bool withSound, double seconds) {
  const fs::path folder = source.parent_path();
  const auto target = folder / "out.mox";
  const auto run = job_testing::RunJob(FRAMELOOM_TOOLS_PARENT, folder, target.string(), source.string());
  ASSERT_EQ(run.outcome, JobOutcome::kComplete) << (run.messageBoxes.empty() ? "" : run.messageBoxes[0]);

  const auto bytes = testing_support::ReadFileBytes(target);
  const auto file = job_testing::ReadMoxFile(target);
  ASSERT_EQ(file.error, "");
  // What the player gets: a complete, consistent file whose sound is the 32 kbit/s mono stream asked for.
  EXPECT_TRUE(file.Complete()) << file.problem;
  EXPECT_TRUE(file.hasMagic);
  EXPECT_EQ(file.frameCount, file.records.size());
  EXPECT_EQ(file.framesPerSecond, 8);
  EXPECT_EQ(file.width, kWidth);
  EXPECT_EQ(file.height, kHeight);
  EXPECT_EQ(file.audioOffset + file.soundBytes.size(), bytes.size());
  EXPECT_NEAR(static_cast<double>(file.records.size()), seconds * 8, 2);
  if (withSound) {
    ASSERT_TRUE(file.sound.first.has_value());
    EXPECT_EQ(file.sound.first->layer, 3);
    EXPECT_EQ(file.sound.first->mode, ChannelMode::kMono);
    EXPECT_EQ(file.sound.lowestBitRate, 32000u);
    EXPECT_EQ(file.sound.highestBitRate, 32000u);
    EXPECT_NEAR(file.sound.seconds, file.PicturesSeconds(), 0.5);
  } else {
    EXPECT_EQ(file.soundLength, 0u);
  }

  const auto reference = ReferenceFrames(source, folder);
  ASSERT_GE(reference.size(), file.records.size() - 1);
  double squares = 0;
  std::size_t compared = 0;
  for (; compared < file.pictures.size() && compared < reference.size(); ++compared) {
    squares += SquaredDifference(file.pictures[compared], reference[compared]);
  }
  // 256 dithered colours per frame in RGB565 keep even the saturated edges of the test picture above
  // this; halving the colour resolution of the 160 x 120 frames on the way would take it to about 25.
  const double psnr = 10 * std::log10(255.0 * 255.0 * 3.0 * kPixels * static_cast<double>(compared) / squares);
  EXPECT_GT(psnr, 33.0);
  EXPECT_EQ(fs::exists(folder / "temp"), false);
  EXPECT_EQ(fs::exists(source.string() + "xrftemp.avi"), false);
  EXPECT_EQ(fs::exists(source.string() + ".mp3"), false);
}

struct ClipCase {
  const char* extension;
  const char* codecs;  // ffmpeg's codec options for the container
  bool sound;
  friend void PrintTo(const ClipCase& c, std::ostream* out) { *out << c.extension << (c.sound ? " with sound" : ""); }
};

class ContainerTest : public testing::TestWithParam<ClipCase> {};

TEST_P(ContainerTest, ClipBecomesAMatchingFile) {
  const ClipCase& c = GetParam();
  TempDir dir;
  const auto source = dir / (std::string("clip") + c.extension);
  const std::string audio = c.sound ? " -f lavfi -i sine=frequency=440:sample_rate=22050:duration=1.5" : "";
  RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25:duration=1.5" +
      audio + " " + c.codecs + (c.sound ? "" : " -an") + " '" + source.string() + "'");
  ConvertAndCheck(source, c.sound, 1.5);
}

std::string CaseName(const testing::TestParamInfo<ClipCase>& info) {
  return std::string(info.param.extension + 1) + (info.param.sound ? "WithSound" : "Silent");
}

INSTANTIATE_TEST_SUITE_P(
    Containers, ContainerTest,
    testing::Values(ClipCase{".avi", "-c:v mpeg4 -c:a libmp3lame", true}, ClipCase{".avi", "-c:v mpeg4", false},
                    ClipCase{".mov", "-c:v mpeg4 -c:a aac", true}, ClipCase{".mov", "-c:v mpeg4", false},
                    ClipCase{".mp4", "-c:v mpeg4 -c:a aac", true}, ClipCase{".mp4", "-c:v mpeg4", false},
                    ClipCase{".asf", "-c:v wmv2 -c:a wmav2", true}, ClipCase{".asf", "-c:v wmv2", false},
                    ClipCase{".wmv", "-c:v wmv2 -c:a wmav2", true}, ClipCase{".wmv", "-c:v wmv2", false},
                    ClipCase{".3gp", "-s 176x144 -c:v h263 -c:a aac -ac 1", true},
                    ClipCase{".3gp", "-s 176x144 -c:v h263", false}),
    CaseName);

TEST(SampleTest, SampleVideoBecomesAMatchingFile) {
  TempDir dir;
  const auto source = dir / "bottle-detection.mp4";
  fs::copy_file(fs::path(FRAMELOOM_SAMPLES_DIR) / "bottle-detection.mp4", source);
  const std::string probe = "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + source.string() + "' > '" +
                            (dir / "duration").string() + "'";
  RunCommand(probe);
  const double seconds = std::stod(testing_support::ReadFileText(dir / "duration"));
  ConvertAndCheck(source, false, seconds);
}

}  // namespace
