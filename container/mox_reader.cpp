#include "container/mox_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "container/container_header.h"

namespace {

constexpr std::array<std::uint8_t, 4> kMagic = {'X', 'R', 'F', 0};
// Far beyond any player's screen, and small enough that two pictures of it fit in memory.
constexpr std::size_t kLargestFramePixels = std::size_t{1} << 24;

std::uint32_t LittleEndian(const std::uint8_t* at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = value << 8 | at[i];
  return value;
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += byte;
  }
  return text;
}

// The file, read with pread so that a record or a frame header is fetched where it lies.
class FileBytes {
 public:
  explicit FileBytes(const std::string& path) : descriptor_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~FileBytes() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // False with errno set when the file can't be opened or is not a regular file.
  bool Size(std::uint64_t& size) const {
    struct stat status {};
    if (descriptor_ < 0 || fstat(descriptor_, &status) != 0) return false;
    if (!S_ISREG(status.st_mode)) {
      errno = EISDIR;
      return false;
    }
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
  }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const {
    std::size_t done = 0;
    while (done < into.size()) {
      const ssize_t got = pread(descriptor_, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      done += static_cast<std::size_t>(got);
    }
    return true;
  }

 private:
  int descriptor_;
};

void Note(std::string& problem, const std::string& found) {
  if (problem.empty()) problem = found;
}

std::string HeaderProblem(const MoxInspection& file, const std::uint8_t* header) {
  if (!file.hasMagic) {
    const bool placeholder =
        std::all_of(header, header + ContainerHeader::kSize, [](std::uint8_t b) { return b == 0; });
    return placeholder ? "no magic: the header is still the zero placeholder, so the conversion never finished"
                       : "no magic: the file begins " + Hex(header, kMagic.size()) +
                             ", not 58 52 46 00 (\"XRF\" and a zero byte)";
  }
  if (file.checksum != file.headerSum) {
    return "bad checksum: byte 21 holds " + std::to_string(file.checksum) + ", but bytes 0 to 16 add up to " +
           std::to_string(file.headerSum) + " (modulo 256)";
  }
  for (std::size_t i = ContainerHeader::kChecksummedBytes; i < ContainerHeader::kSize; ++i) {
    if (i != ContainerHeader::kChecksumOffset && header[i] != 0) {
      return "reserved header byte " + std::to_string(i) + " is " + std::to_string(header[i]) + ", not 0";
    }
  }
  if (file.framesPerSecond == 0) return "the frame rate is 0 frames per second";
  if (std::size_t{file.width} * file.height > kLargestFramePixels) {
    return "frames of " + std::to_string(file.width) + " x " + std::to_string(file.height) +
           " pixels are more than the reader decodes (" + std::to_string(kLargestFramePixels) + " pixels)";
  }
  if (file.audioOffset < ContainerHeader::kSize) {
    return "audioOffset " + std::to_string(file.audioOffset) + " lies inside the 54-byte header";
  }
  if (file.audioOffset > file.fileSize) {
    return "audioOffset " + std::to_string(file.audioOffset) + " lies past the end of the file (" +
           std::to_string(file.fileSize) + " bytes)";
  }
  return {};
}

}  // namespace

double MoxInspection::PicturesSeconds() const {
  return framesPerSecond == 0 ? 0 : static_cast<double>(frameCount) / framesPerSecond;
}

MoxInspection InspectMoxFile(const std::string& path, const PictureVisitor& visitPicture) {
  MoxInspection file;
  const FileBytes bytes(path);
  if (!bytes.Size(file.fileSize)) {
    file.problem = "can't read " + path + ": " + std::strerror(errno);
    return file;
  }
  std::array<std::uint8_t, ContainerHeader::kSize> header{};
  if (file.fileSize < header.size()) {
    file.problem = file.fileSize == 0
                       ? "the file is empty: the conversion stopped before its frame stage"
                       : "the file is " + std::to_string(file.fileSize) + " bytes, shorter than the 54-byte header";
    return file;
  }
  if (!bytes.ReadAt(0, header)) {
    file.problem = "can't read the header: " + std::string(std::strerror(errno));
    return file;
  }
  file.hasHeader = true;
  file.hasMagic = std::equal(kMagic.begin(), kMagic.end(), header.begin());
  file.frameCount = LittleEndian(&header[ContainerHeader::kFrameCountOffset], 4);
  file.framesPerSecond = header[ContainerHeader::kFramesPerSecondOffset];
  file.width = static_cast<std::uint16_t>(LittleEndian(&header[ContainerHeader::kWidthOffset], 2));
  file.height = static_cast<std::uint16_t>(LittleEndian(&header[ContainerHeader::kHeightOffset], 2));
  file.audioOffset = LittleEndian(&header[ContainerHeader::kAudioOffsetOffset], 4);
  file.checksum = header[ContainerHeader::kChecksumOffset];
  for (std::size_t i = 0; i < ContainerHeader::kChecksummedBytes; ++i)
    file.headerSum = static_cast<std::uint8_t>(file.headerSum + header[i]);
  file.problem = HeaderProblem(file, header.data());

  // An unfinished file has no audio offset and no frame size: its records run to the end of the file
  // and are read for their codes only.
  const bool bounded = file.hasMagic && file.audioOffset >= header.size() && file.audioOffset <= file.fileSize;
  const std::uint64_t recordsEnd = bounded ? file.audioOffset : file.fileSize;
  const std::string endName = bounded ? "audioOffset " + std::to_string(recordsEnd)
                                      : "the end of the file (" + std::to_string(recordsEnd) + " bytes)";
  const std::size_t framePixels = std::size_t{file.width} * file.height;
  const std::size_t pixelCount = file.hasMagic && framePixels <= kLargestFramePixels ? framePixels : kUnknownPixelCount;

  Picture previous;
  bool previousDecoded = false;
  bool walkedToEnd = true;
  std::vector<std::uint8_t> chunk;
  for (std::uint64_t offset = header.size(); offset < recordsEnd;) {
    const std::size_t number = file.records.size() + 1;
    const std::string record = "frame " + std::to_string(number) + " at offset " + std::to_string(offset);
    FrameRecordInfo info;
    info.offset = offset;
    std::array<std::uint8_t, kChunkPrefixBytes> prefix{};
    if (recordsEnd - offset < prefix.size() || !bytes.ReadAt(offset, prefix)) {
      Note(file.problem, record + ": only " + std::to_string(recordsEnd - offset) + " bytes before " + endName +
                             ", too few for a record's prefix");
      walkedToEnd = false;
      break;
    }
    info.length = prefix[0] | prefix[1] << 8 | (prefix[2] >> 4) << 16;
    info.standalone = prefix[2] & 0x0F;
    if (info.length < kChunkRunsStart || info.length > recordsEnd - offset) {
      info.problem = info.length < kChunkRunsStart
                         ? record + " gives a length of " + std::to_string(info.length) +
                               ", below the 515 bytes of prefix and palette"
                         : record + " is " + std::to_string(info.length) + " bytes long and overruns " + endName;
      Note(file.problem, info.problem);
      file.records.push_back(std::move(info));
      walkedToEnd = false;
      break;
    }
    chunk.resize(info.length);
    if (!bytes.ReadAt(offset, chunk)) {
      Note(file.problem, record + ": can't read it: " + std::strerror(errno));
      walkedToEnd = false;
      break;
    }
    DecodedFrame frame = DecodeFrameChunk(chunk, pixelCount, previousDecoded ? &previous : nullptr);
    info.codes = frame.runs.size();
    info.skipPixels = frame.skipPixels;
    info.fillPixels = frame.fillPixels;
    info.literalPixels = frame.literalPixels;
    if (frame.problem == ChunkProblem::kSkipWithoutPrevious) {
      info.problem = number == 1 ? record + " has a skip code, but the first frame has no frame before it to keep"
                                 : record + " has a skip code right after frame " + std::to_string(number - 1) +
                                       ", which left no picture to compare with";
    } else if (frame.problem != ChunkProblem::kNone) {
      info.problem = record + ": " + frame.error;
    }
    Note(file.problem, info.problem);
    previousDecoded = info.problem.empty() && pixelCount != kUnknownPixelCount;
    if (previousDecoded) {
      previous = std::move(frame.picture);
      if (visitPicture) visitPicture(number, previous);
    }
    offset += info.length;
    file.records.push_back(std::move(info));
  }

  if (!file.hasMagic) return file;
  if (walkedToEnd && file.records.size() != file.frameCount) {
    Note(file.problem, "the header counts " + std::to_string(file.frameCount) + " frames, but " +
                           std::to_string(file.records.size()) + " records lie between offset 54 and " + endName);
  }
  if (bounded) {
    file.soundOffset = file.audioOffset;
    file.soundLength = file.fileSize - file.audioOffset;
    file.sound =
        SummariseMpegAudio([&bytes](std::uint64_t at, std::span<std::uint8_t> into) { return bytes.ReadAt(at, into); },
                           file.soundOffset, file.soundLength);
    if (!file.sound.problem.empty()) Note(file.problem, "sound: " + file.sound.problem);
  }
  return file;
}
