#include "support/mox_decoder.h"

namespace testing_support {

namespace {

constexpr std::size_t kRunsStart = 3 + 512;

DecodedChunk Fail(DecodedChunk chunk, std::string error) {
  chunk.error = std::move(error);
  return chunk;
}

}  // namespace

DecodedChunk DecodeChunk(std::span<const std::uint8_t> bytes, std::size_t pixelCount,
                         std::span<const std::uint16_t> previous) {
  DecodedChunk chunk;
  if (bytes.size() < kRunsStart) return Fail(std::move(chunk), "shorter than prefix and palette");
  chunk.chunkLength = bytes[0] | bytes[1] << 8 | (bytes[2] >> 4) << 16;
  const int flag = bytes[2] & 0x0F;
  if (flag > 1) return Fail(std::move(chunk), "standalone flag " + std::to_string(flag));
  chunk.standalone = flag == 1;
  if (chunk.chunkLength < kRunsStart) return Fail(std::move(chunk), "chunk length below 515");
  if (chunk.chunkLength > bytes.size()) return Fail(std::move(chunk), "chunk length past the bytes given");
  for (std::size_t i = 0; i < chunk.palette.size(); ++i) {
    chunk.palette[i] = static_cast<std::uint16_t>(bytes[3 + 2 * i] | bytes[4 + 2 * i] << 8);
  }

  chunk.picture.assign(pixelCount, 0);
  std::size_t at = kRunsStart;
  std::size_t pixel = 0;
  bool skipped = false;
  while (at < chunk.chunkLength) {
    if (at + 2 > chunk.chunkLength) return Fail(std::move(chunk), "run code cut off at " + std::to_string(at));
    const int type = bytes[at] >> 4;
    const std::size_t count = static_cast<std::size_t>((bytes[at] & 0x0F) << 8 | bytes[at + 1]);
    at += 2;
    if (count == 0) return Fail(std::move(chunk), "run of zero pixels");
    if (pixel + count > pixelCount) return Fail(std::move(chunk), "runs cover more than the frame");
    chunk.runs.emplace_back(type, count);
    switch (type) {
      case 1:
        if (previous.size() != pixelCount) return Fail(std::move(chunk), "skip without a previous picture");
        for (std::size_t i = 0; i < count; ++i, ++pixel) chunk.picture[pixel] = previous[pixel];
        skipped = true;
        break;
      case 2:
        if (at + 1 > chunk.chunkLength) return Fail(std::move(chunk), "fill index cut off");
        for (std::size_t i = 0; i < count; ++i, ++pixel) chunk.picture[pixel] = chunk.palette[bytes[at]];
        at += 1;
        break;
      case 3:
        if (at + count > chunk.chunkLength) return Fail(std::move(chunk), "literal indices cut off");
        for (std::size_t i = 0; i < count; ++i, ++pixel) chunk.picture[pixel] = chunk.palette[bytes[at + i]];
        at += count;
        break;
      default:
        return Fail(std::move(chunk), "run code type " + std::to_string(type));
    }
  }
  if (pixel != pixelCount) return Fail(std::move(chunk), "runs cover fewer pixels than the frame");
  if (chunk.standalone == skipped) return Fail(std::move(chunk), "standalone flag disagrees with the skips");
  return chunk;
}

}  // namespace testing_support
