#pragma once

// A Tools folder of stand-ins for the three tools, written as shell scripts by the tests: each logs
// the arguments it received and leaves the files a case asks for, so that a job runs in a second
// without ffmpeg. The frame images are real JPEGs, and djpeg.exe runs the real djpeg.

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace job_testing {

struct FakeToolsOptions {
  int frames = 8;                   // frame images the frame tool writes, numbered from 1
  std::set<int> missingFrames;      // numbers it skips, for a gap
  bool sound = true;                // whether the sound tool leaves an MP3
  std::set<int> refusedBitmaps;     // frames whose 256-colour bitmap is not a bitmap at all
  std::set<int> missingTrueColor;   // frames whose 24-bit bitmap is never made
  std::string stageToStall;         // "0", "1", "2" or "djpeg": that run waits until it is killed

  FakeToolsOptions& Frames(int count) { frames = count; return *this; }
  FakeToolsOptions& Gap(std::set<int> numbers) { missingFrames = std::move(numbers); return *this; }
  FakeToolsOptions& NoSound() { sound = false; return *this; }
  FakeToolsOptions& Refuse(std::set<int> numbers) { refusedBitmaps = std::move(numbers); return *this; }
  FakeToolsOptions& NoTrueColor(std::set<int> numbers) { missingTrueColor = std::move(numbers); return *this; }
  FakeToolsOptions& Stall(std::string run) { stageToStall = std::move(run); return *this; }
};

inline FakeToolsOptions FakeTools(int frames) { return FakeToolsOptions().Frames(frames); }

// The MP3 bytes the fake sound tool leaves; the job must append them unchanged.
const std::vector<std::uint8_t>& FakeSoundBytes();

// Writes <folder>/Tools/{mencoder,mplayer,djpeg}.exe. Every run appends one line to
// <folder>/tool-log: the program path and each argument in brackets, e.g. "[/x/Tools/djpeg.exe][-bmp]".
void WriteFakeTools(const std::filesystem::path& folder, const FakeToolsOptions& options);

// Where the stalled run writes its process id before it waits.
std::filesystem::path StalledToolPidFile(const std::filesystem::path& folder);

// Each logged run's arguments, the program path first.
std::vector<std::vector<std::string>> ReadToolLog(const std::filesystem::path& folder);

// A 160 × 120 JPEG made once with /usr/bin/cjpeg from a PPM picture: a colour gradient.
const std::filesystem::path& FrameJpeg();

}  // namespace job_testing
