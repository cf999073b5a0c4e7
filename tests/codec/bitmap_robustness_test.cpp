// Both readers over a collection of odd and malformed bitmaps: each is read correctly or refused with
// a message. Run under the sanitizers to catch out-of-bounds access.

#include <gtest/gtest.h>

#include <limits>

#include "codec/bitmap_input.h"
#include "codec/frame_encoder.h"
#include "codec_fixture.h"

namespace codec_testing {
namespace {

struct Sample {
  std::string name;
  BitmapLayout layout;
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> FillPixels(BitmapLayout layout) {
  const std::size_t pixels = static_cast<std::size_t>(layout.width) * layout.height;
  for (std::size_t p = 0; p < pixels; ++p) {
    layout.indices.push_back(static_cast<std::uint8_t>(p * 37));
    layout.colours.push_back({static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(p * 3), static_cast<std::uint8_t>(p * 7)});
  }
  if (layout.bitCount <= 8 && layout.palette.empty()) layout.palette.assign(std::size_t{1} << layout.bitCount, Bgr{1, 2, 3});
  return BuildBitmap(layout);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

// Only an uncompressed bitmap of the reader's depth with a Windows info header (or a later one) and a
// size that fits a frame record can be read.
bool Readable(const BitmapLayout& layout, std::uint16_t bitCount) {
  return layout.bitCount == bitCount && layout.compression == 0 && layout.infoSize >= 40;
}

std::vector<Sample> WellFormedSamples() {
  std::vector<Sample> samples;
  for (const std::uint16_t bitCount : {1, 4, 8, 16, 24, 32}) {
    for (const std::uint32_t compression : {0u, 1u, 2u, 3u}) {
      for (const std::uint32_t infoSize : {12u, 16u, 40u, 64u, 108u, 124u}) {
        for (const bool topDown : {false, true}) {
          for (const auto& [width, height] : {std::pair{5, 3}, std::pair{1, 1}, std::pair{0, 4}, std::pair{7, 0}}) {
            BitmapLayout layout{.width = width, .height = height, .topDown = topDown, .bitCount = bitCount,
                                .compression = compression, .infoSize = infoSize};
            Sample sample{testing::PrintToString(bitCount) + " bits, compression " + std::to_string(compression) +
                              ", info " + std::to_string(infoSize) + (topDown ? ", top-down " : ", bottom-up ") +
                              std::to_string(width) + "x" + std::to_string(height),
                          layout, FillPixels(layout)};
            samples.push_back(std::move(sample));
          }
        }
      }
    }
  }
  return samples;
}

class BitmapRobustnessTest : public CodecTest {
 protected:
  // Reads `bytes` as the frame's 256-colour bitmap; true when it was read.
  bool ReadAsIndexed(const std::vector<std::uint8_t>& bytes, std::string& printed) {
    CapturedStdout out;
    const bool read = Read(bytes, std::nullopt);
    printed = out.Text();
    return read;
  }
  // Reads `bytes` as the 24-bit bitmap beside a readable 256-colour one of `width` × `height`; true
  // when it gave a plane.
  bool ReadAsTrueColor(const std::vector<std::uint8_t>& bytes, std::int32_t width, std::int32_t height,
                       std::string& printed) {
    BitmapLayout indexed{.width = width, .height = height};
    CapturedStdout out;
    EXPECT_TRUE(Read(FillPixels(indexed), bytes));
    printed = out.Text();
    return g_currentPlane != nullptr;
  }
};

TEST_F(BitmapRobustnessTest, EveryDepthCompressionAndHeader) {
  for (const Sample& sample : WellFormedSamples()) {
    SCOPED_TRACE(sample.name);
    const BitmapLayout& layout = sample.layout;
    std::string printed;
    const bool indexedRead = ReadAsIndexed(sample.bytes, printed);
    ASSERT_EQ(indexedRead, Readable(layout, 8)) << printed;
    if (indexedRead) {
      ASSERT_EQ(printed, "");
      ASSERT_EQ(g_frameWidth, layout.width);
      ASSERT_EQ(g_frameHeight, layout.height);
      const std::uint8_t* plane = g_indexedFrame.get() + kIndexedFramePaletteBytes;
      for (std::size_t p = 0; p < static_cast<std::size_t>(layout.width) * layout.height; ++p) {
        ASSERT_EQ(plane[p], static_cast<std::uint8_t>(p * 37)) << p;
      }
    } else {
      ASSERT_NE(printed, "");
    }

    const bool trueColorRead = ReadAsTrueColor(sample.bytes, layout.width, layout.height, printed);
    ASSERT_EQ(trueColorRead, Readable(layout, 24)) << printed;
    if (trueColorRead) {
      ASSERT_EQ(printed, "");
      for (std::size_t p = 0; p < static_cast<std::size_t>(layout.width) * layout.height; ++p) {
        const auto b = static_cast<std::uint8_t>(p), g = static_cast<std::uint8_t>(p * 3), r = static_cast<std::uint8_t>(p * 7);
        ASSERT_EQ(g_currentPlane[p], ToRgb565(r, g, b)) << p;
      }
    } else {
      ASSERT_NE(printed, "");
    }
  }
}

TEST_F(BitmapRobustnessTest, TruncatedAnywhere) {
  for (const std::uint32_t infoSize : {40u, 124u}) {
    for (const std::uint16_t bitCount : {8, 24}) {
      const BitmapLayout layout{.width = 5, .height = 3, .bitCount = bitCount, .infoSize = infoSize};
      const std::vector<std::uint8_t> whole = FillPixels(layout);
      for (std::size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE(testing::Message() << bitCount << " bits, info " << infoSize << ", cut to " << length);
        const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        std::string printed;
        if (bitCount == 8) {
          ASSERT_FALSE(ReadAsIndexed(cut, printed));
        } else {
          ASSERT_FALSE(ReadAsTrueColor(cut, 5, 3, printed));
        }
        ASSERT_NE(printed, "");
      }
    }
  }
}

TEST_F(BitmapRobustnessTest, HugeSizesAndFarPixelOffsets) {
  constexpr std::uint32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Odd {
    const char* name;
    std::uint32_t width, height, pixelOffset;
    bool readable;
  };
  const BitmapLayout layout{.width = 5, .height = 3};
  const std::vector<std::uint8_t> whole = FillPixels(layout);
  const auto size = static_cast<std::uint32_t>(whole.size());
  for (const Odd odd : {
           Odd{"widest", kMax, 1, 1078, false},
           Odd{"tallest", 1, kMax, 1078, false},
           Odd{"most negative height", 1, 0x80000000u, 1078, false},
           Odd{"tallest top-down", 1, static_cast<std::uint32_t>(-static_cast<std::int32_t>(kMax)), 1078, false},
           Odd{"no columns, most rows", 0, kMax, 1078, true},
           Odd{"no rows, most columns", kMax, 0, 1078, true},
           Odd{"product wraps to small", 0x10001, 0x10000, 1078, false},
           Odd{"all bits set", 0xFFFFFFFFu, 0xFFFFFFFFu, 1078, false},
           Odd{"offset at the end", 5, 3, size, false},
           Odd{"offset one past the end", 5, 3, size + 1, false},
           Odd{"offset at 4 GiB", 5, 3, 0xFFFFFFFFu, false},
       }) {
    SCOPED_TRACE(odd.name);
    std::vector<std::uint8_t> bytes = whole;
    Put32(bytes, 10, odd.pixelOffset);
    Put32(bytes, 18, odd.width);
    Put32(bytes, 22, odd.height);
    std::string printed;
    ASSERT_EQ(ReadAsIndexed(bytes, printed), odd.readable) << printed;
    ASSERT_EQ(printed.empty(), odd.readable) << printed;

    bytes[28] = 24;
    ASSERT_FALSE(ReadAsTrueColor(bytes, 5, 3, printed));
    ASSERT_NE(printed, "");
  }
}

TEST_F(BitmapRobustnessTest, Os2CoreHeaderIsRefused) {
  // 12-byte header: 16-bit width, height, planes and bit count; 3-byte palette entries.
  constexpr std::uint32_t kPixelOffset = 26 + 256 * 3;
  std::vector<std::uint8_t> bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0, 2, 0, 2, 0, 1, 0, 8, 0};
  Put32(bytes, 10, kPixelOffset);
  bytes.resize(kPixelOffset + 8, 0x11);
  std::string printed;
  EXPECT_FALSE(ReadAsIndexed(bytes, printed));
  EXPECT_EQ(printed, "Bitmap header type is not supported!\n");
  bytes[24] = 24;
  EXPECT_FALSE(ReadAsTrueColor(bytes, 2, 2, printed));
  EXPECT_EQ(printed, "Bitmap header type is not supported!\n");
}

}  // namespace
}  // namespace codec_testing
