// Coding and reading 160 × 120 frames. EncodeFrame reads the frame's bitmaps first, so the coding
// alone is the difference between BM_EncodeFrame and BM_ReadFrameBitmaps of the same scene.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <stdexcept>
#include <vector>

#include "codec/bitmap_input.h"
#include "codec/frame_encoder.h"
#include "container/output_file.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kPixels = kWidth * kHeight;

struct Bgr {
  std::uint8_t blue, green, red;
};

void Put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// An uncompressed bottom-up bitmap of kWidth × kHeight; `pixels` are rows of file bytes, top row first.
std::vector<std::uint8_t> Bitmap(std::uint16_t bitCount, const std::vector<Bgr>& palette,
                                 const std::vector<std::uint8_t>& pixels) {
  const std::uint32_t stride = (bitCount * kWidth + 31) / 32 * 4;
  const std::uint32_t rowBytes = bitCount / 8 * kWidth;
  const auto pixelOffset = static_cast<std::uint32_t>(54 + 4 * palette.size());
  std::vector<std::uint8_t> out{'B', 'M'};
  Put(out, pixelOffset + stride * kHeight, 4);
  Put(out, 0, 4);
  Put(out, pixelOffset, 4);
  Put(out, 40, 4);
  Put(out, kWidth, 4);
  Put(out, kHeight, 4);
  Put(out, 1, 2);
  Put(out, bitCount, 2);
  for (int i = 0; i < 6; ++i) Put(out, 0, 4);
  for (const Bgr& entry : palette) out.insert(out.end(), {entry.blue, entry.green, entry.red, 0});
  for (int row = kHeight - 1; row >= 0; --row) {
    out.insert(out.end(), pixels.begin() + row * rowBytes, pixels.begin() + (row + 1) * rowBytes);
    out.resize(out.size() + stride - rowBytes, 0);
  }
  return out;
}

struct FrameFiles {
  std::vector<std::uint8_t> indexed;
  std::vector<std::uint8_t> trueColor;
};

// Frames of a scene, given the palette index and the true colour of every pixel.
template <typename Pixel>
FrameFiles MakeFrame(const std::vector<Bgr>& palette, Pixel pixel) {
  std::vector<std::uint8_t> indices, colours;
  for (int p = 0; p < kPixels; ++p) {
    const auto [index, colour] = pixel(p % kWidth, p / kWidth);
    indices.push_back(index);
    colours.insert(colours.end(), {colour.blue, colour.green, colour.red});
  }
  return {Bitmap(8, palette, indices), Bitmap(24, {}, colours)};
}

std::vector<Bgr> GreyRamp() {
  std::vector<Bgr> palette;
  for (int i = 0; i < 256; ++i) palette.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i)});
  return palette;
}

struct Index {
  std::uint8_t index;
  Bgr colour;
};

// A smooth gradient, dithered as a 256-colour reduction leaves it, with a box that moves by 4 pixels
// a frame and noise that changes a few true colours from one frame to the next.
FrameFiles TypicalFrame(int frame) {
  const std::vector<Bgr> palette = GreyRamp();
  std::mt19937 random(static_cast<unsigned>(frame));
  std::mt19937 dither(1);
  return MakeFrame(palette, [&](int x, int y) {
    const bool box = x >= 40 + 4 * frame && x < 80 + 4 * frame && y >= 30 && y < 80;
    const int shade = box ? 240 : (x + y) * 255 / (kWidth + kHeight) + static_cast<int>(dither() % 3);
    const auto index = static_cast<std::uint8_t>(std::min(shade, 255));
    Bgr colour = palette[index];
    if (random() % 20 == 0) colour.red = static_cast<std::uint8_t>(colour.red ^ 0x80);
    return Index{index, colour};
  });
}

FrameFiles UnchangedFrame() {
  const std::vector<Bgr> palette = GreyRamp();
  return MakeFrame(palette, [&](int x, int y) {
    const auto index = static_cast<std::uint8_t>((x + y) % 256);
    return Index{index, palette[index]};
  });
}

// No two neighbours in pixel order alike.
FrameFiles NoNeighboursFrame() {
  const std::vector<Bgr> palette = GreyRamp();
  return MakeFrame(palette, [&](int x, int y) {
    const auto index = static_cast<std::uint8_t>((x + y * kWidth) % 2 == 0 ? 10 : 200);
    return Index{index, palette[index]};
  });
}

// The bitmaps as in-memory streams, rewound for every frame, and the output thrown away.
class Streams {
 public:
  explicit Streams(std::vector<FrameFiles> frames) : frames_(std::move(frames)) {
    for (FrameFiles& files : frames_) {
      open_.push_back({fmemopen(files.indexed.data(), files.indexed.size(), "rb"),
                       fmemopen(files.trueColor.data(), files.trueColor.size(), "rb")});
      if (open_.back().first == nullptr || open_.back().second == nullptr) throw std::runtime_error("fmemopen");
    }
    output_ = std::fopen("/dev/null", "wbe");
    if (output_ == nullptr) throw std::runtime_error("/dev/null");
    g_outputFile = output_;
    ReleaseFrameBuffers();
  }
  ~Streams() {
    ReleaseFrameBuffers();
    g_outputFile = nullptr;
    std::fclose(output_);
    for (auto& [indexed, trueColor] : open_) {
      std::fclose(indexed);
      std::fclose(trueColor);
    }
  }
  void Select(std::size_t frame) {
    auto& [indexed, trueColor] = open_[frame % open_.size()];
    std::rewind(indexed);
    std::rewind(trueColor);
    g_paletteBitmapFile = indexed;
    g_trueColorBitmapFile = trueColor;
  }

 private:
  std::vector<FrameFiles> frames_;
  std::vector<std::pair<std::FILE*, std::FILE*>> open_;
  std::FILE* output_ = nullptr;
};

std::vector<FrameFiles> Scene(int scene) {
  switch (scene) {
    case 0:
      return {UnchangedFrame()};
    case 1:
      return {NoNeighboursFrame()};
    default:
      return {TypicalFrame(0), TypicalFrame(1)};
  }
}

const char* SceneName(int scene) {
  static const char* const kNames[] = {"unchanged", "no_neighbours", "typical"};
  return kNames[scene];
}

void BM_EncodeFrame(benchmark::State& state) {
  Streams streams(Scene(static_cast<int>(state.range(0))));
  state.SetLabel(SceneName(static_cast<int>(state.range(0))));
  std::size_t frame = 0;
  streams.Select(frame++);
  EncodeFrame();
  for (auto _ : state) {
    streams.Select(frame++);
    if (!EncodeFrame()) state.SkipWithError("frame not coded");
  }
}
BENCHMARK(BM_EncodeFrame)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_ReadFrameBitmaps(benchmark::State& state) {
  Streams streams(Scene(static_cast<int>(state.range(0))));
  state.SetLabel(SceneName(static_cast<int>(state.range(0))));
  std::size_t frame = 0;
  for (auto _ : state) {
    streams.Select(frame++);
    if (!ReadIndexedFrame()) state.SkipWithError("frame not read");
  }
}
BENCHMARK(BM_ReadFrameBitmaps)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
