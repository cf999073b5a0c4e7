#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "codec/bitmap_input.h"
#include "codec/frame_encoder.h"
#include "codec_fixture.h"
#include "container/output_file.h"

namespace codec_testing {
namespace {

using Runs = std::vector<RunCode>;
constexpr RunType kSkip = RunType::kSkip, kFill = RunType::kFill, kLiteral = RunType::kLiteral;

constexpr std::uint16_t kBlack = 0x0000, kWhite = 0xFFFF, kRed = 0xF800, kBlue = 0x001F;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  return {values.begin(), values.end()};
}

std::vector<std::uint8_t> PaletteBytes(const std::vector<std::uint16_t>& palette) {
  std::vector<std::uint8_t> bytes(512, 0);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(palette[i]);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(palette[i] >> 8);
  }
  return bytes;
}

std::vector<std::uint8_t> Chunk(std::initializer_list<int> prefix, const std::vector<std::uint16_t>& palette,
                                std::initializer_list<int> runs) {
  std::vector<std::uint8_t> chunk = Bytes(prefix);
  const std::vector<std::uint8_t> paletteBytes = PaletteBytes(palette);
  chunk.insert(chunk.end(), paletteBytes.begin(), paletteBytes.end());
  chunk.insert(chunk.end(), runs.begin(), runs.end());
  return chunk;
}

// No two neighbours in pixel order share a colour.
Frame Alternating(std::int32_t width, std::int32_t height) {
  Frame frame{width, height, {kRed, kBlue}, {}, {}};
  for (std::int32_t p = 0; p < width * height; ++p) frame.indices.push_back(static_cast<std::uint8_t>(p % 2));
  return frame;
}

using FrameEncoderTest = CodecTest;

TEST_F(FrameEncoderTest, CodesTheTwoFrameExampleByteForByte) {
  const std::vector<std::uint16_t> palette{kBlack, kWhite, kRed, kBlue};
  const Frame first{8, 2, palette, {2, 2, 2, 2, 2, 2, 2, 2, 0, 1, 0, 1, 0, 1, 0, 1}, {}};
  const Frame second{8, 2, palette, {2, 2, 2, 2, 2, 2, 2, 2, 3, 1, 0, 1, 0, 1, 0, 3}, {}};

  ASSERT_TRUE(Encode(first));
  EXPECT_EQ(NewOutput(), Chunk({0x10, 0x02, 0x01}, palette,
                               {0x20, 0x08, 0x02, 0x30, 0x08, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01}));
  ASSERT_TRUE(Encode(second));
  EXPECT_EQ(NewOutput(),
            Chunk({0x0F, 0x02, 0x00}, palette, {0x10, 0x08, 0x30, 0x08, 0x03, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x03}));
}

TEST_F(FrameEncoderTest, FullSizeFramesWithoutNeighboursAndUnchanged) {
  const Frame frame = Alternating(160, 120);
  ASSERT_TRUE(Encode(frame));
  const std::vector<std::uint8_t> first = NewOutput();
  ASSERT_EQ(first.size(), 19725u);
  EXPECT_EQ(Bytes({first[0], first[1], first[2]}), Bytes({0x0D, 0x4D, 0x01}));
  const auto decodedFirst = DecodeChunk(first, 19200);
  ASSERT_EQ(decodedFirst.error, "");
  EXPECT_EQ(decodedFirst.runs, (Runs{{kLiteral, 4095}, {kLiteral, 4095}, {kLiteral, 4095}, {kLiteral, 4095},
                                     {kLiteral, 2820}}));
  EXPECT_EQ(Bytes({first[515], first[516]}), Bytes({0x3F, 0xFF}));
  EXPECT_EQ(Bytes({first[515 + 4 * 4097], first[516 + 4 * 4097]}), Bytes({0x3B, 0x04}));
  EXPECT_EQ(decodedFirst.picture, PaletteColours(frame));

  ASSERT_TRUE(Encode(frame));
  EXPECT_EQ(NewOutput(), Chunk({0x0D, 0x02, 0x00}, frame.palette,
                               {0x1F, 0xFF, 0x1F, 0xFF, 0x1F, 0xFF, 0x1F, 0xFF, 0x1B, 0x04}));
}

TEST_F(FrameEncoderTest, ZeroPixelFramesHoldOnlyThePalette) {
  for (const auto& [width, height] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    ASSERT_TRUE(Encode(Frame{width, height, {kWhite}, {}, {}}));
    EXPECT_EQ(NewOutput(), Chunk({0x03, 0x02, 0x01}, {kWhite}, {}));
  }
}

// One frame coded after an optional previous one; the runs of the second chunk tell the choice.
struct RunCase {
  const char* name;
  std::int32_t width, height;
  std::vector<std::uint16_t> palette;
  std::vector<std::uint8_t> previousIndices;  // empty: the frame is the first of its job
  std::vector<std::uint8_t> indices;
  Runs expected;
};

std::vector<std::uint8_t> Repeat(std::size_t count, std::uint8_t index) { return std::vector<std::uint8_t>(count, index); }

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class RunChoiceTest : public CodecTest, public testing::WithParamInterface<RunCase> {};

TEST_P(RunChoiceTest, ChoosesRuns) {
  const RunCase& c = GetParam();
  const std::size_t pixels = static_cast<std::size_t>(c.width) * c.height;
  std::vector<std::uint16_t> previousPicture;
  if (!c.previousIndices.empty()) {
    const Frame previous{c.width, c.height, c.palette, c.previousIndices, {}};
    ASSERT_TRUE(Encode(previous));
    NewOutput();
    previousPicture = PaletteColours(previous);
  }
  const Frame frame{c.width, c.height, c.palette, c.indices, {}};
  ASSERT_TRUE(Encode(frame));
  const auto decoded = DecodeChunk(NewOutput(), pixels, previousPicture);
  ASSERT_EQ(decoded.error, "");
  EXPECT_EQ(decoded.runs, c.expected);
  EXPECT_EQ(decoded.picture, PaletteColours(frame));
}

// Palette: 0 red, 1 blue, 2 white, 3 black.
const std::vector<std::uint16_t> kFour{kRed, kBlue, kWhite, kBlack};

INSTANTIATE_TEST_SUITE_P(
    Frames, RunChoiceTest,
    testing::Values(
        // Seven unchanged pixels, then a fill of eight reaching one pixel further: the longer fill wins.
        RunCase{"SkipSevenLosesToFillEight", 9, 1, kFour, Concat({Repeat(7, 0), {1, 1}}),
                Concat({Repeat(8, 0), {1}}), {{kFill, 8}, {kLiteral, 1}}},
        RunCase{"SkipEightBeatsEqualFill", 9, 1, kFour, Concat({Repeat(8, 0), {1}}), Concat({Repeat(8, 0), {2}}),
                {{kSkip, 8}, {kLiteral, 1}}},
        RunCase{"SixUnchangedAreLiterals", 7, 1, kFour, {0, 1, 0, 1, 0, 1, 0}, {0, 1, 0, 1, 0, 1, 1},
                {{kLiteral, 7}}},
        RunCase{"SevenUnchangedAreASkip", 8, 1, kFour, {0, 1, 0, 1, 0, 1, 0, 0}, {0, 1, 0, 1, 0, 1, 0, 1},
                {{kSkip, 7}, {kLiteral, 1}}},
        RunCase{"SixOfOneColourAreLiterals", 8, 1, kFour, {}, {2, 2, 2, 2, 2, 2, 0, 1}, {{kLiteral, 8}}},
        RunCase{"LongFillIsCutAt4095", 4103, 1, kFour, {}, Concat({Repeat(4100, 3), {0, 1, 0}}),
                {{kFill, 4095}, {kLiteral, 8}}},
        RunCase{"LongSkipIsCutAt4095", 4100, 1, kFour, Concat({Repeat(4099, 3), {0}}),
                Concat({Repeat(4099, 3), {1}}), {{kSkip, 4095}, {kLiteral, 5}}},
        RunCase{"RunsGoOnAcrossRowEnds", 4, 3, kFour, {}, Concat({Repeat(8, 2), {0, 1, 0, 1}}),
                {{kFill, 8}, {kLiteral, 4}}},
        RunCase{"LiteralsBetweenRuns", 20, 1, kFour, {}, Concat({{0, 1}, Repeat(7, 2), {0, 1, 0}, Repeat(8, 3)}),
                {{kLiteral, 2}, {kFill, 7}, {kLiteral, 3}, {kFill, 8}}}),
    [](const testing::TestParamInfo<RunCase>& info) { return info.param.name; });

TEST_F(FrameEncoderTest, FillJoinsEqualColoursUnderDifferentIndices) {
  std::vector<std::uint16_t> palette(6, kBlack);
  palette[1] = palette[5] = kWhite;
  const Frame frame{9, 1, palette, {1, 5, 1, 5, 5, 1, 1, 5, 0}, {}};
  ASSERT_TRUE(Encode(frame));
  EXPECT_EQ(NewOutput(), Chunk({0x09, 0x02, 0x01}, palette, {0x20, 0x08, 0x01, 0x30, 0x01, 0x00}));
}

TEST_F(FrameEncoderTest, SkipsFollowTrueColoursNotIndices) {
  // The index of each pixel changes while its true colour stays: every pixel is skipped.
  const Frame first{8, 1, {kRed, kBlue}, {0, 1, 0, 1, 0, 1, 0, 1}, std::vector<std::uint16_t>(8, kWhite)};
  Frame second = first;
  second.indices = {1, 0, 1, 0, 1, 0, 1, 0};
  ASSERT_TRUE(Encode(first));
  NewOutput();
  ASSERT_TRUE(Encode(second));
  EXPECT_EQ(DecodeChunk(NewOutput(), 8, PaletteColours(first)).runs, (Runs{{kSkip, 8}}));
}

// Frames that must be coded without skips, whatever the frame before was.
TEST_F(FrameEncoderTest, NoSkipsWithoutAComparablePreviousPlane) {
  const Frame frame = Alternating(8, 2);
  const Runs standalone{{kLiteral, 16}};

  ASSERT_TRUE(Encode(frame));
  NewOutput();
  // Its 24-bit bitmap is missing: no current plane.
  ASSERT_TRUE(Encode(IndexedBitmap(frame), std::nullopt));
  EXPECT_EQ(DecodeChunk(NewOutput(), 16).runs, standalone);
  // The frame after it has no previous plane.
  ASSERT_TRUE(Encode(frame));
  EXPECT_EQ(DecodeChunk(NewOutput(), 16).runs, standalone);
  // Same pixels, another shape: positions do not correspond.
  const Frame reshaped = Alternating(4, 4);
  ASSERT_TRUE(Encode(reshaped));
  EXPECT_EQ(DecodeChunk(NewOutput(), 16).runs, standalone);
  // Back to the same size and pixels as the frame before: skipped whole.
  ASSERT_TRUE(Encode(reshaped));
  EXPECT_EQ(DecodeChunk(NewOutput(), 16, PaletteColours(reshaped)).runs, (Runs{{kSkip, 16}}));
}

TEST_F(FrameEncoderTest, RefusedFrameLeavesTheComparisonWithTheLastCodedOne) {
  const Frame frame = Alternating(8, 2);
  ASSERT_TRUE(Encode(frame));
  NewOutput();
  std::vector<std::uint8_t> notABitmap = IndexedBitmap(frame);
  notABitmap[0] = 'X';
  {
    CapturedStdout out;
    EXPECT_FALSE(Encode(notABitmap, TrueColorBitmap(frame)));
    EXPECT_EQ(out.Text(), "file type error!");
  }
  EXPECT_TRUE(NewOutput().empty());
  ASSERT_TRUE(Encode(frame));
  EXPECT_EQ(DecodeChunk(NewOutput(), 16, PaletteColours(frame)).runs, (Runs{{kSkip, 16}}));
}

TEST_F(FrameEncoderTest, FailedWriteIsReportedAndNotSkippedAgainst) {
  const Frame frame = Alternating(8, 2);
  ASSERT_TRUE(Encode(frame));
  NewOutput();
  std::FILE* readOnly = std::fopen("/dev/null", "rbe");
  ASSERT_NE(readOnly, nullptr);
  g_outputFile = readOnly;
  {
    CapturedStdout out;
    EXPECT_FALSE(Encode(frame));
    EXPECT_EQ(out.Text(), "Write output file error!\n");
  }
  g_outputFile = output_;
  std::fclose(readOnly);
  // The player never saw the unwritten frame, so the next one cannot refer to it.
  ASSERT_TRUE(Encode(frame));
  EXPECT_EQ(DecodeChunk(NewOutput(), 16).runs, (Runs{{kLiteral, 16}}));
}

TEST_F(FrameEncoderTest, ReleaseFrameBuffersEndsTheJob) {
  const Frame frame = Alternating(8, 2);
  ASSERT_TRUE(Encode(frame));
  ASSERT_TRUE(Encode(frame));
  ReleaseFrameBuffers();
  EXPECT_EQ(g_previousPlane, nullptr);
  EXPECT_EQ(g_indexedFrame, nullptr);
  EXPECT_EQ(g_currentPlane, nullptr);
  EXPECT_EQ(g_frameWidth, 8);
  EXPECT_EQ(g_frameHeight, 2);
  NewOutput();
  ASSERT_TRUE(Encode(frame));
  EXPECT_EQ(DecodeChunk(NewOutput(), 16).runs, (Runs{{kLiteral, 16}}));
}

// Coded by the encoder and read back by the decoder, every frame of a moving scene shows exactly the
// palette colours of its indices: a block slides over a still background with stretches of one
// colour, noise and palette entries that share a colour, and every few frames the palette changes.
TEST_F(FrameEncoderTest, DecodedFramesShowThePaletteColoursOfTheirIndices) {
  std::mt19937 random(7);
  std::vector<std::uint16_t> palette(256);
  auto newPalette = [&] {
    for (auto& entry : palette) entry = static_cast<std::uint16_t>(random());
    for (int i = 200; i < 256; ++i) palette[i] = palette[i - 100];  // equal colours, other indices
  };
  newPalette();
  std::vector<std::uint8_t> background(160 * 120);
  for (std::size_t p = 0; p < background.size(); ++p) {
    background[p] = p % 160 < 40 ? static_cast<std::uint8_t>(p / 1600) : static_cast<std::uint8_t>(random());
  }
  Picture previous;
  std::size_t skips = 0, fills = 0, literals = 0;
  for (int number = 0; number < 24; ++number) {
    if (number % 8 == 5) newPalette();
    Frame frame{160, 120, palette, background, {}};
    for (int row = 30; row < 70; ++row) {
      for (int column = 0; column < 50; ++column) frame.indices[row * 160 + (column + 5 * number) % 160] = 100 + (column & 1) * 100;
    }
    ASSERT_TRUE(Encode(frame));
    const auto decoded = DecodeChunk(NewOutput(), 160 * 120, previous);
    ASSERT_EQ(decoded.error, "") << "frame " << number;
    ASSERT_EQ(decoded.picture, PaletteColours(frame)) << "frame " << number;
    previous = decoded.picture;
    skips += decoded.skipPixels;
    fills += decoded.fillPixels;
    literals += decoded.literalPixels;
  }
  // The scene took every kind of run.
  EXPECT_GT(skips, 0u);
  EXPECT_GT(fills, 0u);
  EXPECT_GT(literals, 0u);
}

TEST(PixelsMatchTest, AnswersExactlyEquality) {
  struct Pair {
    std::uint16_t a, b;
  };
  for (const Pair pair : {Pair{0x0000, 0x0000}, Pair{0xFFFF, 0xFFFF}, Pair{0x51A2, 0x51A2}, Pair{0x0000, 0x0001},
                          Pair{0x0000, 0x0020}, Pair{0x0000, 0x0800}, Pair{0x7BEF, 0x8410}, Pair{0x8000, 0x0000},
                          Pair{0xF800, 0x07FF}}) {
    EXPECT_EQ(PixelsMatch(pair.a, pair.b), pair.a == pair.b ? 1 : 0) << std::hex << pair.a << " " << pair.b;
  }
  // Every value against itself and against each one-bit neighbour, which the coder's fast measures rely on.
  for (std::uint32_t value = 0; value <= 0xFFFF; ++value) {
    const auto a = static_cast<std::uint16_t>(value);
    ASSERT_EQ(PixelsMatch(a, a), 1) << value;
    for (int bit = 0; bit < 16; ++bit) {
      const auto b = static_cast<std::uint16_t>(a ^ (1u << bit));
      ASSERT_EQ(PixelsMatch(a, b), 0) << value << " bit " << bit;
    }
  }
  std::mt19937 random(5);
  for (int i = 0; i < 200000; ++i) {
    const auto a = static_cast<std::uint16_t>(random()), b = static_cast<std::uint16_t>(random());
    ASSERT_EQ(PixelsMatch(a, b), a == b ? 1 : 0) << a << " " << b;
  }
}

}  // namespace
}  // namespace codec_testing
