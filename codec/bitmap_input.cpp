#include "codec/bitmap_input.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "platform/console.h"

std::FILE* g_paletteBitmapFile = nullptr;
std::FILE* g_trueColorBitmapFile = nullptr;
std::int32_t g_frameWidth = 0;
std::int32_t g_frameHeight = 0;
std::unique_ptr<std::uint8_t[]> g_indexedFrame;
std::unique_ptr<std::uint16_t[]> g_currentPlane;
std::unique_ptr<std::uint16_t[]> g_previousPlane;

namespace {

constexpr std::size_t kFileHeaderSize = 14;
// The Windows 3 info header. Its V4 and V5 successors keep its fields and append their own; the
// smaller OS/2 headers lay the fields out differently and are refused.
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::size_t kPaletteEntryBytes = 4;

// Offsets in the file.
constexpr std::size_t kPixelOffsetAt = 10;
constexpr std::size_t kInfoSizeAt = 14;
constexpr std::size_t kWidthAt = 18;
constexpr std::size_t kHeightAt = 22;
constexpr std::size_t kBitCountAt = 28;
constexpr std::size_t kCompressionAt = 30;

// The chunk's length field has 20 bits.
constexpr std::int64_t kLargestChunk = (std::int64_t{1} << 20) - 1;
constexpr std::int64_t kChunkFixedBytes = 3 + 512;
constexpr std::int64_t kLongestRun = 4095;

constexpr char kFileTypeMessage[] = "file type error!";
constexpr char kCompressionMessage[] = "暂不支持该类型位图\n";
constexpr char kNot256ColorMessage[] = "Not 256 color";
constexpr char kNot24ColorMessage[] = "Not 24 color";
constexpr char kAllocateMessage[] = "Allocate memory error!\n";
constexpr char kTruncatedMessage[] = "Bitmap file is truncated!\n";
constexpr char kInfoHeaderMessage[] = "Bitmap header type is not supported!\n";
constexpr char kNegativeWidthMessage[] = "Bitmap width is negative!\n";
constexpr char kSizeOverflowMessage[] = "Bitmap size is too large!\n";
constexpr char kChunkTooLargeMessage[] = "Bitmap is too large for a frame record!\n";
constexpr char kSizeMismatchMessage[] = "24-bit bitmap size differs from the 256 color bitmap!\n";

void Refuse(const char* message) {
  std::fputs(message, stdout);
  WaitForKeyPress();
}

std::uint16_t LittleEndian16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

std::uint32_t LittleEndian32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

bool ReadExactly(std::FILE* file, void* into, std::size_t bytes) {
  return std::fread(into, 1, bytes, file) == bytes;
}

struct BitmapHeader {
  std::uint32_t pixelOffset = 0;
  std::uint32_t infoSize = 0;
  std::int32_t width = 0;
  std::int32_t rows = 0;
  // A negative height in the file means the rows are stored top row first.
  bool topDown = false;
};

// Reads the file header and the info header and tests them, printing one message for the first fault.
bool ReadBitmapHeader(std::FILE* file, std::uint16_t wantedBitCount, const char* wrongBitCountMessage,
                      BitmapHeader& header) {
  std::uint8_t bytes[kFileHeaderSize + kInfoHeaderSize];
  const std::size_t fileHeaderRead = std::fread(bytes, 1, kFileHeaderSize, file);
  if (fileHeaderRead < 2 || bytes[0] != 'B' || bytes[1] != 'M') {
    Refuse(kFileTypeMessage);
    return false;
  }
  if (fileHeaderRead < kFileHeaderSize || !ReadExactly(file, bytes + kInfoSizeAt, 4)) {
    Refuse(kTruncatedMessage);
    return false;
  }
  header.infoSize = LittleEndian32(bytes + kInfoSizeAt);
  if (header.infoSize < kInfoHeaderSize) {
    Refuse(kInfoHeaderMessage);
    return false;
  }
  if (!ReadExactly(file, bytes + kInfoSizeAt + 4, kInfoHeaderSize - 4)) {
    Refuse(kTruncatedMessage);
    return false;
  }
  if (LittleEndian32(bytes + kCompressionAt) != 0) {
    Refuse(kCompressionMessage);
    return false;
  }
  if (LittleEndian16(bytes + kBitCountAt) != wantedBitCount) {
    Refuse(wrongBitCountMessage);
    return false;
  }
  const auto width = static_cast<std::int32_t>(LittleEndian32(bytes + kWidthAt));
  const auto height = static_cast<std::int32_t>(LittleEndian32(bytes + kHeightAt));
  if (width < 0) {
    Refuse(kNegativeWidthMessage);
    return false;
  }
  const std::int64_t rows = std::abs(static_cast<std::int64_t>(height));
  constexpr std::int64_t kLargestCount = std::numeric_limits<std::int32_t>::max();
  if (rows > kLargestCount || width * rows > kLargestCount) {
    Refuse(kSizeOverflowMessage);
    return false;
  }
  header.pixelOffset = LittleEndian32(bytes + kPixelOffsetAt);
  header.width = width;
  header.rows = static_cast<std::int32_t>(rows);
  header.topDown = height < 0;
  return true;
}

// The worst chunk of a frame: prefix, palette, one byte per pixel and a literal code per longest run.
bool FitsInChunk(std::int64_t pixels) {
  return kChunkFixedBytes + pixels + 2 * ((pixels + kLongestRun - 1) / kLongestRun) <= kLargestChunk;
}

// A file row holds bitCount × width bits, brought up to a multiple of 4 bytes.
std::size_t RowStride(std::uint16_t bitCount, std::int32_t width) {
  return static_cast<std::size_t>((std::int64_t{bitCount} * width + 31) / 32 * 4);
}

// Reads the rows from the pixel data offset and hands each to storeRow(planeRow, fileRow), with the
// plane's rows top first. allocationMessage is printed when the row buffer cannot be had, unless null.
template <typename StoreRow>
bool ReadRows(std::FILE* file, const BitmapHeader& header, std::size_t stride, const char* allocationMessage,
              StoreRow storeRow) {
  if (std::fseek(file, static_cast<long>(header.pixelOffset), SEEK_SET) != 0) {
    Refuse(kTruncatedMessage);
    return false;
  }
  // A row of no pixels has no bytes: however many rows the header counts, there is nothing to read.
  if (header.rows == 0 || stride == 0) return true;
  std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[stride]);
  if (!row) {
    if (allocationMessage != nullptr) Refuse(allocationMessage);
    return false;
  }
  for (std::int32_t r = 0; r < header.rows; ++r) {
    if (!ReadExactly(file, row.get(), stride)) {
      Refuse(kTruncatedMessage);
      return false;
    }
    storeRow(header.topDown ? r : header.rows - 1 - r, row.get());
  }
  return true;
}

// 256 entries behind the info header, whatever count the header gives: a smaller palette is followed
// by other bytes of the file, which its pixels never select. Entries past the end of the file are black.
bool ReadPalette(std::FILE* file, const BitmapHeader& header, std::uint8_t* palette) {
  if (header.infoSize > kInfoHeaderSize &&
      std::fseek(file, static_cast<long>(kFileHeaderSize + header.infoSize), SEEK_SET) != 0) {
    Refuse(kTruncatedMessage);
    return false;
  }
  std::uint8_t entries[kPaletteEntries * kPaletteEntryBytes] = {};
  // A short read here is not yet a fault: a small bitmap may end inside the 256 entries.
  (void)std::fread(entries, 1, sizeof entries, file);
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    const std::uint8_t* entry = entries + i * kPaletteEntryBytes;
    const std::uint16_t colour = ToRgb565(entry[2], entry[1], entry[0]);
    palette[2 * i] = static_cast<std::uint8_t>(colour);
    palette[2 * i + 1] = static_cast<std::uint8_t>(colour >> 8);
  }
  return true;
}

}  // namespace

bool ReadIndexedFrame() {
  BitmapHeader header;
  if (!ReadBitmapHeader(g_paletteBitmapFile, 8, kNot256ColorMessage, header)) return false;
  const std::size_t pixels = static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.rows);
  if (!FitsInChunk(static_cast<std::int64_t>(pixels))) {
    Refuse(kChunkTooLargeMessage);
    return false;
  }
  const std::size_t bytes = kIndexedFramePaletteBytes + pixels + kIndexedFrameSpareBytes;
  std::unique_ptr<std::uint8_t[]> frame(new (std::nothrow) std::uint8_t[bytes]);
  if (!frame) {
    Refuse(kAllocateMessage);
    return false;
  }
  if (!ReadPalette(g_paletteBitmapFile, header, frame.get())) return false;
  std::uint8_t* indices = frame.get() + kIndexedFramePaletteBytes;
  const auto width = static_cast<std::size_t>(header.width);
  const bool read = ReadRows(g_paletteBitmapFile, header, RowStride(8, header.width), kAllocateMessage,
                             [&](std::int32_t planeRow, const std::uint8_t* fileRow) {
                               std::memcpy(indices + static_cast<std::size_t>(planeRow) * width, fileRow, width);
                             });
  if (!read) return false;
  std::memset(indices + pixels, 0, kIndexedFrameSpareBytes);

  // Only a frame read in full moves the planes on: the encoder's skips must refer to the last frame
  // that was coded. A plane of another size cannot be compared position by position.
  const bool sameSize = header.width == g_frameWidth && header.rows == g_frameHeight;
  g_frameWidth = header.width;
  g_frameHeight = header.rows;
  g_previousPlane = std::move(g_currentPlane);
  if (!sameSize) g_previousPlane.reset();
  LoadTrueColorFrame();
  g_indexedFrame = std::move(frame);
  return true;
}

void LoadTrueColorFrame() {
  g_currentPlane.reset();
  if (g_trueColorBitmapFile == nullptr) return;
  BitmapHeader header;
  if (!ReadBitmapHeader(g_trueColorBitmapFile, 24, kNot24ColorMessage, header)) return;
  if (header.width != g_frameWidth || header.rows != g_frameHeight) {
    Refuse(kSizeMismatchMessage);
    return;
  }
  const auto width = static_cast<std::size_t>(header.width);
  std::unique_ptr<std::uint16_t[]> plane(new (std::nothrow) std::uint16_t[width * static_cast<std::size_t>(header.rows)]);
  if (!plane) return;
  const bool read = ReadRows(g_trueColorBitmapFile, header, RowStride(24, header.width), nullptr,
                             [&](std::int32_t planeRow, const std::uint8_t* fileRow) {
                               std::uint16_t* out = plane.get() + static_cast<std::size_t>(planeRow) * width;
                               for (std::size_t x = 0; x < width; ++x, fileRow += 3) {
                                 out[x] = ToRgb565(fileRow[2], fileRow[1], fileRow[0]);
                               }
                             });
  if (read) g_currentPlane = std::move(plane);
}
