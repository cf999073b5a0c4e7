#include "container/container_header.h"

namespace {

void PutLittleEndian(std::uint8_t* at, std::uint32_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

void ContainerHeader::Clear() { bytes_.fill(0); }

void ContainerHeader::Fill(std::uint32_t frameCount, std::uint8_t framesPerSecond, std::uint16_t width,
                           std::uint16_t height, std::uint32_t audioOffset) {
  Clear();
  std::uint8_t* header = bytes_.data();
  header[kMagicOffset + 0] = 'X';
  header[kMagicOffset + 1] = 'R';
  header[kMagicOffset + 2] = 'F';
  PutLittleEndian(header + kFrameCountOffset, frameCount, 4);
  header[kFramesPerSecondOffset] = framesPerSecond;
  PutLittleEndian(header + kWidthOffset, width, 2);
  PutLittleEndian(header + kHeightOffset, height, 2);
  PutLittleEndian(header + kAudioOffsetOffset, audioOffset, 4);

  std::uint8_t checksum = 0;
  for (std::size_t i = 0; i < kChecksummedBytes; ++i) checksum = static_cast<std::uint8_t>(checksum + header[i]);
  header[kChecksumOffset] = checksum;
}
