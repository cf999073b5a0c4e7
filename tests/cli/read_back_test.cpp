// frameloom-cli inspect and decode on a film converted with the real tools, and on files that are
// broken or in the way.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>

#include "cli/frame_images.h"
#include "cli_runner.h"
#include "container/mox_reader.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileText;
using testing_support::TempDir;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

RgbImage ReadPng(const fs::path& path) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&png, path.c_str()) == 0) return {};
  png.format = PNG_FORMAT_RGB;
  RgbImage image{png.width, png.height, std::vector<std::uint8_t>(PNG_IMAGE_SIZE(png))};
  if (png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr) == 0) return {};
  return image;
}

std::string Probe(const fs::path& video, const std::string& entries) {
  const std::string command = "ffprobe -v error -show_entries " + entries + " -of csv=p=0 '" + video.string() + "'";
  std::string text;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char block[256];
    while (std::fgets(block, sizeof block, pipe) != nullptr) text += block;
    pclose(pipe);
  }
  return text;
}

// Two seconds of a moving test picture with a tone, converted once for all cases.
class ReadBackTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempDir;
    const std::string make =
        "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=320x240:rate=25:duration=2 "
        "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -c:v mpeg4 -c:a aac -shortest '" +
        (*folder_ / "clip.mp4").string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const CliRun convert = RunCli(folder_->path(), "convert clip.mp4 clip.mox");
    ASSERT_EQ(convert.status, 0) << convert.err;
  }
  static void TearDownTestSuite() { delete folder_; }

  static TempDir* folder_;
};
TempDir* ReadBackTest::folder_ = nullptr;

TEST_F(ReadBackTest, ARealConversionInspectsClean) {
  const CliRun text = RunCli(folder_->path(), "inspect clip.mox");
  EXPECT_EQ(text.status, 0) << text.out;
  EXPECT_TRUE(Contains(text.out, "header      magic XRF, 16 frames, 8 frames/s, 160 x 120, audioOffset ")) << text.out;
  EXPECT_TRUE(Contains(text.out, "of MPEG-2 layer III, 32 kbit/s, mono, 24000 Hz, ")) << text.out;
  EXPECT_TRUE(Contains(text.out, "duration    pictures 2.000 s (16 frames / 8), sound ")) << text.out;
  EXPECT_TRUE(text.out.ends_with("verdict     complete and consistent\n")) << text.out;

  const CliRun json = RunCli(folder_->path(), "inspect --json clip.mox");
  EXPECT_EQ(json.status, 0);
  EXPECT_TRUE(json.out.starts_with("{\n  \"complete\": true,\n  \"problem\": null,\n")) << json.out;
  EXPECT_TRUE(Contains(json.out, "\"frameCount\": 16, \"framesPerSecond\": 8, \"width\": 160, \"height\": 120"))
      << json.out;
  EXPECT_TRUE(Contains(json.out, "{\"frame\": 1, \"offset\": 54, ")) << json.out;
  EXPECT_TRUE(Contains(json.out,
                       "\"version\": \"MPEG-2\", \"layer\": 3, \"lowestBitRate\": 32000, \"highestBitRate\": 32000, "
                       "\"mode\": \"mono\", \"sampleRate\": 24000"))
      << json.out;
}

TEST_F(ReadBackTest, DecodeWritesTheFramesASheetAndAPreview) {
  TempDir out;
  const fs::path film = *folder_ / "clip.mox";
  const CliRun run =
      RunCli(out.path(), "decode --sheet sheet.png --preview preview.mp4 '" + film.string() + "' frames");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "16 frames written to frames\ncontact sheet of 16 frames written to sheet.png\n"
            "preview written to preview.mp4\n");

  // Each PNG is the picture the reader decodes, skips resolved from the frame before.
  std::vector<Picture> pictures;
  InspectMoxFile(film.string(), [&](std::size_t, const Picture& picture) { pictures.push_back(picture); });
  ASSERT_EQ(pictures.size(), 16u);
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%08zu.png", i + 1);
    const RgbImage png = ReadPng(out / "frames" / name);
    EXPECT_EQ(png.width, 160u) << name;
    EXPECT_EQ(png.pixels, ToRgbImage(pictures[i], 160, 120).pixels) << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(out / "frames"), fs::directory_iterator()), 16);

  const RgbImage sheet = ReadPng(out / "sheet.png");
  EXPECT_EQ(sheet.width, 8 * 164 + 4u);
  EXPECT_EQ(sheet.height, 2 * (120 + 18 + 4) + 4u);

  // Pictures at 8 frames per second for exactly the film's two seconds, and its sound beside them.
  EXPECT_EQ(Probe(out / "preview.mp4", "stream=codec_name,width,height,r_frame_rate"), "h264,160,120,8/1\nmp3,0/0\n");
  EXPECT_EQ(Probe(out / "preview.mp4", "stream=start_time").substr(0, 9), "0.000000\n");
  EXPECT_EQ(Probe(out / "preview.mp4", "stream=duration").substr(0, 9), "2.000000\n");
}

TEST_F(ReadBackTest, DecodeReplacesNothing) {
  TempDir out;
  const std::string film = "'" + (*folder_ / "clip.mox").string() + "'";
  fs::create_directory(out / "frames");
  testing_support::WriteFileText(out / "frames" / "00000016.png", "mine");
  testing_support::WriteFileText(out / "sheet.png", "mine too");
  const std::pair<std::string, std::string> cases[] = {
      {"decode " + film + " frames", "frames/00000016.png exists already"},
      {"decode --sheet sheet.png " + film, "sheet.png exists already"},
      {"decode --preview sheet.png " + film, "sheet.png exists already"},
  };
  for (const auto& [arguments, message] : cases) {
    const CliRun run = RunCli(out.path(), arguments);
    EXPECT_EQ(run.status, 1) << arguments;
    EXPECT_TRUE(Contains(run.err, message)) << arguments << ": " << run.err;
  }
  EXPECT_EQ(ReadFileText(out / "frames" / "00000016.png"), "mine");
  EXPECT_EQ(ReadFileText(out / "sheet.png"), "mine too");
  EXPECT_EQ(std::distance(fs::directory_iterator(out / "frames"), fs::directory_iterator()), 1);
}

TEST_F(ReadBackTest, BrokenFilesAreNamedAndExitWithOne) {
  TempDir out;
  auto bytes = testing_support::ReadFileBytes(*folder_ / "clip.mox");
  bytes.resize(bytes.size() - 10);  // a copy cut short
  testing_support::WriteFileBytes(out / "cut.mox", bytes);
  std::fill(bytes.begin(), bytes.begin() + 54, 0);  // and one never finished
  testing_support::WriteFileBytes(out / "unfinished.mox", bytes);

  const CliRun cut = RunCli(out.path(), "inspect cut.mox");
  EXPECT_EQ(cut.status, 1);
  EXPECT_TRUE(Contains(cut.out, "verdict     NOT SOUND: sound: the last frame is cut short")) << cut.out;
  const CliRun cutJson = RunCli(out.path(), "inspect --json cut.mox");
  EXPECT_EQ(cutJson.status, 1);
  EXPECT_TRUE(cutJson.out.starts_with("{\n  \"complete\": false,\n  \"problem\": \"sound: the last frame is cut short"))
      << cutJson.out;
  // The frames of a cut file are whole and still decode; the exit says the file is not.
  const CliRun cutDecode = RunCli(out.path(), "decode cut.mox frames");
  EXPECT_EQ(cutDecode.status, 1);
  EXPECT_EQ(cutDecode.out, "16 frames written to frames\n");

  const CliRun unfinished = RunCli(out.path(), "inspect unfinished.mox");
  EXPECT_EQ(unfinished.status, 1);
  EXPECT_TRUE(Contains(unfinished.out, "verdict     NOT SOUND: no magic: the header is still the zero placeholder"))
      << unfinished.out;
  const CliRun unfinishedDecode = RunCli(out.path(), "decode unfinished.mox more");
  EXPECT_EQ(unfinishedDecode.status, 1);
  EXPECT_TRUE(Contains(unfinishedDecode.err, "there is no frame size")) << unfinishedDecode.err;
  EXPECT_FALSE(fs::exists(out / "more"));

  const CliRun missing = RunCli(out.path(), "inspect nowhere.mox");
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Contains(missing.out, "can't read nowhere.mox: No such file or directory")) << missing.out;
}

}  // namespace
