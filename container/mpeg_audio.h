#pragma once

// The sound part of an output file is a bare MP3 stream. These read its MPEG audio frame headers to
// tell what the player will be given: bit rate, channel mode, sample rate and length.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

enum class MpegVersion { kMpeg1, kMpeg2, kMpeg25 };
enum class ChannelMode { kStereo, kJointStereo, kDualChannel, kMono };

struct MpegAudioFrameHeader {
  MpegVersion version;
  int layer;            // 1, 2 or 3
  unsigned bitRate;     // bit/s
  unsigned sampleRate;  // Hz
  ChannelMode mode;
  std::size_t frameBytes;  // header included
  unsigned samples;        // per channel
};

// The header of the frame starting with these four bytes; none for a lost sync, a reserved version,
// layer or sample rate, or a free-format or invalid bit rate.
std::optional<MpegAudioFrameHeader> ParseMpegAudioFrameHeader(std::span<const std::uint8_t, 4> bytes);

const char* MpegVersionName(MpegVersion version);  // "MPEG-1", "MPEG-2", "MPEG-2.5"
const char* ChannelModeName(ChannelMode mode);     // "stereo", "joint stereo", "dual channel", "mono"

struct MpegAudioSummary {
  std::uint64_t frames = 0;
  // Of the first frame; every later frame must agree on all but the bit rate.
  std::optional<MpegAudioFrameHeader> first;
  unsigned lowestBitRate = 0;
  unsigned highestBitRate = 0;
  double seconds = 0;
  // Empty when the whole stream is frames, with at most an ID3v2 tag before them and an ID3v1 tag
  // behind them; otherwise where and how it stops being one.
  std::string problem;
};

// Reads `size` bytes at `offset` of the file into `into`; false when they are not all there.
using ReadBytesAt = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> into)>;

// Walks the frames of the `length` bytes at `offset`. An empty stream is no sound, not a problem.
MpegAudioSummary SummariseMpegAudio(const ReadBytesAt& read, std::uint64_t offset, std::uint64_t length);
