#pragma once

// Reading one frame's two bitmaps: the 256-colour one gives the palette (RGB565) and the palette
// indices, the 24-bit one gives the true colours as an RGB565 plane. The plane of the frame before is
// kept beside the new one so that the encoder can skip the pixels that did not change.
//
// All of this state belongs to the conversion worker thread; nothing else touches it while a job runs.

#include <cstdint>
#include <cstdio>
#include <memory>

// The current frame's bitmaps, opened "rb" by the pipeline and standing at their start. The 24-bit
// one is null when its file did not open.
extern std::FILE* g_paletteBitmapFile;
extern std::FILE* g_trueColorBitmapFile;

// Size of the latest 256-colour bitmap that was read in full; the container header takes it.
// g_frameHeight counts rows, so it is never negative, whichever way the file stores them.
extern std::int32_t g_frameWidth;
extern std::int32_t g_frameHeight;

// kIndexedFramePaletteBytes of palette (256 RGB565 entries, low byte first), then
// g_frameWidth × g_frameHeight palette indices, top row first, then kIndexedFrameSpareBytes spare.
extern std::unique_ptr<std::uint8_t[]> g_indexedFrame;
// g_frameWidth × g_frameHeight RGB565 values, top row first; null when the frame has no readable
// 24-bit bitmap.
extern std::unique_ptr<std::uint16_t[]> g_currentPlane;
// The previous frame's g_currentPlane, or null.
extern std::unique_ptr<std::uint16_t[]> g_previousPlane;

inline constexpr std::size_t kPaletteEntries = 256;
inline constexpr std::size_t kIndexedFramePaletteBytes = 2 * kPaletteEntries;
inline constexpr std::size_t kIndexedFrameSpareBytes = 512;

// (red & 0xF8) << 8 | (green & 0xFC) << 3 | blue >> 3.
constexpr std::uint16_t ToRgb565(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<std::uint16_t>((red & 0xF8) << 8 | (green & 0xFC) << 3 | blue >> 3);
}

// Reads g_paletteBitmapFile, then the 24-bit bitmap through LoadTrueColorFrame, and moves the planes
// on by one frame. False, with a message on standard output, when the frame cannot be coded; a
// refused frame changes nothing, so the next frame is compared with the last one that was coded.
bool ReadIndexedFrame();

// Reads g_trueColorBitmapFile into g_currentPlane, which stays null when the stream is null or the
// bitmap cannot be read or is not the size of the 256-colour one.
void LoadTrueColorFrame();
