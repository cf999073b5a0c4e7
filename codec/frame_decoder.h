#pragma once

// Reading one frame chunk back: the prefix, the palette and the run codes, applied to the picture of
// the frame before. Written from the chunk layout alone, so that it checks the encoder rather than
// repeating it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

// One RGB565 value per pixel, top row first.
using Picture = std::vector<std::uint16_t>;

enum class RunType : int { kSkip = 1, kFill = 2, kLiteral = 3 };

struct RunCode {
  RunType type;
  std::size_t count;
  bool operator==(const RunCode&) const = default;
};

// What can be wrong with a chunk, in the order the decoder finds it.
enum class ChunkProblem {
  kNone,
  kTooShort,             // fewer bytes than prefix and palette
  kLengthBelowMinimum,   // chunkLength below 515
  kLengthPastEnd,        // chunkLength beyond the bytes given
  kStandaloneValue,      // a standalone nibble other than 0 and 1
  kCodeCutOff,           // a code or its bytes run past chunkLength
  kZeroCount,            // a run of 0 pixels
  kUnknownCodeType,      // a type other than 1, 2 and 3
  kSkipWithoutPrevious,  // a skip code with no picture before it
  kPixelCountMismatch,   // the counts don't add up to the frame's pixels
  kStandaloneMismatch,   // standalone 1 with skip codes, or 0 without
};

struct DecodedFrame {
  ChunkProblem problem = ChunkProblem::kNone;
  std::string error;            // empty when the chunk is well formed; otherwise what is wrong
  std::size_t chunkLength = 0;  // the chunk's own length field, once its prefix could be read
  int standalone = 0;           // the prefix's low nibble as stored
  std::array<std::uint16_t, 256> palette{};
  std::vector<RunCode> runs;  // in the order they appear
  std::size_t skipPixels = 0;
  std::size_t fillPixels = 0;
  std::size_t literalPixels = 0;
  Picture picture;  // pixelCount values when well formed and the size known, else empty
};

inline constexpr std::size_t kChunkPrefixBytes = 3;
inline constexpr std::size_t kChunkRunsStart = kChunkPrefixBytes + 512;
// A frame size that isn't known (the header of an unfinished file): the codes are read and counted,
// but no picture is made and their total is not checked.
inline constexpr std::size_t kUnknownPixelCount = std::numeric_limits<std::size_t>::max();

// Decodes the chunk at the start of `bytes` for a frame of `pixelCount` pixels. `previous` is the
// picture the chunk's skips refer to, or null when there is none.
DecodedFrame DecodeFrameChunk(std::span<const std::uint8_t> bytes, std::size_t pixelCount, const Picture* previous);
