// mplayer.exe: writes every frame of a video as temp/%08d.jpg under the current directory, numbered
// from 1, in MPlayer's command-line syntax (-vo jpeg), with ffmpeg doing the media work.

#include "support/arguments.h"
#include "support/avi_headers.h"
#include "support/ffmpeg.h"
#include "support/progress_reporter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

constexpr const char* kToolName = "mplayer.exe";
constexpr int kUsageStatus = 2;
constexpr const char* kFrameFolder = "temp";

// A frame image name: eight digits and ".jpg".
bool IsFrameImageName(const std::string& name) {
  constexpr std::size_t kDigits = 8;
  return name.size() == kDigits + 4 && name.compare(kDigits, 4, ".jpg") == 0 &&
         std::all_of(name.begin(), name.begin() + kDigits,
                     [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Makes the frame folder. Frame images already in it would be counted with this film's, and they may
// be someone's own files: the dump refuses to mix with them rather than delete or overwrite them.
bool PrepareFrameFolder() {
  if (mkdir(kFrameFolder, 0777) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "%s: cannot create the folder %s: %s\n", kToolName, kFrameFolder, std::strerror(errno));
    return false;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(kFrameFolder, error)) {
    std::fprintf(stderr, "%s: %s exists and is not a folder\n", kToolName, kFrameFolder);
    return false;
  }
  for (const auto& entry : std::filesystem::directory_iterator(kFrameFolder, error)) {
    if (IsFrameImageName(entry.path().filename().string())) {
      std::fprintf(stderr, "%s: %s already holds frame images (%s); remove them first\n", kToolName,
                   kFrameFolder, entry.path().filename().c_str());
      return false;
    }
  }
  return true;
}

std::vector<std::string> DumpArguments(const std::string& input, const tools::MediaInfo& info) {
  std::vector<std::string> arguments = {"-i", tools::MediaPath(input), "-map", "0:v:0"};
  if (info.videoCodec == "mjpeg") {
    // MJPEG frames are JPEG images already: copying them out is fast and loses nothing. The filter
    // gives each one the Huffman tables that MJPEG may leave out, so every file decodes on its own.
    arguments.insert(arguments.end(), {"-c:v", "copy", "-bsf:v", "mjpeg2jpeg"});
  } else {
    arguments.insert(arguments.end(), {"-fps_mode", "passthrough", "-c:v", "mjpeg", "-q:v", "2",
                                       "-pix_fmt", "yuvj420p"});
  }
  arguments.insert(arguments.end(), {"-f", "image2", "-start_number", "1", "-y",
                                     tools::MediaPath(std::string(kFrameFolder) + "/%08d.jpg")});
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::optional<tools::MplayerArguments> arguments =
      tools::ParseMplayerArguments(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!arguments) {
    std::fprintf(stderr, "%s: %s\n", kToolName, error.c_str());
    return kUsageStatus;
  }
  const std::optional<tools::FfmpegPrograms> programs = tools::FindFfmpeg();
  if (!programs) {
    tools::ReportFfmpegMissing(kToolName);
    return 1;
  }
  if (!PrepareFrameFolder()) return 1;

  // The input is nearly always the reduced video, whose own headers say all the dump needs faster
  // than a run of ffprobe.
  std::optional<tools::MediaInfo> aviInfo = tools::ReadMjpegAviInfo(arguments->input);
  const tools::MediaInfo info = aviInfo ? *std::move(aviInfo) : tools::ProbeMedia(*programs, arguments->input);
  if (info.readable && !info.hasVideo) {
    std::fprintf(stderr, "%s: %s has no video stream; no frames written\n", kToolName,
                 arguments->input.c_str());
    return 1;
  }
  tools::ProgressReporter reporter;
  const std::int64_t expected = info.VideoFrameCount();
  std::int64_t done = 0;
  const int status = tools::RunFfmpeg(*programs, DumpArguments(arguments->input, info),
                                      [&](const tools::FfmpegProgress& progress) {
                                        done = progress.frames;
                                        reporter.Report(done, expected);
                                      });
  if (status != 0) return status;
  reporter.Finish(std::max(expected, done));
  return 0;
}
