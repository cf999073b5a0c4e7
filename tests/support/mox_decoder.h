#pragma once

// A decoder of single frame records for the tests: walks the run codes of one chunk and applies them
// to the previous picture, checking every field on the way.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace testing_support {

struct DecodedChunk {
  // Empty when the chunk is well formed; otherwise what is wrong with it.
  std::string error;
  // The chunk's own length field, to walk a file's records one after the other.
  std::size_t chunkLength = 0;
  bool standalone = false;
  std::array<std::uint16_t, 256> palette{};
  // One RGB565 value per pixel, top row first.
  std::vector<std::uint16_t> picture;
  // Run codes in the order they appear: type (1 skip, 2 fill, 3 literal) and pixel count.
  std::vector<std::pair<int, std::size_t>> runs;
};

// Decodes the chunk at the start of `bytes` for a frame of `pixelCount` pixels. `previous` is the
// picture the chunk's skips refer to, or empty when there is none (then a skip is an error).
DecodedChunk DecodeChunk(std::span<const std::uint8_t> bytes, std::size_t pixelCount,
                         std::span<const std::uint16_t> previous = {});

}  // namespace testing_support
