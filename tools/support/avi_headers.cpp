#include "support/avi_headers.h"

#include <cstdint>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tools {

namespace {

// The header list of a reduced video is a few kilobytes; a far larger one is no file of ours.
constexpr std::uint32_t kLargestHeaderList = 1 << 20;

// A bounds-checked view of bytes with little-endian reads.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t size() const { return size_; }
  bool Fits(std::size_t at, std::size_t count) const { return at <= size_ && size_ - at >= count; }
  std::optional<std::uint32_t> Le32(std::size_t at) const {
    if (!Fits(at, 4)) return std::nullopt;
    return static_cast<std::uint32_t>(data_[at]) | static_cast<std::uint32_t>(data_[at + 1]) << 8 |
           static_cast<std::uint32_t>(data_[at + 2]) << 16 | static_cast<std::uint32_t>(data_[at + 3]) << 24;
  }
  bool HasFourCc(std::size_t at, std::string_view code) const {
    return Fits(at, 4) && std::string_view(reinterpret_cast<const char*>(data_) + at, 4) == code;
  }
  // The bytes from `at` on; empty past the end.
  Bytes From(std::size_t at) const { return at <= size_ ? Bytes(data_ + at, size_ - at) : Bytes(data_, 0); }
  Bytes Prefix(std::size_t count) const { return Bytes(data_, count < size_ ? count : size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

struct Chunk {
  Bytes id;    // its four-character code and on
  Bytes data;  // for a LIST, its list type and then its chunks

  bool IsList(std::string_view type) const { return id.HasFourCc(0, "LIST") && data.HasFourCc(0, type); }
  Bytes ListChunks() const { return data.From(4); }
};

// The chunks of `chunks`, each starting on an even offset as RIFF pads them; nothing when one runs
// past the end.
std::optional<std::vector<Chunk>> SplitChunks(const Bytes& chunks) {
  std::vector<Chunk> result;
  std::size_t at = 0;
  while (chunks.Fits(at, 8)) {
    const std::uint32_t size = *chunks.Le32(at + 4);
    if (!chunks.Fits(at + 8, size)) return std::nullopt;
    result.push_back({chunks.From(at), chunks.From(at + 8).Prefix(size)});
    at += 8 + static_cast<std::size_t>(size) + (size & 1);
  }
  return result;
}

bool ReadExactly(int fd, std::uint8_t* buffer, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t got = pread(fd, buffer, size, offset);
    if (got <= 0) return false;
    buffer += got;
    size -= static_cast<std::size_t>(got);
    offset += got;
  }
  return true;
}

// The chunks of the 'hdrl' list that an AVI file starts with, or nothing when it does not start so.
std::optional<std::vector<std::uint8_t>> ReadHeaderList(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> result;
  // "RIFF" <size> "AVI " "LIST" <size> "hdrl"
  std::uint8_t start[24];
  const Bytes head(start, sizeof start);
  if (ReadExactly(fd, start, sizeof start, 0) && head.HasFourCc(0, "RIFF") && head.HasFourCc(8, "AVI ") &&
      head.HasFourCc(12, "LIST") && head.HasFourCc(20, "hdrl")) {
    const std::uint32_t listSize = *head.Le32(16);
    if (listSize >= 4 && listSize <= kLargestHeaderList) {
      std::vector<std::uint8_t> list(listSize - 4);
      if (ReadExactly(fd, list.data(), list.size(), sizeof start)) result = std::move(list);
    }
  }
  close(fd);
  return result;
}

struct VideoStream {
  bool mjpeg = false;
};

// The stream that the chunks of one 'strl' list describe, when it is a video stream.
std::optional<VideoStream> ReadVideoStream(const std::vector<Chunk>& streamChunks) {
  std::optional<VideoStream> video;
  bool handlerMjpeg = false;
  bool compressionMjpeg = false;
  for (const Chunk& chunk : streamChunks) {
    if (chunk.id.HasFourCc(0, "strh")) {
      // fccType, then fccHandler
      if (chunk.data.HasFourCc(0, "vids")) video = VideoStream{};
      handlerMjpeg = chunk.data.HasFourCc(4, "MJPG");
    } else if (chunk.id.HasFourCc(0, "strf")) {
      // BITMAPINFOHEADER: biCompression at 16
      compressionMjpeg = chunk.data.HasFourCc(16, "MJPG");
    }
  }
  if (video) video->mjpeg = handlerMjpeg && compressionMjpeg;
  return video;
}

}  // namespace

std::optional<MediaInfo> ReadMjpegAviInfo(const std::string& path) {
  const std::optional<std::vector<std::uint8_t>> headerList = ReadHeaderList(path);
  if (!headerList) return std::nullopt;
  const std::optional<std::vector<Chunk>> chunks = SplitChunks(Bytes(headerList->data(), headerList->size()));
  if (!chunks) return std::nullopt;

  std::optional<std::uint32_t> firstRiffFrames;  // avih dwTotalFrames
  std::optional<std::uint32_t> allFrames;        // dmlh dwTotalFrames, in a file grown past one RIFF
  std::optional<VideoStream> video;
  for (const Chunk& chunk : *chunks) {
    if (chunk.id.HasFourCc(0, "avih")) {
      firstRiffFrames = chunk.data.Le32(16);
    } else if (chunk.IsList("strl") && !video) {
      const std::optional<std::vector<Chunk>> streamChunks = SplitChunks(chunk.ListChunks());
      if (!streamChunks) return std::nullopt;
      video = ReadVideoStream(*streamChunks);
    } else if (chunk.IsList("odml")) {
      const std::optional<std::vector<Chunk>> extended = SplitChunks(chunk.ListChunks());
      if (!extended) return std::nullopt;
      for (const Chunk& inner : *extended) {
        if (inner.id.HasFourCc(0, "dmlh")) allFrames = inner.data.Le32(0);
      }
    }
  }
  const std::optional<std::uint32_t> frames = allFrames ? allFrames : firstRiffFrames;
  // A count of 0 is a file whose writer never came back to fill it in.
  if (!video || !video->mjpeg || !frames || *frames == 0) return std::nullopt;
  MediaInfo info;
  info.readable = true;
  info.hasVideo = true;
  info.videoCodec = "mjpeg";
  info.videoFrames = *frames;
  return info;
}

}  // namespace tools
