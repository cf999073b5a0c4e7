// Frames as desktop pictures: the colour widening and the contact sheet's choice and layout.

#include "cli/frame_images.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameImagesTest, WidensRgb565ChannelsByRepeatingTheirTopBits) {
  const std::pair<std::uint16_t, std::array<std::uint8_t, 3>> cases[] = {
      {0x0000, {0, 0, 0}},   {0xFFFF, {255, 255, 255}}, {0xF800, {255, 0, 0}},     {0x07E0, {0, 255, 0}},
      {0x001F, {0, 0, 255}}, {0x0841, {8, 8, 8}},       {0x8410, {132, 130, 132}},
  };
  for (const auto& [colour, rgb] : cases) {
    const RgbImage image = ToRgbImage({colour}, 1, 1);
    EXPECT_EQ(image.pixels, std::vector<std::uint8_t>(rgb.begin(), rgb.end())) << std::hex << colour;
  }
}

TEST(FrameImagesTest, SheetShowsAnEvenSpreadFromFirstToLast) {
  const std::pair<std::size_t, std::vector<std::size_t>> cases[] = {
      {1, {1}}, {5, {1, 2, 3, 4, 5}}, {48, {}},  // all 48
  };
  for (const auto& [count, expected] : cases) {
    const ContactSheet sheet(count, 4, 3);
    for (std::size_t n = 1; n <= count; ++n) EXPECT_TRUE(sheet.Wants(n)) << count << ": " << n;
    EXPECT_FALSE(sheet.Wants(count + 1));
  }
  const ContactSheet film(480, 4, 3);
  std::vector<std::size_t> shown;
  for (std::size_t n = 1; n <= 480; ++n) {
    if (film.Wants(n)) shown.push_back(n);
  }
  ASSERT_EQ(shown.size(), ContactSheet::kMostFrames);
  EXPECT_EQ(shown.front(), 1u);
  EXPECT_EQ(shown.back(), 480u);
  for (std::size_t i = 1; i < shown.size(); ++i) {
    EXPECT_GE(shown[i] - shown[i - 1], 10u);
    EXPECT_LE(shown[i] - shown[i - 1], 11u);
  }
}

TEST(FrameImagesTest, SheetPlacesFramesInRowsWithTheirNumbersBeneath) {
  // Ten frames of 20 x 10: two rows of eight places, each frame a colour of its own.
  ContactSheet sheet(10, 20, 10);
  for (std::size_t n = 1; n <= 10; ++n) {
    sheet.Add(n, ToRgbImage(Picture(200, static_cast<std::uint16_t>(n * 0x0841)), 20, 10));
  }
  EXPECT_EQ(sheet.Added(), 10u);
  const RgbImage image = sheet.Render();
  ASSERT_EQ(image.width, 8 * 24 + 4u);
  ASSERT_EQ(image.height, 2 * (10 + 18 + 4) + 4u);
  auto pixel = [&](std::size_t x, std::size_t y) { return image.pixels[(y * image.width + x) * 3 + 1]; };
  for (std::size_t n = 1; n <= 10; ++n) {
    const std::size_t left = 4 + (n - 1) % 8 * 24, top = 4 + (n - 1) / 8 * 32;
    const std::uint8_t green = ToRgbImage({static_cast<std::uint16_t>(n * 0x0841)}, 1, 1).pixels[1];
    EXPECT_EQ(pixel(left, top), green) << n;
    EXPECT_EQ(pixel(left + 19, top + 9), green) << n;
    EXPECT_EQ(pixel(left + 20, top), 0x20) << n;  // the gap
    // The label strip holds white ink.
    bool ink = false;
    for (std::size_t y = top + 10; y < top + 28; ++y) {
      for (std::size_t x = left; x < left + 20; ++x) ink = ink || pixel(x, y) == 0xFF;
    }
    EXPECT_TRUE(ink) << n;
  }
  // The places after the tenth stay empty.
  EXPECT_EQ(pixel(4 + 2 * 24 + 10, 4 + 32 + 5), 0x20);
}

}  // namespace
