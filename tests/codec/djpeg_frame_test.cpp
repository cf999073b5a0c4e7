// The bitmaps the real djpeg writes for a frame are read and coded as djpeg meant them. The bitmaps
// are parsed here a second time, independently, to tell what the chunk must show.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "codec/bitmap_input.h"
#include "codec/frame_encoder.h"
#include "codec_fixture.h"
#include "support/test_support.h"

namespace codec_testing {
namespace {

constexpr char kDjpeg[] = "/usr/bin/djpeg";
constexpr char kCjpeg[] = "/usr/bin/cjpeg";
constexpr int kWidth = 50;  // rows of 50 and 150 bytes, both padded in the files
constexpr int kHeight = 30;

std::uint32_t Field(const std::vector<std::uint8_t>& bmp, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | bmp.at(at + i);
  return value;
}

std::uint16_t Rgb565(int red, int green, int blue) {
  return static_cast<std::uint16_t>((red >> 3) << 11 | (green >> 2) << 5 | blue >> 3);
}

// The picture of an uncompressed 8- or 24-bit bitmap, top row first, in RGB565.
std::vector<std::uint16_t> PictureOf(const std::vector<std::uint8_t>& bmp) {
  const std::uint32_t pixelOffset = Field(bmp, 10, 4);
  const auto width = static_cast<std::int32_t>(Field(bmp, 18, 4));
  const auto height = static_cast<std::int32_t>(Field(bmp, 22, 4));
  const std::uint32_t bitCount = Field(bmp, 28, 2);
  EXPECT_EQ(Field(bmp, 30, 4), 0u);
  EXPECT_EQ(width, kWidth);
  EXPECT_EQ(std::abs(height), kHeight);
  const std::size_t paletteAt = 14 + Field(bmp, 14, 4);
  const std::size_t stride = (bitCount * width + 31) / 32 * 4;
  std::vector<std::uint16_t> picture;
  for (int y = 0; y < kHeight; ++y) {
    const std::size_t rowAt = pixelOffset + stride * (height > 0 ? kHeight - 1 - y : y);
    for (int x = 0; x < kWidth; ++x) {
      const std::uint8_t* bgr = bitCount == 8 ? &bmp.at(paletteAt + 4 * bmp.at(rowAt + x)) : &bmp.at(rowAt + 3 * x);
      picture.push_back(Rgb565(bgr[2], bgr[1], bgr[0]));
    }
  }
  return picture;
}

class DjpegFrameTest : public CodecTest {
 protected:
  void SetUp() override {
    CodecTest::SetUp();
    ASSERT_TRUE(std::filesystem::exists(kDjpeg)) << kDjpeg << " is missing: run scripts/setup.sh";
    ASSERT_TRUE(std::filesystem::exists(kCjpeg)) << kCjpeg << " is missing: run scripts/setup.sh";
  }

  // A colourful scene with a few flat areas, as a frame of a film would have.
  void MakeJpeg(const std::filesystem::path& jpeg) {
    std::string ppm = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const bool box = x >= 10 && x < 25 && y >= 5 && y < 20;
        ppm += static_cast<char>(box ? 250 : x * 5);
        ppm += static_cast<char>(box ? 200 : y * 8);
        ppm += static_cast<char>(box ? 20 : (x + y) * 3);
      }
    }
    const std::filesystem::path ppmFile = dir_ / "frame.ppm";
    testing_support::WriteFileText(ppmFile, ppm);
    Run(std::string(kCjpeg) + " -quality 90 -outfile " + jpeg.string() + " " + ppmFile.string());
  }

  void Run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

  testing_support::TempDir dir_;
};

TEST_F(DjpegFrameTest, ReadsAndCodesWhatDjpegWrote) {
  const std::filesystem::path jpeg = dir_ / "00000001.jpg";
  const std::filesystem::path indexed = dir_ / "00000001.bmp";
  const std::filesystem::path trueColor = dir_ / "00000001_24.bmp";
  MakeJpeg(jpeg);
  Run(std::string(kDjpeg) + " -colors 256 -bmp -outfile " + indexed.string() + "  " + jpeg.string());
  Run(std::string(kDjpeg) + " -bmp -outfile " + trueColor.string() + "  " + jpeg.string());
  const std::vector<std::uint8_t> indexedBytes = testing_support::ReadFileBytes(indexed);
  const std::vector<std::uint8_t> trueColorBytes = testing_support::ReadFileBytes(trueColor);
  ASSERT_EQ(Field(indexedBytes, 28, 2), 8u);
  ASSERT_EQ(Field(trueColorBytes, 28, 2), 24u);
  const std::vector<std::uint16_t> quantised = PictureOf(indexedBytes);
  const std::vector<std::uint16_t> trueColours = PictureOf(trueColorBytes);

  constexpr std::size_t kPixels = kWidth * kHeight;
  ASSERT_TRUE(Encode(indexedBytes, trueColorBytes));
  EXPECT_EQ(g_frameWidth, kWidth);
  EXPECT_EQ(g_frameHeight, kHeight);
  ASSERT_NE(g_currentPlane, nullptr);
  EXPECT_EQ(std::vector<std::uint16_t>(g_currentPlane.get(), g_currentPlane.get() + kPixels), trueColours);
  const auto first = DecodeChunk(NewOutput(), kPixels);
  ASSERT_EQ(first.error, "");
  EXPECT_TRUE(first.standalone);
  EXPECT_EQ(first.picture, quantised);

  // The same frame again is skipped whole.
  ASSERT_TRUE(Encode(indexedBytes, trueColorBytes));
  const auto second = DecodeChunk(NewOutput(), kPixels, first.picture);
  ASSERT_EQ(second.error, "");
  EXPECT_EQ(second.runs, (std::vector<RunCode>{{RunType::kSkip, kPixels}}));
}

}  // namespace
}  // namespace codec_testing
