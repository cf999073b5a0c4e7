#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The 54-byte header at the start of every output file. The player reads the fields at fixed,
// unaligned offsets, little-endian, so the header is kept as the bytes themselves rather than a struct.
class ContainerHeader {
 public:
  static constexpr std::size_t kSize = 54;
  // Where each field starts. The checksum covers magic through audioOffset, the bytes before the first
  // reserved field.
  static constexpr std::size_t kMagicOffset = 0;
  static constexpr std::size_t kFrameCountOffset = 4;
  static constexpr std::size_t kFramesPerSecondOffset = 8;
  static constexpr std::size_t kWidthOffset = 9;
  static constexpr std::size_t kHeightOffset = 11;
  static constexpr std::size_t kAudioOffsetOffset = 13;
  static constexpr std::size_t kChecksummedBytes = 17;
  static constexpr std::size_t kChecksumOffset = 21;

  // All zero: the placeholder written before the frames, which marks a file as unfinished.
  void Clear();
  // Lays down every field and, last, the checksum over them.
  void Fill(std::uint32_t frameCount, std::uint8_t framesPerSecond, std::uint16_t width,
            std::uint16_t height, std::uint32_t audioOffset);
  // kSize bytes.
  const std::uint8_t* Bytes() const { return bytes_.data(); }

 private:
  std::array<std::uint8_t, kSize> bytes_{};
};
