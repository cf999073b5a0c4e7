#pragma once

// What the tools ask of ffmpeg and ffprobe: finding them, probing a source, and one conversion run
// with its progress.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tools {

struct FfmpegPrograms {
  std::string ffmpeg;
  std::string ffprobe;
};

// Both programs from PATH; nothing when either is missing.
std::optional<FfmpegPrograms> FindFfmpeg();

// Prints the plain message for a missing ffmpeg to standard error.
void ReportFfmpegMissing(const char* toolName);

// The facts of a source that the tools need. Empty optionals are facts the container did not state.
struct MediaInfo {
  bool readable = false;  // ffprobe could open and parse it
  std::optional<double> duration;  // seconds, of the whole file
  bool hasVideo = false;
  std::string videoCodec;
  std::optional<std::int64_t> videoFrames;
  std::optional<double> videoDuration;
  std::optional<double> videoFrameRate;
  bool hasAudio = false;
  std::optional<double> audioDuration;

  std::optional<double> VideoSeconds() const { return videoDuration ? videoDuration : duration; }
  std::optional<double> AudioSeconds() const { return audioDuration ? audioDuration : duration; }
  // The stated frame count, else one from the duration and the frame rate, else 0.
  std::int64_t VideoFrameCount() const;
};

// ffprobe's view of the first video and the first audio stream of `source`. ffprobe stays silent:
// when a source can't be read, the ffmpeg run that follows says why.
MediaInfo ProbeMedia(const FfmpegPrograms& programs, const std::string& source);

// A path in a form that ffmpeg never takes for a protocol or an option ("a:b.avi", "-x.avi").
std::string MediaPath(const std::string& path);

struct FfmpegProgress {
  std::int64_t frames = 0;      // output frames so far
  std::int64_t outTimeUs = 0;   // output time so far, microseconds
};

// Runs ffmpeg quietly with `arguments` (inputs, filters, outputs) behind the options every run
// shares, and calls `onProgress` with each of ffmpeg's progress reports. Returns ffmpeg's exit status.
int RunFfmpeg(const FfmpegPrograms& programs, const std::vector<std::string>& arguments,
              const std::function<void(const FfmpegProgress&)>& onProgress);

}  // namespace tools
