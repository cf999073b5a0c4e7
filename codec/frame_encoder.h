#pragma once

// Coding one frame against the previous one into a frame chunk: 3-byte prefix (20-bit chunk length,
// standalone flag), the 512-byte palette, then skip, fill and literal run codes.

#include <cstdint>

// Reads the frame's bitmaps (ReadIndexedFrame) and appends one chunk to g_outputFile in a single
// write. True exactly when it did; the pipeline counts the records written from this.
bool EncodeFrame();

// 1 when two RGB565 colours match, 0 otherwise. The channels are compared as signed fields with a
// tolerance of zero, so this is 1 exactly when the two values are equal.
int PixelsMatch(const std::uint16_t& a, const std::uint16_t& b);

// Frees g_previousPlane, g_indexedFrame and g_currentPlane, in that order, and nulls them, so that the
// next job's first frame has no previous plane. The frame size stays for the container header.
void ReleaseFrameBuffers();
