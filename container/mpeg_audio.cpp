#include "container/mpeg_audio.h"

#include <algorithm>
#include <array>

namespace {

// kbit/s by bit-rate index 1 to 14; index 0 (free format) and 15 are refused.
constexpr unsigned kBitRates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 and 2.5 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 and 2.5 layers II, III
};
constexpr unsigned kSampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

constexpr std::size_t kId3v2HeaderBytes = 10;
constexpr std::size_t kId3v1Bytes = 128;

bool SameStream(const MpegAudioFrameHeader& a, const MpegAudioFrameHeader& b) {
  return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate && a.mode == b.mode;
}

}  // namespace

std::optional<MpegAudioFrameHeader> ParseMpegAudioFrameHeader(std::span<const std::uint8_t, 4> bytes) {
  if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0) return std::nullopt;
  const int versionBits = bytes[1] >> 3 & 3;
  const int layerBits = bytes[1] >> 1 & 3;
  const int bitRateIndex = bytes[2] >> 4;
  const int sampleRateIndex = bytes[2] >> 2 & 3;
  if (versionBits == 1 || layerBits == 0 || bitRateIndex == 0 || bitRateIndex == 15 || sampleRateIndex == 3) {
    return std::nullopt;
  }
  MpegAudioFrameHeader header{};
  header.version = versionBits == 3   ? MpegVersion::kMpeg1
                   : versionBits == 2 ? MpegVersion::kMpeg2
                                      : MpegVersion::kMpeg25;
  header.layer = 4 - layerBits;
  const bool mpeg1 = header.version == MpegVersion::kMpeg1;
  const int table = mpeg1 ? header.layer - 1 : header.layer == 1 ? 3 : 4;
  header.bitRate = kBitRates[table][bitRateIndex] * 1000;
  header.sampleRate = kSampleRates[static_cast<int>(header.version)][sampleRateIndex];
  header.mode = static_cast<ChannelMode>(bytes[3] >> 6);
  const unsigned padding = bytes[2] >> 1 & 1;
  if (header.layer == 1) {
    header.samples = 384;
    header.frameBytes = (12 * header.bitRate / header.sampleRate + padding) * 4;
  } else {
    // Layer III of MPEG-2 and 2.5 codes one granule a frame, half of MPEG-1's.
    const bool halfFrame = header.layer == 3 && !mpeg1;
    header.samples = halfFrame ? 576 : 1152;
    header.frameBytes = (halfFrame ? 72 : 144) * header.bitRate / header.sampleRate + padding;
  }
  return header;
}

const char* MpegVersionName(MpegVersion version) {
  switch (version) {
    case MpegVersion::kMpeg1:
      return "MPEG-1";
    case MpegVersion::kMpeg2:
      return "MPEG-2";
    case MpegVersion::kMpeg25:
      return "MPEG-2.5";
  }
  return "";
}

const char* ChannelModeName(ChannelMode mode) {
  switch (mode) {
    case ChannelMode::kStereo:
      return "stereo";
    case ChannelMode::kJointStereo:
      return "joint stereo";
    case ChannelMode::kDualChannel:
      return "dual channel";
    case ChannelMode::kMono:
      return "mono";
  }
  return "";
}

MpegAudioSummary SummariseMpegAudio(const ReadBytesAt& read, std::uint64_t offset, std::uint64_t length) {
  MpegAudioSummary summary;
  const std::uint64_t end = offset + length;
  std::uint64_t at = offset;
  auto where = [offset](std::uint64_t position) {
    return " at sound byte " + std::to_string(position - offset) + " (file offset " + std::to_string(position) + ")";
  };

  std::array<std::uint8_t, kId3v2HeaderBytes> tag{};
  if (length >= tag.size() && read(at, tag) && tag[0] == 'I' && tag[1] == 'D' && tag[2] == '3') {
    // The tag's size is 28 bits in four bytes of seven; a footer, when flagged, adds ten more.
    const std::uint64_t size = std::uint64_t{tag[6]} << 21 | tag[7] << 14 | tag[8] << 7 | tag[9];
    at += tag.size() + size + ((tag[5] & 0x10) != 0 ? kId3v2HeaderBytes : 0);
  }

  double samplesSeconds = 0;
  while (at < end) {
    std::array<std::uint8_t, 4> bytes{};
    if (end - at < bytes.size() || !read(at, bytes)) {
      summary.problem = std::to_string(end - at) + " stray bytes" + where(at) + ", too few for a frame header";
      break;
    }
    if (end - at == kId3v1Bytes && bytes[0] == 'T' && bytes[1] == 'A' && bytes[2] == 'G') break;
    const auto header = ParseMpegAudioFrameHeader(bytes);
    if (!header) {
      summary.problem = "no MPEG audio frame header" + where(at);
      break;
    }
    if (summary.first && !SameStream(*summary.first, *header)) {
      summary.problem = "a frame" + where(at) + " is " + MpegVersionName(header->version) + " layer " +
                        std::to_string(header->layer) + ", " + std::to_string(header->sampleRate) + " Hz, " +
                        ChannelModeName(header->mode) + ", unlike the frames before it";
      break;
    }
    if (end - at < header->frameBytes) {
      summary.problem = "the last frame is cut short" + where(at) + ": " + std::to_string(end - at) + " of its " +
                        std::to_string(header->frameBytes) + " bytes are there";
      break;
    }
    if (!summary.first) {
      summary.first = header;
      summary.lowestBitRate = summary.highestBitRate = header->bitRate;
    }
    summary.lowestBitRate = std::min(summary.lowestBitRate, header->bitRate);
    summary.highestBitRate = std::max(summary.highestBitRate, header->bitRate);
    samplesSeconds += static_cast<double>(header->samples) / header->sampleRate;
    ++summary.frames;
    at += header->frameBytes;
  }
  if (summary.problem.empty() && at > end) summary.problem = "the ID3v2 tag runs past the end of the sound";
  summary.seconds = samplesSeconds;
  return summary;
}
