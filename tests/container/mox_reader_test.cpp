// Reading output files back: a small file of three 4 x 2 frames and three MP3 frames, and one broken
// variant of it for every way a file can be unfinished or inconsistent.

#include "container/mox_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "container/container_header.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;
using Bytes = std::vector<std::uint8_t>;

// MPEG-2 layer III, 32 kbit/s, 24 kHz, mono: 96 bytes a frame, what the sound tool writes.
Bytes SoundFrame() {
  Bytes frame(96, 0);
  frame[0] = 0xFF, frame[1] = 0xF3, frame[2] = 0x44, frame[3] = 0xC0;
  return frame;
}

Bytes Chunk(int standalone, const Bytes& codes) {
  const std::size_t length = 515 + codes.size();
  Bytes chunk{static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
              static_cast<std::uint8_t>((length >> 16) << 4 | standalone)};
  for (int i = 0; i < 256; ++i) {
    chunk.insert(chunk.end(), 2, static_cast<std::uint8_t>(i));  // entry i is 0x0101 * i
  }
  chunk.insert(chunk.end(), codes.begin(), codes.end());
  return chunk;
}

// The parts of a file, put together with a header that matches them unless a case says otherwise.
struct FileParts {
  std::vector<Bytes> records{Chunk(1, {0x20, 0x08, 0x01}), Chunk(0, {0x10, 0x08}),
                             Chunk(1, {0x30, 0x08, 1, 2, 3, 4, 5, 6, 7, 8})};
  Bytes sound = [] {
    const Bytes frame = SoundFrame();
    Bytes sound;
    for (int i = 0; i < 3; ++i) sound.insert(sound.end(), frame.begin(), frame.end());
    return sound;
  }();
  std::optional<std::uint32_t> frameCount;
  std::optional<std::uint32_t> audioOffset;
  std::function<void(Bytes&)> patch;  // applied to the finished bytes

  Bytes Build() const {
    Bytes records;
    for (const Bytes& record : this->records) records.insert(records.end(), record.begin(), record.end());
    ContainerHeader header;
    header.Fill(frameCount.value_or(static_cast<std::uint32_t>(this->records.size())), 8, 4, 2,
                audioOffset.value_or(static_cast<std::uint32_t>(54 + records.size())));
    Bytes file(header.Bytes(), header.Bytes() + ContainerHeader::kSize);
    file.insert(file.end(), records.begin(), records.end());
    file.insert(file.end(), sound.begin(), sound.end());
    if (patch) patch(file);
    return file;
  }
};

MoxInspection Inspect(const Bytes& bytes, const PictureVisitor& visit = {}) {
  TempDir folder;
  testing_support::WriteFileBytes(folder / "film.mox", bytes);
  return InspectMoxFile((folder / "film.mox").string(), visit);
}

TEST(MoxReaderTest, ReadsACompleteFile) {
  std::vector<std::pair<std::size_t, Picture>> pictures;
  const auto file = Inspect(
      FileParts{}.Build(), [&](std::size_t number, const Picture& picture) { pictures.emplace_back(number, picture); });
  EXPECT_EQ(file.problem, "");
  EXPECT_TRUE(file.hasMagic);
  EXPECT_EQ(file.frameCount, 3u);
  EXPECT_EQ(file.width, 4);
  EXPECT_EQ(file.height, 2);
  EXPECT_EQ(file.checksum, file.headerSum);
  ASSERT_EQ(file.records.size(), 3u);
  const std::uint64_t offsets[] = {54, 54 + 518, 54 + 518 + 517};
  const std::size_t lengths[] = {518, 517, 525};
  const int standalone[] = {1, 0, 1};
  const std::size_t skip[] = {0, 8, 0}, fill[] = {8, 0, 0}, literal[] = {0, 0, 8};
  for (std::size_t i = 0; i < 3; ++i) {
    const FrameRecordInfo& record = file.records[i];
    EXPECT_EQ(record.offset, offsets[i]);
    EXPECT_EQ(record.length, lengths[i]);
    EXPECT_EQ(record.standalone, standalone[i]);
    EXPECT_EQ(record.codes, 1u);
    EXPECT_EQ(record.skipPixels, skip[i]);
    EXPECT_EQ(record.fillPixels, fill[i]);
    EXPECT_EQ(record.literalPixels, literal[i]);
  }
  // Palette entry i is 0x0101 * i: the fill, the skip that keeps it, the literals.
  ASSERT_EQ(pictures.size(), 3u);
  EXPECT_EQ(pictures[0], std::make_pair(std::size_t{1}, Picture(8, 0x0101)));
  EXPECT_EQ(pictures[1], std::make_pair(std::size_t{2}, Picture(8, 0x0101)));
  EXPECT_EQ(pictures[2].second, (Picture{0x0101, 0x0202, 0x0303, 0x0404, 0x0505, 0x0606, 0x0707, 0x0808}));

  EXPECT_EQ(file.soundOffset, 54u + 518 + 517 + 525);
  EXPECT_EQ(file.soundLength, 288u);
  EXPECT_EQ(file.sound.frames, 3u);
  ASSERT_TRUE(file.sound.first.has_value());
  EXPECT_EQ(file.sound.first->version, MpegVersion::kMpeg2);
  EXPECT_EQ(file.sound.first->layer, 3);
  EXPECT_EQ(file.sound.first->sampleRate, 24000u);
  EXPECT_EQ(file.sound.first->mode, ChannelMode::kMono);
  EXPECT_EQ(file.sound.lowestBitRate, 32000u);
  EXPECT_DOUBLE_EQ(file.sound.seconds, 3 * 576 / 24000.0);
  EXPECT_DOUBLE_EQ(file.PicturesSeconds(), 3 / 8.0);
}

TEST(MoxReaderTest, SoundMayBeMissingOrTagged) {
  FileParts silent;
  silent.sound.clear();
  const auto withoutSound = Inspect(silent.Build());
  EXPECT_EQ(withoutSound.problem, "");
  EXPECT_EQ(withoutSound.soundLength, 0u);
  EXPECT_EQ(withoutSound.sound.frames, 0u);

  FileParts tagged;
  // An ID3v2 tag of 5 bytes before the frames, an ID3v1 tag behind them.
  Bytes sound{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 5, 1, 2, 3, 4, 5};
  sound.insert(sound.end(), tagged.sound.begin(), tagged.sound.end());
  Bytes id3v1(128, 0);
  id3v1[0] = 'T', id3v1[1] = 'A', id3v1[2] = 'G';
  sound.insert(sound.end(), id3v1.begin(), id3v1.end());
  tagged.sound = sound;
  const auto withTags = Inspect(tagged.Build());
  EXPECT_EQ(withTags.problem, "");
  EXPECT_EQ(withTags.sound.frames, 3u);
}

struct BrokenCase {
  const char* name;
  std::function<void(FileParts&)> breakIt;
  std::string problem;     // the start of the file's verdict
  std::size_t record = 0;  // when above 0: this record's own problem starts with recordProblem
  std::string recordProblem = {};
  friend void PrintTo(const BrokenCase& c, std::ostream* out) { *out << c.name; }
};

class BrokenFileTest : public testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenFileTest, NamesWhatIsWrong) {
  const BrokenCase& c = GetParam();
  FileParts parts;
  c.breakIt(parts);
  const auto file = Inspect(parts.Build());
  EXPECT_EQ(file.problem.substr(0, c.problem.size()), c.problem) << file.problem;
  if (c.record > 0) {
    ASSERT_GE(file.records.size(), c.record);
    const std::string& problem = file.records[c.record - 1].problem;
    EXPECT_EQ(problem.substr(0, c.recordProblem.size()), c.recordProblem) << problem;
  }
}

void Patch(FileParts& parts, std::size_t offset, std::uint8_t value) {
  parts.patch = [offset, value](Bytes& file) { file[offset] = value; };
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, BrokenFileTest,
    testing::Values(
        BrokenCase{"Empty", [](FileParts& p) { p.patch = [](Bytes& file) { file.clear(); }; }, "the file is empty"},
        BrokenCase{"ShorterThanTheHeader", [](FileParts& p) { p.patch = [](Bytes& file) { file.resize(20); }; },
                   "the file is 20 bytes, shorter than the 54-byte header"},
        // Fewer than eight frames or a cancel: the placeholder stays, and the records still get read.
        BrokenCase{"Unfinished",
                   [](FileParts& p) {
                     p.sound.clear();
                     p.patch = [](Bytes& file) { std::fill(file.begin(), file.begin() + 54, 0); };
                   },
                   "no magic: the header is still the zero placeholder", 3, ""},
        BrokenCase{"ForeignFile", [](FileParts& p) { p.patch = [](Bytes& file) { file[0] = 'R', file[1] = 'I'; }; },
                   "no magic: the file begins 52 49 46 00"},
        BrokenCase{"BadChecksum", [](FileParts& p) { Patch(p, 21, 0); },
                   "bad checksum: byte 21 holds 0, but bytes 0 to 16 add up to "},
        BrokenCase{"ReservedByteSet", [](FileParts& p) { Patch(p, 30, 7); }, "reserved header byte 30 is 7, not 0"},
        BrokenCase{"FramesTooLargeToDecode",
                   [](FileParts& p) {
                     p.patch = [](Bytes& file) {
                       file[9] = file[10] = file[11] = file[12] = 0xFF;
                       file[21] = static_cast<std::uint8_t>(file[21] + 4 * 0xFF - 4 - 2);
                     };
                   },
                   "frames of 65535 x 65535 pixels are more than the reader decodes"},
        BrokenCase{"AudioOffsetInsideTheHeader", [](FileParts& p) { p.audioOffset = 40; },
                   "audioOffset 40 lies inside the 54-byte header"},
        BrokenCase{"AudioOffsetPastTheFile",
                   [](FileParts& p) {
                     p.audioOffset = 5000;
                     p.sound.clear();
                     p.records[2] = Chunk(1, {0x30, 0x08, 1, 2});  // also cut short by the end of the file
                     p.patch = [](Bytes& file) { file[54 + 518 + 517] = 525 & 0xFF; };
                   },
                   "audioOffset 5000 lies past the end of the file", 3,
                   "frame 3 at offset 1089 is 525 bytes long and overruns the end of the file (1608 bytes)"},
        BrokenCase{"RecordOverrunsAudioOffset", [](FileParts& p) { p.audioOffset = 54 + 518 + 517 + 100; },
                   "frame 3 at offset 1089 is 525 bytes long and overruns audioOffset 1189"},
        BrokenCase{"PrefixCutByAudioOffset", [](FileParts& p) { p.audioOffset = 54 + 518 + 517 + 2; },
                   "frame 3 at offset 1089: only 2 bytes before audioOffset 1091, too few for a record's prefix"},
        BrokenCase{"LengthBelowPrefixAndPalette", [](FileParts& p) { Patch(p, 54, 0x02); },
                   "frame 1 at offset 54 gives a length of 514, below the 515 bytes"},
        BrokenCase{"StandaloneValue", [](FileParts& p) { Patch(p, 56, 0x02); },
                   "frame 1 at offset 54: standalone value 2, not 0 or 1"},
        BrokenCase{"CountsBelowThePixels",
                   [](FileParts& p) {
                     p.records[0] = Chunk(1, {0x20, 0x07, 0x01});
                   },
                   "frame 1 at offset 54: run counts add up to 7 pixels, not the frame's 8"},
        BrokenCase{"CountsAboveThePixels",
                   [](FileParts& p) {
                     p.records[2] = Chunk(1, {0x20, 0x08, 0x01, 0x20, 0x01, 0x02});
                   },
                   "frame 3 at offset 1089: run counts add up to 9 pixels, not the frame's 8"},
        BrokenCase{"UnknownCodeType",
                   [](FileParts& p) {
                     p.records[0] = Chunk(1, {0x40, 0x08});
                   },
                   "frame 1 at offset 54: unknown run code type 4 at byte 515 of the chunk"},
        BrokenCase{"CodeTypeZero",
                   [](FileParts& p) {
                     p.records[2] = Chunk(1, {0x30, 0x04, 1, 2, 3, 4, 0x00, 0x04});
                   },
                   "frame 3 at offset 1089: unknown run code type 0 at byte 521 of the chunk"},
        BrokenCase{"RunOfNoPixels",
                   [](FileParts& p) {
                     p.records[0] = Chunk(1, {0x20, 0x00, 0x01, 0x20, 0x08, 0x01});
                   },
                   "frame 1 at offset 54: run of 0 pixels at byte 515"},
        BrokenCase{"LiteralCutOff",
                   [](FileParts& p) {
                     p.records[2] = Chunk(1, {0x30, 0x08, 1, 2, 3});
                   },
                   "frame 3 at offset 1089: literal indices cut off at byte 515"},
        BrokenCase{"SkipInTheFirstFrame",
                   [](FileParts& p) {
                     p.records[0] = Chunk(0, {0x10, 0x08});
                   },
                   "frame 1 at offset 54 has a skip code, but the first frame has no frame before it"},
        BrokenCase{"SkipAfterABrokenFrame",
                   [](FileParts& p) {
                     p.records[0] = Chunk(1, {0x50, 0x08});
                   },
                   "frame 1 at offset 54: unknown run code type 5", 2,
                   "frame 2 at offset 571 has a skip code right after frame 1, which left no picture"},
        BrokenCase{"StandaloneWithASkip",
                   [](FileParts& p) {
                     p.records[1] = Chunk(1, {0x10, 0x08});
                   },
                   "frame 2 at offset 572: standalone 1, yet the chunk holds skip codes"},
        BrokenCase{"NotStandaloneWithoutASkip",
                   [](FileParts& p) {
                     p.records[0] = Chunk(0, {0x20, 0x08, 0x01});
                   },
                   "frame 1 at offset 54: standalone 0, yet the chunk holds no skip code"},
        BrokenCase{"FrameCountAboveTheRecords", [](FileParts& p) { p.frameCount = 4; },
                   "the header counts 4 frames, but 3 records lie between offset 54 and audioOffset 1614"},
        BrokenCase{"SoundIsNoMp3", [](FileParts& p) { p.sound = Bytes(50, 0x55); },
                   "sound: no MPEG audio frame header at sound byte 0 (file offset 1614)"},
        BrokenCase{"SoundCutShort", [](FileParts& p) { p.sound.resize(p.sound.size() - 10); },
                   "sound: the last frame is cut short at sound byte 192 (file offset 1806): 86 of its 96 bytes"},
        BrokenCase{"SoundChangesItsRate", [](FileParts& p) { p.sound[96 + 2] = 0x40; },  // 22050 Hz
                   "sound: a frame at sound byte 96 (file offset 1710) is MPEG-2 layer 3, 22050 Hz, mono, unlike"}),
    [](const testing::TestParamInfo<BrokenCase>& info) { return std::string(info.param.name); });

// Whatever a copy or a disk does to a file, reading it stays within its bytes: every cut, and every
// byte turned over, of the small file. A cut file is never taken for a whole one, except where the
// cut falls between two sound frames: nothing in the file tells the sound's length, so that file
// is whole with less sound.
TEST(MoxReaderTest, CutsAndTurnedBytesAreReadSafely) {
  const Bytes whole = FileParts{}.Build();
  const std::size_t soundOffset = whole.size() - 3 * 96;
  TempDir folder;
  const std::string path = (folder / "film.mox").string();
  for (std::size_t size = 0; size < whole.size(); ++size) {
    testing_support::WriteFileBytes(path, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
    const auto file = InspectMoxFile(path);
    if (size >= soundOffset && (size - soundOffset) % 96 == 0) {
      EXPECT_EQ(file.problem, "") << "cut at " << size;
      EXPECT_EQ(file.sound.frames, (size - soundOffset) / 96);
    } else {
      EXPECT_NE(file.problem, "") << "cut at " << size;
    }
  }
  for (std::size_t at = 0; at < whole.size(); ++at) {
    Bytes turned = whole;
    turned[at] ^= 0xFF;
    testing_support::WriteFileBytes(path, turned);
    std::size_t pictures = 0;
    const auto file = InspectMoxFile(path, [&](std::size_t, const Picture& picture) {
      EXPECT_EQ(picture.size(), 8u);
      ++pictures;
    });
    // Palette and literal index bytes may take any value; nothing else may change unnoticed.
    if (file.Complete()) {
      EXPECT_EQ(pictures, 3u) << "byte " << at;
    }
  }
}

struct FrameHeaderCase {
  std::uint8_t bytes[4];
  std::optional<std::size_t> frameBytes;  // none: not a frame header
  unsigned bitRate = 0, sampleRate = 0, samples = 0;
};

TEST(MpegAudioTest, ParsesFrameHeaders) {
  const FrameHeaderCase cases[] = {
      {{0xFF, 0xF3, 0x44, 0xC0}, 96, 32000, 24000, 576},     // what the sound tool writes
      {{0xFF, 0xFB, 0x90, 0x00}, 417, 128000, 44100, 1152},  // MPEG-1 layer III
      {{0xFF, 0xFB, 0x92, 0x00}, 418, 128000, 44100, 1152},  // padded
      {{0xFF, 0xFD, 0xA4, 0x00}, 576, 192000, 48000, 1152},  // MPEG-1 layer II
      {{0xFF, 0xFF, 0x18, 0x00}, 48, 32000, 32000, 384},     // MPEG-1 layer I
      {{0xFF, 0xE3, 0x18, 0xC0}, 72, 8000, 8000, 576},       // MPEG-2.5 layer III
      {{0xFE, 0xFB, 0x90, 0x00}, std::nullopt},              // sync lost
      {{0xFF, 0xEB, 0x90, 0x00}, std::nullopt},              // reserved version
      {{0xFF, 0xF9, 0x90, 0x00}, std::nullopt},              // reserved layer
      {{0xFF, 0xFB, 0x00, 0x00}, std::nullopt},              // free format
      {{0xFF, 0xFB, 0xF0, 0x00}, std::nullopt},              // bit rate index 15
      {{0xFF, 0xFB, 0x9C, 0x00}, std::nullopt},              // reserved sample rate
  };
  for (const FrameHeaderCase& c : cases) {
    const auto header = ParseMpegAudioFrameHeader(std::span<const std::uint8_t, 4>(c.bytes));
    ASSERT_EQ(header.has_value(), c.frameBytes.has_value()) << std::hex << int{c.bytes[1]} << " " << int{c.bytes[2]};
    if (!header) continue;
    EXPECT_EQ(header->frameBytes, *c.frameBytes);
    EXPECT_EQ(header->bitRate, c.bitRate);
    EXPECT_EQ(header->sampleRate, c.sampleRate);
    EXPECT_EQ(header->samples, c.samples);
  }
}

}  // namespace
