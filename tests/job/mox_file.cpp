#include "mox_file.h"

namespace job_testing {

namespace {

std::uint32_t LittleEndian(const std::vector<std::uint8_t>& bytes, std::size_t offset, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[offset + i];
  return value;
}

}  // namespace

MoxFile ReadMoxFile(const std::vector<std::uint8_t>& bytes, std::size_t pixelCount) {
  MoxFile file;
  if (bytes.size() < 54) {
    file.error = "shorter than the header";
    return file;
  }
  file.header.assign(bytes.begin(), bytes.begin() + 54);
  file.hasMagic = bytes[0] == 'X' && bytes[1] == 'R' && bytes[2] == 'F' && bytes[3] == 0;
  file.frameCount = LittleEndian(bytes, 4, 4);
  file.framesPerSecond = bytes[8];
  file.width = static_cast<std::uint16_t>(LittleEndian(bytes, 9, 2));
  file.height = static_cast<std::uint16_t>(LittleEndian(bytes, 11, 2));
  file.audioOffset = LittleEndian(bytes, 13, 4);
  file.checksum = bytes[21];
  const std::size_t recordsEnd = file.hasMagic ? file.audioOffset : bytes.size();
  if (recordsEnd > bytes.size() || recordsEnd < 54) {
    file.error = "audio offset outside the file";
    return file;
  }
  std::vector<std::uint16_t> previous;
  for (std::size_t offset = 54; offset < recordsEnd;) {
    auto chunk = testing_support::DecodeChunk(
        std::span<const std::uint8_t>(bytes.data() + offset, recordsEnd - offset), pixelCount, previous);
    if (!chunk.error.empty()) {
      file.error = "record at " + std::to_string(offset) + ": " + chunk.error;
      return file;
    }
    offset += chunk.chunkLength;
    previous = chunk.picture;
    file.records.push_back(std::move(chunk));
  }
  file.sound.assign(bytes.begin() + static_cast<std::ptrdiff_t>(recordsEnd), bytes.end());
  return file;
}

}  // namespace job_testing
