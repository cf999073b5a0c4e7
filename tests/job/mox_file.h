#pragma once

// Reading a whole output file in the tests: the header fields, every frame record decoded against
// the frame before, and the sound behind them.

#include <cstdint>
#include <string>
#include <vector>

#include "support/mox_decoder.h"

namespace job_testing {

struct MoxFile {
  std::string error;  // empty when the file is well formed
  bool hasMagic = false;
  std::uint32_t frameCount = 0;
  std::uint8_t framesPerSecond = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint32_t audioOffset = 0;
  std::uint8_t checksum = 0;
  std::vector<std::uint8_t> header;
  std::vector<testing_support::DecodedChunk> records;
  std::vector<std::uint8_t> sound;
};

// Walks the records from offset 54 to the audio offset (to the end of the file when the header is
// the zero placeholder). `pixelCount` is the frame size the records are decoded for.
MoxFile ReadMoxFile(const std::vector<std::uint8_t>& bytes, std::size_t pixelCount = 160 * 120);

}  // namespace job_testing
