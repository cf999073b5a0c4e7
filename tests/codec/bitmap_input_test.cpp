#include <gtest/gtest.h>

#include <functional>

#include "codec/bitmap_input.h"
#include "codec/frame_encoder.h"
#include "codec_fixture.h"

namespace codec_testing {
namespace {

std::vector<std::uint16_t> CurrentPlane() {
  const std::size_t pixels = static_cast<std::size_t>(g_frameWidth) * g_frameHeight;
  return g_currentPlane ? std::vector<std::uint16_t>(g_currentPlane.get(), g_currentPlane.get() + pixels)
                        : std::vector<std::uint16_t>{};
}

std::vector<std::uint16_t> PreviousPlane() {
  const std::size_t pixels = static_cast<std::size_t>(g_frameWidth) * g_frameHeight;
  return g_previousPlane ? std::vector<std::uint16_t>(g_previousPlane.get(), g_previousPlane.get() + pixels)
                         : std::vector<std::uint16_t>{};
}

std::vector<std::uint8_t> IndexPlane() {
  const std::size_t pixels = static_cast<std::size_t>(g_frameWidth) * g_frameHeight;
  const std::uint8_t* plane = g_indexedFrame.get() + kIndexedFramePaletteBytes;
  return {plane, plane + pixels};
}

std::uint16_t PaletteEntry(std::size_t index) {
  return static_cast<std::uint16_t>(g_indexedFrame[2 * index] | g_indexedFrame[2 * index + 1] << 8);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

// Width 5: each 8-bit row has three pad bytes, each 24-bit row one.
BitmapLayout FiveByThree(std::uint16_t bitCount, bool topDown) {
  BitmapLayout layout{.width = 5, .height = 3, .topDown = topDown, .bitCount = bitCount};
  for (std::uint8_t i = 0; i < 15; ++i) {
    layout.indices.push_back(static_cast<std::uint8_t>(10 + i));
    layout.colours.push_back({static_cast<std::uint8_t>(8 * i), static_cast<std::uint8_t>(4 * i),
                              static_cast<std::uint8_t>(255 - 8 * i)});
  }
  if (bitCount == 8) layout.palette.assign(256, Bgr{0x10, 0x20, 0x30});
  return layout;
}

using BitmapInputTest = CodecTest;

TEST_F(BitmapInputTest, ConvertsPaletteEntriesAndTrueColoursToRgb565) {
  struct Case {
    Bgr channels;
    std::uint16_t expected;
  };
  for (const Case c : {Case{{0x12, 0x34, 0x56}, 0x51A2}, Case{{0xFF, 0xFF, 0xFF}, 0xFFFF},
                       Case{{0x00, 0x00, 0xFF}, 0xF800}, Case{{0xFF, 0x00, 0x00}, 0x001F}}) {
    SCOPED_TRACE(testing::Message() << std::hex << c.expected);
    BitmapLayout indexed{.width = 1, .height = 1, .palette = {c.channels}, .indices = {0}};
    indexed.palette.resize(256, Bgr{});
    const BitmapLayout trueColor{.width = 1, .height = 1, .bitCount = 24, .colours = {c.channels}};
    ASSERT_TRUE(Read(BuildBitmap(indexed), BuildBitmap(trueColor)));
    EXPECT_EQ(g_indexedFrame[0], c.expected & 0xFF);
    EXPECT_EQ(g_indexedFrame[1], c.expected >> 8);
    EXPECT_EQ(CurrentPlane(), std::vector<std::uint16_t>{c.expected});
  }
}

TEST_F(BitmapInputTest, PlanesReadTopRowFirstWithoutPadding) {
  for (const bool indexedTopDown : {false, true}) {
    for (const bool trueColorTopDown : {false, true}) {
      SCOPED_TRACE(testing::Message() << "top-down: " << indexedTopDown << " " << trueColorTopDown);
      const BitmapLayout indexed = FiveByThree(8, indexedTopDown);
      const BitmapLayout trueColor = FiveByThree(24, trueColorTopDown);
      ASSERT_TRUE(Read(BuildBitmap(indexed), BuildBitmap(trueColor)));
      EXPECT_EQ(g_frameWidth, 5);
      EXPECT_EQ(g_frameHeight, 3);
      EXPECT_EQ(IndexPlane(), indexed.indices);
      std::vector<std::uint16_t> expected;
      for (const Bgr& colour : trueColor.colours) expected.push_back(ToRgb565(colour.red, colour.green, colour.blue));
      EXPECT_EQ(CurrentPlane(), expected);
    }
  }
}

TEST_F(BitmapInputTest, PaletteSitsBehindWhicheverInfoHeader) {
  for (const std::uint32_t infoSize : {40u, 108u, 124u}) {
    SCOPED_TRACE(infoSize);
    BitmapLayout indexed = FiveByThree(8, false);
    indexed.infoSize = infoSize;
    for (std::size_t i = 0; i < 256; ++i) indexed.palette[i] = FromRgb565(static_cast<std::uint16_t>(i * 0x0101));
    BitmapLayout trueColor = FiveByThree(24, false);
    trueColor.infoSize = infoSize;
    ASSERT_TRUE(Read(BuildBitmap(indexed), BuildBitmap(trueColor)));
    for (std::size_t i = 0; i < 256; ++i) ASSERT_EQ(PaletteEntry(i), i * 0x0101) << i;
    EXPECT_EQ(IndexPlane(), indexed.indices);
    EXPECT_NE(g_currentPlane, nullptr);
  }
}

TEST_F(BitmapInputTest, SmallPaletteStillGives256Entries) {
  // Four entries; the 256 read from behind the header run on into the pixel rows, then past the file's
  // end. Only the first four are ever selected.
  const BitmapLayout indexed{.width = 4,
                             .height = 2,
                             .palette = {FromRgb565(0xF800), FromRgb565(0x07E0), FromRgb565(0x001F), FromRgb565(0xFFFF)},
                             .indices = {0, 1, 2, 3, 3, 2, 1, 0}};
  ASSERT_TRUE(Read(BuildBitmap(indexed), std::nullopt));
  EXPECT_EQ(PaletteEntry(0), 0xF800);
  EXPECT_EQ(PaletteEntry(1), 0x07E0);
  EXPECT_EQ(PaletteEntry(2), 0x001F);
  EXPECT_EQ(PaletteEntry(3), 0xFFFF);
  EXPECT_EQ(PaletteEntry(4), ToRgb565(1, 2, 3));  // the bottom row, stored first: indices 3 2 1 0
  EXPECT_EQ(PaletteEntry(5), ToRgb565(2, 1, 0));
  for (std::size_t i = 6; i < 256; ++i) ASSERT_EQ(PaletteEntry(i), 0) << i;
  EXPECT_EQ(IndexPlane(), indexed.indices);
}

struct Refusal {
  const char* name;
  std::function<void(std::vector<std::uint8_t>& indexed)> spoil;
  const char* message;
};

void PrintTo(const Refusal& refusal, std::ostream* os) { *os << refusal.name; }

class IndexedRefusalTest : public CodecTest, public testing::WithParamInterface<Refusal> {};

TEST_P(IndexedRefusalTest, RefusesAndChangesNothing) {
  const BitmapLayout indexed = FiveByThree(8, false);
  const BitmapLayout trueColor = FiveByThree(24, false);
  ASSERT_TRUE(Read(BuildBitmap(indexed), BuildBitmap(trueColor)));
  ASSERT_TRUE(Read(BuildBitmap(indexed), BuildBitmap(trueColor)));
  const std::uint8_t* frame = g_indexedFrame.get();
  const std::uint16_t* current = g_currentPlane.get();
  const std::uint16_t* previous = g_previousPlane.get();

  std::vector<std::uint8_t> spoilt = BuildBitmap(indexed);
  GetParam().spoil(spoilt);
  CapturedStdout out;
  EXPECT_FALSE(Read(spoilt, BuildBitmap(trueColor)));
  EXPECT_EQ(out.Text(), GetParam().message);
  EXPECT_EQ(g_frameWidth, 5);
  EXPECT_EQ(g_frameHeight, 3);
  EXPECT_EQ(g_indexedFrame.get(), frame);
  EXPECT_EQ(g_currentPlane.get(), current);
  EXPECT_EQ(g_previousPlane.get(), previous);
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, IndexedRefusalTest,
    testing::Values(
        Refusal{"NotABitmap", [](auto& b) { b[0] = 'P'; }, "file type error!"},
        Refusal{"Empty", [](auto& b) { b.clear(); }, "file type error!"},
        Refusal{"RunLengthCoded", [](auto& b) { Put32(b, 30, 1); }, "暂不支持该类型位图\n"},
        Refusal{"BitFields", [](auto& b) { Put32(b, 30, 3); }, "暂不支持该类型位图\n"},
        Refusal{"TwentyFourBits", [](auto& b) { b[28] = 24; }, "Not 256 color"},
        Refusal{"FourBits", [](auto& b) { b[28] = 4; }, "Not 256 color"},
        Refusal{"Os2Header", [](auto& b) { Put32(b, 14, 12); }, "Bitmap header type is not supported!\n"},
        Refusal{"NegativeWidth", [](auto& b) { Put32(b, 18, static_cast<std::uint32_t>(-5)); },
                "Bitmap width is negative!\n"},
        Refusal{"SizeOverflows",
                [](auto& b) {
                  Put32(b, 18, 0x10000);
                  Put32(b, 22, 0x10000);
                },
                "Bitmap size is too large!\n"},
        Refusal{"HeightOverflows", [](auto& b) { Put32(b, 22, 0x80000000u); }, "Bitmap size is too large!\n"},
        Refusal{"TooLargeForARecord",
                [](auto& b) {
                  Put32(b, 18, 1047549);
                  Put32(b, 22, 1);
                },
                "Bitmap is too large for a frame record!\n"},
        Refusal{"FileHeaderCut", [](auto& b) { b.resize(9); }, "Bitmap file is truncated!\n"},
        Refusal{"InfoHeaderCut", [](auto& b) { b.resize(40); }, "Bitmap file is truncated!\n"},
        Refusal{"LastRowCut", [](auto& b) { b.resize(b.size() - 1); }, "Bitmap file is truncated!\n"},
        Refusal{"PixelOffsetPastTheEnd", [](auto& b) { Put32(b, 10, 0xFFFFFF00u); }, "Bitmap file is truncated!\n"}),
    [](const testing::TestParamInfo<Refusal>& info) { return info.param.name; });

struct TrueColorRefusal {
  const char* name;
  std::function<std::optional<std::vector<std::uint8_t>>()> bitmap;
  const char* message;
};

void PrintTo(const TrueColorRefusal& refusal, std::ostream* os) { *os << refusal.name; }

class TrueColorRefusalTest : public CodecTest, public testing::WithParamInterface<TrueColorRefusal> {};

TEST_P(TrueColorRefusalTest, LeavesNoCurrentPlane) {
  const BitmapLayout indexed = FiveByThree(8, false);
  ASSERT_TRUE(Read(BuildBitmap(indexed), BuildBitmap(FiveByThree(24, false))));
  CapturedStdout out;
  ASSERT_TRUE(Read(BuildBitmap(indexed), GetParam().bitmap()));
  EXPECT_EQ(out.Text(), GetParam().message);
  EXPECT_EQ(g_currentPlane, nullptr);
  EXPECT_NE(g_previousPlane, nullptr);
  EXPECT_EQ(IndexPlane(), indexed.indices);
}

std::vector<std::uint8_t> SpoiltTrueColor(const std::function<void(std::vector<std::uint8_t>&)>& spoil) {
  std::vector<std::uint8_t> bytes = BuildBitmap(FiveByThree(24, false));
  spoil(bytes);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, TrueColorRefusalTest,
    testing::Values(
        TrueColorRefusal{"Missing", [] { return std::nullopt; }, ""},
        TrueColorRefusal{"NotABitmap", [] { return SpoiltTrueColor([](auto& b) { b[1] = 'A'; }); }, "file type error!"},
        TrueColorRefusal{"RunLengthCoded", [] { return SpoiltTrueColor([](auto& b) { Put32(b, 30, 2); }); },
                         "暂不支持该类型位图\n"},
        TrueColorRefusal{"EightBits", [] { return BuildBitmap(FiveByThree(8, false)); }, "Not 24 color"},
        TrueColorRefusal{"OtherWidth", [] { return SpoiltTrueColor([](auto& b) { Put32(b, 18, 4); }); },
                         "24-bit bitmap size differs from the 256 color bitmap!\n"},
        TrueColorRefusal{"OtherHeight", [] { return SpoiltTrueColor([](auto& b) { Put32(b, 22, 4); }); },
                         "24-bit bitmap size differs from the 256 color bitmap!\n"},
        TrueColorRefusal{"LastRowCut", [] { return SpoiltTrueColor([](auto& b) { b.pop_back(); }); },
                         "Bitmap file is truncated!\n"},
        TrueColorRefusal{"PixelOffsetPastTheEnd",
                         [] { return SpoiltTrueColor([](auto& b) { Put32(b, 10, 1000); }); },
                         "Bitmap file is truncated!\n"}),
    [](const testing::TestParamInfo<TrueColorRefusal>& info) { return info.param.name; });

TEST_F(BitmapInputTest, PlanesMoveOnByOneFrame) {
  BitmapLayout first = FiveByThree(24, false);
  BitmapLayout second = FiveByThree(24, false);
  for (Bgr& colour : second.colours) colour.red = static_cast<std::uint8_t>(colour.red ^ 0x80);
  const auto plane = [](const BitmapLayout& layout) {
    std::vector<std::uint16_t> values;
    for (const Bgr& colour : layout.colours) values.push_back(ToRgb565(colour.red, colour.green, colour.blue));
    return values;
  };
  const std::vector<std::uint8_t> indexed = BuildBitmap(FiveByThree(8, false));

  ASSERT_TRUE(Read(indexed, BuildBitmap(first)));
  EXPECT_EQ(g_previousPlane, nullptr);
  EXPECT_EQ(CurrentPlane(), plane(first));
  ASSERT_TRUE(Read(indexed, BuildBitmap(second)));
  EXPECT_EQ(PreviousPlane(), plane(first));
  EXPECT_EQ(CurrentPlane(), plane(second));
}

TEST_F(BitmapInputTest, LargestFrameCodesTheLongestChunk) {
  // Every pixel a literal: prefix, palette, the pixels and 256 literal codes make 2^20 - 1 bytes.
  constexpr std::int32_t kPixels = 1047548;
  Frame frame{kPixels, 1, {0xF800, 0x001F}, {}, {}};
  for (std::int32_t p = 0; p < kPixels; ++p) frame.indices.push_back(static_cast<std::uint8_t>(p % 2));
  ASSERT_TRUE(Encode(IndexedBitmap(frame), std::nullopt));
  const std::vector<std::uint8_t> chunk = NewOutput();
  ASSERT_EQ(chunk.size(), 0xFFFFFu);
  EXPECT_EQ(chunk[0], 0xFF);
  EXPECT_EQ(chunk[1], 0xFF);
  EXPECT_EQ(chunk[2], 0xF1);
  const auto decoded = DecodeChunk(chunk, kPixels);
  ASSERT_EQ(decoded.error, "");
  EXPECT_EQ(decoded.picture, PaletteColours(frame));
}

}  // namespace
}  // namespace codec_testing
