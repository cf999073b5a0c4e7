#include "cli/frame_images.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint8_t kBackground = 0x20;
constexpr std::uint8_t kLabelInk = 0xFF;
constexpr std::size_t kGap = 4;
constexpr std::size_t kGlyphWidth = 5;
constexpr std::size_t kGlyphHeight = 7;
constexpr std::size_t kGlyphScale = 2;
constexpr std::size_t kLabelHeight = kGlyphHeight * kGlyphScale + kGap;

// The digits 0 to 9, five columns by seven rows, the top row first and the leftmost column the
// highest of the five bits.
constexpr std::array<std::array<std::uint8_t, kGlyphHeight>, 10> kDigits = {{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1E, 0x01, 0x01, 0x0E, 0x01, 0x01, 0x1E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
}};

void DrawNumber(RgbImage& sheet, std::size_t number, std::size_t centreX, std::size_t top) {
  const std::string digits = std::to_string(number);
  const std::size_t advance = (kGlyphWidth + 1) * kGlyphScale;
  const std::size_t width = digits.size() * advance - kGlyphScale;
  std::size_t left = centreX > width / 2 ? centreX - width / 2 : 0;
  for (char digit : digits) {
    const auto& glyph = kDigits[static_cast<std::size_t>(digit - '0')];
    for (std::size_t y = 0; y < kGlyphHeight * kGlyphScale; ++y) {
      for (std::size_t x = 0; x < kGlyphWidth * kGlyphScale; ++x) {
        if ((glyph[y / kGlyphScale] >> (kGlyphWidth - 1 - x / kGlyphScale) & 1) == 0) continue;
        const std::size_t px = left + x, py = top + y;
        if (px >= sheet.width || py >= sheet.height) continue;
        std::fill_n(&sheet.pixels[(py * sheet.width + px) * 3], 3, kLabelInk);
      }
    }
    left += advance;
  }
}

}  // namespace

RgbImage ToRgbImage(const Picture& picture, std::size_t width, std::size_t height) {
  RgbImage image{width, height, std::vector<std::uint8_t>(picture.size() * 3)};
  std::uint8_t* out = image.pixels.data();
  for (const std::uint16_t colour : picture) {
    const unsigned red = colour >> 11, green = colour >> 5 & 0x3F, blue = colour & 0x1F;
    *out++ = static_cast<std::uint8_t>(red << 3 | red >> 2);
    *out++ = static_cast<std::uint8_t>(green << 2 | green >> 4);
    *out++ = static_cast<std::uint8_t>(blue << 3 | blue >> 2);
  }
  return image;
}

std::string WriteNewPng(const std::string& path, const RgbImage& image) {
  if (image.width == 0 || image.height == 0 || image.pixels.size() != image.width * image.height * 3) {
    return "a picture of " + std::to_string(image.width) + " x " + std::to_string(image.height) +
           " pixels can't be a PNG";
  }
  // "x": created here or not at all, so nobody's file is overwritten.
  std::FILE* file = std::fopen(path.c_str(), "wbxe");
  if (file == nullptr) return "can't create " + path + ": " + std::strerror(errno);
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;
  const bool written = png_image_write_to_stdio(&png, file, 0, image.pixels.data(), 0, nullptr) != 0;
  const std::string pngMessage = png.message;
  png_image_free(&png);
  const bool flushed = std::fflush(file) == 0;
  const int error = errno;
  const bool closed = std::fclose(file) == 0;
  if (written && flushed && closed) return {};
  unlink(path.c_str());
  return "can't write " + path + ": " + (written ? std::strerror(error) : pngMessage);
}

ContactSheet::ContactSheet(std::size_t frameCount, std::size_t frameWidth, std::size_t frameHeight)
    : frameWidth_(frameWidth), frameHeight_(frameHeight) {
  const std::size_t shown = std::min(frameCount, kMostFrames);
  for (std::size_t i = 0; i < shown; ++i) {
    wanted_.push_back(shown == 1 ? 1 : 1 + (i * (frameCount - 1) + (shown - 1) / 2) / (shown - 1));
  }
}

bool ContactSheet::Wants(std::size_t number) const {
  return std::binary_search(wanted_.begin(), wanted_.end(), number);
}

void ContactSheet::Add(std::size_t number, const RgbImage& frame) {
  if (Wants(number)) frames_.emplace_back(number, frame);
}

RgbImage ContactSheet::Render() const {
  const std::size_t columns = std::min(kColumns, std::max<std::size_t>(wanted_.size(), 1));
  const std::size_t rows = (wanted_.size() + columns - 1) / columns;
  const std::size_t cellWidth = frameWidth_ + kGap, cellHeight = frameHeight_ + kLabelHeight + kGap;
  RgbImage sheet{columns * cellWidth + kGap, rows * cellHeight + kGap, {}};
  sheet.pixels.assign(sheet.width * sheet.height * 3, kBackground);
  for (const auto& [number, frame] : frames_) {
    const auto place =
        static_cast<std::size_t>(std::lower_bound(wanted_.begin(), wanted_.end(), number) - wanted_.begin());
    const std::size_t left = kGap + place % columns * cellWidth, top = kGap + place / columns * cellHeight;
    for (std::size_t y = 0; y < frameHeight_; ++y) {
      std::copy_n(&frame.pixels[y * frameWidth_ * 3], frameWidth_ * 3,
                  &sheet.pixels[((top + y) * sheet.width + left) * 3]);
    }
    DrawNumber(sheet, number, left + frameWidth_ / 2, top + frameHeight_ + kGap / 2);
  }
  return sheet;
}
