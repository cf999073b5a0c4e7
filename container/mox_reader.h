#pragma once

// Reading an output file back as the player will: the header, the frame records walked from offset 54
// to the audio offset and decoded one after the other, and the MP3 stream behind them. Every way in
// which the file is not complete and consistent is named.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codec/frame_decoder.h"
#include "container/mpeg_audio.h"

struct FrameRecordInfo {
  std::uint64_t offset = 0;
  std::size_t length = 0;  // the record's chunkLength
  int standalone = 0;
  std::size_t codes = 0;
  std::size_t skipPixels = 0;
  std::size_t fillPixels = 0;
  std::size_t literalPixels = 0;
  std::string problem;  // empty when the record decoded against the frame before
};

struct MoxInspection {
  std::uint64_t fileSize = 0;
  bool hasHeader = false;  // 54 bytes were there to read
  bool hasMagic = false;
  std::uint32_t frameCount = 0;
  std::uint8_t framesPerSecond = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint32_t audioOffset = 0;
  std::uint8_t checksum = 0;
  std::uint8_t headerSum = 0;  // bytes 0 to 16 modulo 256, what the checksum should be
  std::vector<FrameRecordInfo> records;
  std::uint64_t soundOffset = 0;
  std::uint64_t soundLength = 0;
  MpegAudioSummary sound;
  // Empty for a complete and consistent file; otherwise the first thing found wrong, in file order.
  std::string problem;

  bool Complete() const { return problem.empty(); }
  // The pictures last frames / frames per second; 0 when the rate is 0.
  double PicturesSeconds() const;
};

// Called with each record's number (from 1) and its picture, for every record that decodes.
using PictureVisitor = std::function<void(std::size_t number, const Picture& picture)>;

// Inspects the file at `path`. A file that can't be opened or read gets that as its problem.
MoxInspection InspectMoxFile(const std::string& path, const PictureVisitor& visitPicture = {});
