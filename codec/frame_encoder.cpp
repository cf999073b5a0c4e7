#include "codec/frame_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "codec/bitmap_input.h"
#include "container/output_file.h"
#include "platform/console.h"

namespace {

constexpr std::size_t kPrefixBytes = 3;
constexpr std::size_t kRunsStart = kPrefixBytes + kIndexedFramePaletteBytes;
// Room for the runs of any chunk whose length fits the 20-bit length field: one byte per pixel and
// the two bytes of every literal code.
constexpr std::size_t kCodingBufferSlack = 1536;
constexpr std::size_t kLongestRun = 4095;
// Shorter stretches cost less as literal pixels than as a skip or fill code.
constexpr std::size_t kShortestRun = 7;

constexpr std::uint8_t kSkipCode = 0x10;
constexpr std::uint8_t kFillCode = 0x20;
constexpr std::uint8_t kLiteralCode = 0x30;

constexpr char kAllocateMessage[] = "Allocate memory error!";
constexpr char kPixelCountMessage[] = "Error: the handle pixel is wrong!";
constexpr char kWriteMessage[] = "Write output file error!\n";

// Appends the run codes of one frame to its coding buffer.
class RunWriter {
 public:
  RunWriter(std::uint8_t* buffer, const std::uint8_t* indices) : buffer_(buffer), indices_(indices) {}

  // The literal pixels not yet written always end just before `position`.
  void FlushLiteral(std::size_t position) {
    if (pending_ == 0) return;
    PutCode(kLiteralCode, pending_);
    std::memcpy(buffer_ + length_, indices_ + position - pending_, pending_);
    length_ += pending_;
    covered_ += pending_;
    pending_ = 0;
  }
  void AddLiteral(std::size_t position) {
    if (pending_ == kLongestRun) FlushLiteral(position);
    ++pending_;
  }
  void Skip(std::size_t position, std::size_t count) {
    FlushLiteral(position);
    PutCode(kSkipCode, count);
    standalone_ = false;
    covered_ += count;
  }
  void Fill(std::size_t position, std::size_t count) {
    FlushLiteral(position);
    PutCode(kFillCode, count);
    buffer_[length_++] = indices_[position];
    covered_ += count;
  }

  std::size_t length() const { return length_; }
  std::size_t covered() const { return covered_; }
  bool standalone() const { return standalone_; }

 private:
  void PutCode(std::uint8_t type, std::size_t count) {
    buffer_[length_++] = static_cast<std::uint8_t>(type | count >> 8);
    buffer_[length_++] = static_cast<std::uint8_t>(count & 0xFF);
  }

  std::uint8_t* buffer_;
  const std::uint8_t* indices_;
  std::size_t length_ = kRunsStart;
  std::size_t pending_ = 0;
  std::size_t covered_ = 0;
  bool standalone_ = true;
};

// The run measures below compare with plain 16-bit equality, which is what PixelsMatch answers; the
// direct comparison keeps the coder's one pass over the pixels cheap.
std::size_t UnchangedRun(const std::uint16_t* previous, const std::uint16_t* current, std::size_t limit) {
  std::size_t count = 0;
  while (count < limit && previous[count] == current[count]) ++count;
  return count;
}

std::size_t SameColourRun(const std::uint16_t* palette, const std::uint8_t* indices, std::size_t limit) {
  const std::uint16_t colour = palette[indices[0]];
  std::size_t count = 1;
  while (count < limit && (indices[count] == indices[0] || palette[indices[count]] == colour)) ++count;
  return count;
}

void CodeRuns(RunWriter& writer, const std::uint16_t* palette, const std::uint8_t* indices, std::size_t pixels) {
  const std::uint16_t* previous = g_previousPlane.get();
  const std::uint16_t* current = g_currentPlane.get();
  const bool compare = previous != nullptr && current != nullptr;
  std::size_t p = 0;
  while (p < pixels) {
    const std::size_t limit = std::min(kLongestRun, pixels - p);
    std::size_t skip = compare ? UnchangedRun(previous + p, current + p, limit) : 0;
    if (skip < kShortestRun) skip = 0;
    if (skip == kLongestRun) {
      writer.Skip(p, skip);
      p += skip;
      continue;
    }
    const std::size_t fill = SameColourRun(palette, indices + p, limit);
    if (fill >= kShortestRun && fill > skip) {
      writer.Fill(p, fill);
      p += fill;
    } else if (skip > 0) {
      writer.Skip(p, skip);
      p += skip;
    } else {
      writer.AddLiteral(p);
      ++p;
    }
  }
  writer.FlushLiteral(p);
}

}  // namespace

bool EncodeFrame() {
  if (!ReadIndexedFrame()) return false;
  const std::size_t pixels = static_cast<std::size_t>(g_frameWidth) * static_cast<std::size_t>(g_frameHeight);
  std::unique_ptr<std::uint8_t[]> chunk(new (std::nothrow) std::uint8_t[pixels + kCodingBufferSlack]);
  if (!chunk) {
    std::fputs(kAllocateMessage, stdout);
    WaitForKeyPress();
    // This frame gets no record, so the next one must not skip against its plane.
    g_currentPlane.reset();
    return false;
  }

  const std::uint8_t* paletteBytes = g_indexedFrame.get();
  const std::uint8_t* indices = paletteBytes + kIndexedFramePaletteBytes;
  std::uint16_t palette[kPaletteEntries];
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    palette[i] = static_cast<std::uint16_t>(paletteBytes[2 * i] | paletteBytes[2 * i + 1] << 8);
  }
  std::memcpy(chunk.get() + kPrefixBytes, paletteBytes, kIndexedFramePaletteBytes);

  RunWriter writer(chunk.get(), indices);
  CodeRuns(writer, palette, indices, pixels);
  if (writer.covered() != pixels) std::fputs(kPixelCountMessage, stdout);

  const std::size_t length = writer.length();
  chunk[0] = static_cast<std::uint8_t>(length & 0xFF);
  chunk[1] = static_cast<std::uint8_t>((length >> 8) & 0xFF);
  chunk[2] = static_cast<std::uint8_t>(((length >> 16) & 0x0F) << 4 | (writer.standalone() ? 1 : 0));

  std::FILE* output = g_outputFile.load();
  if (output == nullptr || std::fwrite(chunk.get(), 1, length, output) != length) {
    std::fputs(kWriteMessage, stdout);
    g_currentPlane.reset();
    return false;
  }
  return true;
}

int PixelsMatch(const std::uint16_t& a, const std::uint16_t& b) {
  struct Channel {
    int shift;
    int bits;
  };
  constexpr Channel kChannels[] = {{11, 5}, {5, 6}, {0, 5}};  // red, green, blue
  // The tolerance of the comparison: channels this far apart or more do not match.
  constexpr int kLeastMismatch = 1;
  const auto field = [](std::uint16_t value, Channel channel) {
    const int raw = value >> channel.shift & ((1 << channel.bits) - 1);
    const int sign = 1 << (channel.bits - 1);
    return (raw ^ sign) - sign;
  };
  for (const Channel channel : kChannels) {
    if ((field(a, channel) < 0) != (field(b, channel) < 0)) return 0;
  }
  for (const Channel channel : kChannels) {
    if (std::abs(field(a, channel) - field(b, channel)) >= kLeastMismatch) return 0;
  }
  return 1;
}

void ReleaseFrameBuffers() {
  g_previousPlane.reset();
  g_indexedFrame.reset();
  g_currentPlane.reset();
}
