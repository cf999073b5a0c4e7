#include "job/job_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <unistd.h>

#include "platform/path.h"

namespace {

std::mutex g_jobFilesMutex;
JobFiles g_jobFiles;

constexpr std::size_t kFrameNumberDigits = 8;

// The frame number of a name "%08d<suffix>", or nothing for any other name.
std::optional<int> FrameNumberOf(std::string_view name, std::string_view suffix) {
  if (name.size() != kFrameNumberDigits + suffix.size() || !name.ends_with(suffix)) return std::nullopt;
  int number = 0;
  for (std::size_t i = 0; i < kFrameNumberDigits; ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

template <typename Visit>
void ForEachName(const std::string& folder, Visit visit) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    visit(it->path().filename().string());
  }
}

// "%08d<suffix>": frames are numbered from 1, zero-padded to eight digits.
std::string FrameName(int frameNumber, const char* suffix) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08d", frameNumber);
  return digits + std::string(suffix);
}

}  // namespace

std::string TempFolderOf(const std::string& workDirectory) {
  return workDirectory + kPathSeparator + "temp";
}

std::string FrameFileName(int frameNumber, const char* suffix) {
  return std::string(".") + kPathSeparator + "temp" + kPathSeparator + FrameName(frameNumber, suffix);
}

std::vector<int> FindFrameImages(const std::string& folder) {
  std::vector<int> numbers;
  ForEachName(folder, [&](const std::string& name) {
    if (auto number = FrameNumberOf(name, kFrameImageSuffix)) numbers.push_back(*number);
  });
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

bool HoldsFrameFiles(const std::string& folder) {
  bool found = false;
  ForEachName(folder, [&](const std::string& name) {
    for (const char* suffix : {kFrameImageSuffix, kPaletteBitmapSuffix, kTrueColorBitmapSuffix}) {
      if (FrameNumberOf(name, suffix)) found = true;
    }
  });
  return found;
}

JobFiles CurrentJobFiles() {
  std::lock_guard lock(g_jobFilesMutex);
  return g_jobFiles;
}

void RemoveJobIntermediates(const JobFiles& files) {
  if (!files.reducedVideo.empty()) unlink(files.reducedVideo.c_str());
  if (!files.sound.empty()) unlink(files.sound.c_str());
  if (!files.frameDumpStarted) return;
  const std::string temp = TempFolderOf(files.workDirectory);
  // A cancel during the frame dump comes before the job listed the images; every frame file in
  // "temp" is the job's all the same, as the job refused to start while there were any.
  const std::vector<int> frameNumbers =
      files.frameNumbers.empty() ? FindFrameImages(temp) : files.frameNumbers;
  for (int number : frameNumbers) {
    for (const char* suffix : {kFrameImageSuffix, kPaletteBitmapSuffix, kTrueColorBitmapSuffix}) {
      unlink((temp + kPathSeparator + FrameName(number, suffix)).c_str());
    }
  }
  // Never a folder at the root, and only one the job's tool created; rmdir leaves a non-empty one.
  const bool atRoot = files.workDirectory.empty() || files.workDirectory == std::string(1, kPathSeparator);
  if (!files.tempExisted && !atRoot) rmdir(temp.c_str());
}

void BeginJobFiles(const std::string& workDirectory) {
  std::lock_guard lock(g_jobFilesMutex);
  g_jobFiles = JobFiles{};
  g_jobFiles.workDirectory = workDirectory;
}

void RecordTarget(const std::string& target) {
  std::lock_guard lock(g_jobFilesMutex);
  g_jobFiles.target = target;
}

void RecordReducedVideo(const std::string& path) {
  std::lock_guard lock(g_jobFilesMutex);
  g_jobFiles.reducedVideo = path;
}

void RecordSound(const std::string& path) {
  std::lock_guard lock(g_jobFilesMutex);
  g_jobFiles.sound = path;
}

void RecordFrameDumpStart(bool tempExisted) {
  std::lock_guard lock(g_jobFilesMutex);
  g_jobFiles.frameDumpStarted = true;
  g_jobFiles.tempExisted = tempExisted;
}

void RecordFrameNumbers(std::vector<int> frameNumbers) {
  std::lock_guard lock(g_jobFilesMutex);
  g_jobFiles.frameNumbers = std::move(frameNumbers);
}
