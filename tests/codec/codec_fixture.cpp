#include "codec_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include "codec/bitmap_input.h"
#include "codec/frame_encoder.h"
#include "container/output_file.h"

namespace codec_testing {

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

Bgr FromRgb565(std::uint16_t colour) {
  return {static_cast<std::uint8_t>((colour & 0x1F) << 3), static_cast<std::uint8_t>((colour >> 5 & 0x3F) << 2),
          static_cast<std::uint8_t>((colour >> 11) << 3)};
}

std::vector<std::uint8_t> BuildBitmap(const BitmapLayout& layout) {
  const std::size_t stride = (static_cast<std::size_t>(layout.bitCount) * layout.width + 31) / 32 * 4;
  const std::size_t paletteBytes = layout.palette.size() * 4;
  const std::size_t pixelOffset = 14 + layout.infoSize + paletteBytes;
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<std::uint32_t>(pixelOffset + stride * layout.height));
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(pixelOffset));
  Put32(out, layout.infoSize);
  Put32(out, static_cast<std::uint32_t>(layout.width));
  Put32(out, static_cast<std::uint32_t>(layout.topDown ? -layout.height : layout.height));
  Put16(out, 1);
  Put16(out, layout.bitCount);
  Put32(out, layout.compression);
  Put32(out, static_cast<std::uint32_t>(stride * layout.height));
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, static_cast<std::uint32_t>(layout.palette.size()));
  Put32(out, 0);
  out.resize(14 + layout.infoSize, 0);
  for (const Bgr& entry : layout.palette) {
    out.insert(out.end(), {entry.blue, entry.green, entry.red, 0});
  }
  for (std::int32_t fileRow = 0; fileRow < layout.height; ++fileRow) {
    const std::int32_t row = layout.topDown ? fileRow : layout.height - 1 - fileRow;
    std::vector<std::uint8_t> bytes(stride, layout.padByte);
    for (std::int32_t x = 0; x < layout.width; ++x) {
      const std::size_t pixel = static_cast<std::size_t>(row) * layout.width + x;
      if (layout.bitCount == 8) {
        bytes[x] = layout.indices.at(pixel);
      } else if (layout.bitCount == 24) {
        const Bgr& colour = layout.colours.at(pixel);
        bytes[3 * x] = colour.blue;
        bytes[3 * x + 1] = colour.green;
        bytes[3 * x + 2] = colour.red;
      }
    }
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

DecodedFrame DecodeChunk(const std::vector<std::uint8_t>& chunk, std::size_t pixels, const Picture& previous) {
  return DecodeFrameChunk(chunk, pixels, previous.empty() ? nullptr : &previous);
}

std::vector<std::uint16_t> PaletteColours(const Frame& frame) {
  std::vector<std::uint16_t> colours;
  for (std::uint8_t index : frame.indices) colours.push_back(index < frame.palette.size() ? frame.palette[index] : 0);
  return colours;
}

std::vector<std::uint8_t> IndexedBitmap(const Frame& frame) {
  BitmapLayout layout{.width = frame.width, .height = frame.height, .indices = frame.indices};
  for (std::size_t i = 0; i < 256; ++i) {
    layout.palette.push_back(FromRgb565(i < frame.palette.size() ? frame.palette[i] : 0));
  }
  return BuildBitmap(layout);
}

std::vector<std::uint8_t> TrueColorBitmap(const Frame& frame) {
  BitmapLayout layout{.width = frame.width, .height = frame.height, .bitCount = 24};
  for (std::uint16_t colour : frame.trueColours.empty() ? PaletteColours(frame) : frame.trueColours) {
    layout.colours.push_back(FromRgb565(colour));
  }
  return BuildBitmap(layout);
}

CapturedStdout::CapturedStdout() {
  std::fflush(stdout);
  capture_ = std::tmpfile();
  saved_ = fcntl(1, F_DUPFD_CLOEXEC, 0);
  if (capture_ == nullptr || saved_ < 0 || dup2(fileno(capture_), 1) < 0) {
    throw std::runtime_error("cannot capture standard output");
  }
}

CapturedStdout::~CapturedStdout() {
  std::fflush(stdout);
  dup2(saved_, 1);
  close(saved_);
  std::fclose(capture_);
}

std::string CapturedStdout::Text() {
  std::fflush(stdout);
  std::string text;
  std::rewind(capture_);
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, capture_)) > 0) text.append(buffer, got);
  return text;
}

std::FILE* StreamOf(const std::vector<std::uint8_t>& bytes) {
  std::FILE* stream = std::tmpfile();
  if (stream == nullptr || (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size())) {
    throw std::runtime_error("cannot write a temporary stream");
  }
  std::rewind(stream);
  return stream;
}

void CodecTest::SetUp() {
  ReleaseFrameBuffers();
  g_frameWidth = 0;
  g_frameHeight = 0;
  output_ = std::tmpfile();
  ASSERT_NE(output_, nullptr);
  g_outputFile = output_;
}

void CodecTest::TearDown() {
  ReleaseFrameBuffers();
  g_outputFile = nullptr;
  std::fclose(output_);
}

template <typename Step>
bool CodecTest::WithStreams(const std::vector<std::uint8_t>& indexed,
                            const std::optional<std::vector<std::uint8_t>>& trueColor, Step step) {
  g_paletteBitmapFile = StreamOf(indexed);
  g_trueColorBitmapFile = trueColor ? StreamOf(*trueColor) : nullptr;
  const bool result = step();
  std::fclose(g_paletteBitmapFile);
  if (g_trueColorBitmapFile != nullptr) std::fclose(g_trueColorBitmapFile);
  g_paletteBitmapFile = nullptr;
  g_trueColorBitmapFile = nullptr;
  return result;
}

bool CodecTest::Encode(const std::vector<std::uint8_t>& indexed,
                       const std::optional<std::vector<std::uint8_t>>& trueColor) {
  return WithStreams(indexed, trueColor, [] { return EncodeFrame(); });
}

bool CodecTest::Read(const std::vector<std::uint8_t>& indexed,
                     const std::optional<std::vector<std::uint8_t>>& trueColor) {
  return WithStreams(indexed, trueColor, [] { return ReadIndexedFrame(); });
}

std::vector<std::uint8_t> CodecTest::NewOutput() {
  std::fflush(output_);
  std::fseek(output_, 0, SEEK_END);
  const long end = std::ftell(output_);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(end - consumed_));
  std::fseek(output_, consumed_, SEEK_SET);
  if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), output_) != bytes.size()) throw std::runtime_error("short output read");
  consumed_ = end;
  std::fseek(output_, 0, SEEK_END);
  return bytes;
}

}  // namespace codec_testing
