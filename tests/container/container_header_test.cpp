#include <gtest/gtest.h>

#include <vector>

#include "container/container_header.h"

namespace {

std::vector<std::uint8_t> BytesOf(const ContainerHeader& header) {
  return {header.Bytes(), header.Bytes() + ContainerHeader::kSize};
}

TEST(ContainerHeaderTest, FillsTheWorkedExample) {
  ContainerHeader header;
  header.Fill(100, 8, 160, 120, 300000);
  std::vector<std::uint8_t> expected{0x58, 0x52, 0x46, 0x00, 0x64, 0x00, 0x00, 0x00, 0x08, 0xA0, 0x00,
                                     0x78, 0x00, 0xE0, 0x93, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEB};
  expected.resize(54, 0);
  EXPECT_EQ(BytesOf(header), expected);
}

TEST(ContainerHeaderTest, FieldsAtTheirUnalignedOffsetsAndChecksumWraps) {
  struct Case {
    std::uint32_t frameCount;
    std::uint16_t width, height;
    std::uint32_t audioOffset;
    std::uint8_t checksum;
  };
  // 'X' + 'R' + 'F' + 8 frames per second = 0xF8 before the fields of each case.
  for (const Case c : {Case{0, 0, 0, 0, 0xF8}, Case{8, 160, 120, 54, 0x4E},
                       Case{0xFFFFFFFF, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xEC}, Case{0x04030201, 0x0605, 0x0807, 0x0C0B0A09, 0x46}}) {
    SCOPED_TRACE(c.frameCount);
    ContainerHeader header;
    header.Fill(c.frameCount, 8, c.width, c.height, c.audioOffset);
    const std::vector<std::uint8_t> bytes = BytesOf(header);
    const auto field = [&](std::size_t at, int width) {
      std::uint32_t value = 0;
      for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
      return value;
    };
    EXPECT_EQ(field(4, 4), c.frameCount);
    EXPECT_EQ(bytes[8], 8);
    EXPECT_EQ(field(9, 2), c.width);
    EXPECT_EQ(field(11, 2), c.height);
    EXPECT_EQ(field(13, 4), c.audioOffset);
    EXPECT_EQ(bytes[21], c.checksum);
    for (std::size_t i : {17, 18, 19, 20}) EXPECT_EQ(bytes[i], 0) << i;
    for (std::size_t i = 22; i < 54; ++i) EXPECT_EQ(bytes[i], 0) << i;
  }
}

TEST(ContainerHeaderTest, ClearLeavesTheUnfinishedMark) {
  ContainerHeader header;
  header.Fill(100, 8, 160, 120, 300000);
  header.Clear();
  EXPECT_EQ(BytesOf(header), std::vector<std::uint8_t>(54, 0));
}

}  // namespace
