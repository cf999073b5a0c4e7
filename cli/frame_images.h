#pragma once

// Frames as pictures on the desktop: PNG files, and a contact sheet of numbered frames.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/frame_decoder.h"

struct RgbImage {
  std::size_t width = 0;
  std::size_t height = 0;
  std::vector<std::uint8_t> pixels;  // red, green, blue per pixel, top row first
};

// Widens each channel by repeating its top bits, so that full intensity stays full: 0xFFFF is white.
RgbImage ToRgbImage(const Picture& picture, std::size_t width, std::size_t height);

// Writes `image` to a new file at `path`; an existing file is never replaced, and a file that could
// not be written whole is removed. Empty on success, otherwise why it failed.
std::string WriteNewPng(const std::string& path, const RgbImage& image);

// A grid of frames, each with its number beneath it. A long film shows an even spread of its frames,
// the first and the last among them.
class ContactSheet {
 public:
  static constexpr std::size_t kMostFrames = 48;
  static constexpr std::size_t kColumns = 8;

  ContactSheet(std::size_t frameCount, std::size_t frameWidth, std::size_t frameHeight);
  // True for the frame numbers (from 1) that the sheet shows.
  bool Wants(std::size_t number) const;
  void Add(std::size_t number, const RgbImage& frame);
  // The frames added so far, in their places; a wanted frame never added leaves its place empty.
  RgbImage Render() const;
  std::size_t Added() const { return frames_.size(); }

 private:
  std::size_t frameWidth_;
  std::size_t frameHeight_;
  std::vector<std::size_t> wanted_;  // ascending
  std::vector<std::pair<std::size_t, RgbImage>> frames_;
};
