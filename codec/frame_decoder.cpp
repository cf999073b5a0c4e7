#include "codec/frame_decoder.h"

#include <algorithm>

namespace {

constexpr std::size_t kPaletteEntries = 256;

std::string At(std::size_t position) { return " at byte " + std::to_string(position) + " of the chunk"; }

DecodedFrame Refuse(DecodedFrame frame, ChunkProblem problem, std::string error) {
  frame.problem = problem;
  frame.error = std::move(error);
  frame.picture.clear();
  return frame;
}

}  // namespace

DecodedFrame DecodeFrameChunk(std::span<const std::uint8_t> bytes, std::size_t pixelCount, const Picture* previous) {
  DecodedFrame frame;
  if (bytes.size() < kChunkPrefixBytes) {
    return Refuse(std::move(frame), ChunkProblem::kTooShort,
                  "only " + std::to_string(bytes.size()) + " bytes, too few for the 3-byte prefix");
  }
  frame.chunkLength = bytes[0] | bytes[1] << 8 | (bytes[2] >> 4) << 16;
  frame.standalone = bytes[2] & 0x0F;
  if (frame.chunkLength < kChunkRunsStart) {
    return Refuse(
        std::move(frame), ChunkProblem::kLengthBelowMinimum,
        "chunk length " + std::to_string(frame.chunkLength) + " is below the 515 bytes of prefix and palette");
  }
  if (frame.chunkLength > bytes.size()) {
    return Refuse(std::move(frame), ChunkProblem::kLengthPastEnd,
                  "chunk length " + std::to_string(frame.chunkLength) + " runs past the " +
                      std::to_string(bytes.size()) + " bytes there are");
  }
  if (frame.standalone > 1) {
    return Refuse(std::move(frame), ChunkProblem::kStandaloneValue,
                  "standalone value " + std::to_string(frame.standalone) + ", not 0 or 1");
  }
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    frame.palette[i] = static_cast<std::uint16_t>(bytes[3 + 2 * i] | bytes[4 + 2 * i] << 8);
  }

  // First the codes alone, so that a chunk is judged whole before any picture is made for it.
  std::size_t covered = 0;
  std::size_t at = kChunkRunsStart;
  while (at < frame.chunkLength) {
    const std::size_t codeStart = at;
    if (at + 2 > frame.chunkLength)
      return Refuse(std::move(frame), ChunkProblem::kCodeCutOff, "run code cut off" + At(at));
    const int type = bytes[at] >> 4;
    const std::size_t count = static_cast<std::size_t>((bytes[at] & 0x0F) << 8 | bytes[at + 1]);
    at += 2;
    if (type < 1 || type > 3) {
      return Refuse(std::move(frame), ChunkProblem::kUnknownCodeType,
                    "unknown run code type " + std::to_string(type) + At(codeStart));
    }
    if (count == 0) return Refuse(std::move(frame), ChunkProblem::kZeroCount, "run of 0 pixels" + At(codeStart));
    const RunType run = static_cast<RunType>(type);
    const std::size_t operandBytes = run == RunType::kFill ? 1 : run == RunType::kLiteral ? count : 0;
    if (at + operandBytes > frame.chunkLength) {
      return Refuse(
          std::move(frame), ChunkProblem::kCodeCutOff,
          (run == RunType::kFill ? "fill index" : "literal indices") + std::string(" cut off") + At(codeStart));
    }
    frame.runs.push_back({run, count});
    (run == RunType::kSkip   ? frame.skipPixels
     : run == RunType::kFill ? frame.fillPixels
                             : frame.literalPixels) += count;
    at += operandBytes;
    covered += count;
  }

  const bool skipped = frame.skipPixels > 0;
  const bool known = pixelCount != kUnknownPixelCount;
  if (known && skipped && (previous == nullptr || previous->size() != pixelCount)) {
    return Refuse(std::move(frame), ChunkProblem::kSkipWithoutPrevious,
                  "skip code without a picture before it to keep");
  }
  if (known && covered != pixelCount) {
    return Refuse(
        std::move(frame), ChunkProblem::kPixelCountMismatch,
        "run counts add up to " + std::to_string(covered) + " pixels, not the frame's " + std::to_string(pixelCount));
  }
  if ((frame.standalone == 1) == skipped) {
    return Refuse(
        std::move(frame), ChunkProblem::kStandaloneMismatch,
        skipped ? "standalone 1, yet the chunk holds skip codes" : "standalone 0, yet the chunk holds no skip code");
  }
  if (!known) return frame;

  frame.picture.resize(pixelCount);
  std::uint16_t* out = frame.picture.data();
  at = kChunkRunsStart;
  for (const RunCode& run : frame.runs) {
    at += 2;
    switch (run.type) {
      case RunType::kSkip:
        std::copy_n(previous->data() + (out - frame.picture.data()), run.count, out);
        break;
      case RunType::kFill:
        std::fill_n(out, run.count, frame.palette[bytes[at++]]);
        break;
      case RunType::kLiteral:
        for (std::size_t i = 0; i < run.count; ++i) out[i] = frame.palette[bytes[at++]];
        break;
    }
    out += run.count;
  }
  return frame;
}
