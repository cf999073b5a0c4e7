#pragma once

// Bitmap files made to measure and a fixture that runs the frame codec over them, capturing what it
// prints and the chunks it appends.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "codec/frame_decoder.h"

namespace codec_testing {

// The 8-bit channels whose RGB565 value is `colour` exactly.
struct Bgr {
  std::uint8_t blue, green, red;
};
Bgr FromRgb565(std::uint16_t colour);

struct BitmapLayout {
  std::int32_t width = 0;
  // Rows, counted positive; topDown stores them top row first with a negative height field.
  std::int32_t height = 0;
  bool topDown = false;
  std::uint16_t bitCount = 8;
  std::uint32_t compression = 0;
  std::uint32_t infoSize = 40;
  // 8-bit only: the entries written behind the info header.
  std::vector<Bgr> palette = {};
  // Pixels, top row first: indices for 8 bits, channel triplets for 24 bits; other depths get rows
  // of pad bytes.
  std::vector<std::uint8_t> indices = {};
  std::vector<Bgr> colours = {};
  // The byte written into each row's padding, so that a test sees whether it leaks.
  std::uint8_t padByte = 0xEE;
};

std::vector<std::uint8_t> BuildBitmap(const BitmapLayout& layout);

// A frame as the tests think of it: palette colours, indices, and the true colours of its 24-bit
// bitmap (by default the palette colours of the indices).
struct Frame {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint16_t> palette;
  std::vector<std::uint8_t> indices = {};
  std::vector<std::uint16_t> trueColours;
};
std::vector<std::uint8_t> IndexedBitmap(const Frame& frame);
std::vector<std::uint8_t> TrueColorBitmap(const Frame& frame);
// Palette colour of every pixel.
std::vector<std::uint16_t> PaletteColours(const Frame& frame);

// Decodes a chunk for a frame of `pixels` pixels against `previous`, none when it is empty.
DecodedFrame DecodeChunk(const std::vector<std::uint8_t>& chunk, std::size_t pixels, const Picture& previous = {});

// Redirects file descriptor 1 for its lifetime; Text() is what was printed so far.
class CapturedStdout {
 public:
  CapturedStdout();
  ~CapturedStdout();
  std::string Text();

 private:
  int saved_ = -1;
  std::FILE* capture_ = nullptr;
};

// A stream holding `bytes`, open for reading at its start.
std::FILE* StreamOf(const std::vector<std::uint8_t>& bytes);

// Starts every test as a new job: no planes, no frame, an empty output stream.
class CodecTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the bitmaps as the pipeline does, runs EncodeFrame and closes them. A missing 24-bit
  // bitmap leaves its stream null.
  bool Encode(const std::vector<std::uint8_t>& indexed, const std::optional<std::vector<std::uint8_t>>& trueColor);
  bool Encode(const Frame& frame) { return Encode(IndexedBitmap(frame), TrueColorBitmap(frame)); }
  // Runs ReadIndexedFrame alone over the bitmaps.
  bool Read(const std::vector<std::uint8_t>& indexed, const std::optional<std::vector<std::uint8_t>>& trueColor);
  // The bytes appended to the output since the last call.
  std::vector<std::uint8_t> NewOutput();

  std::FILE* output_ = nullptr;

 private:
  template <typename Step>
  bool WithStreams(const std::vector<std::uint8_t>& indexed, const std::optional<std::vector<std::uint8_t>>& trueColor,
                   Step step);
  long consumed_ = 0;
};

}  // namespace codec_testing
