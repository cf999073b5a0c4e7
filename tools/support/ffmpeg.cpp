#include "support/ffmpeg.h"

#include "support/child_process.h"
#include "support/numbers.h"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace tools {

std::optional<FfmpegPrograms> FindFfmpeg() {
  std::optional<std::string> ffmpeg = FindOnPath("ffmpeg");
  std::optional<std::string> ffprobe = FindOnPath("ffprobe");
  if (!ffmpeg || !ffprobe) return std::nullopt;
  return FfmpegPrograms{*ffmpeg, *ffprobe};
}

void ReportFfmpegMissing(const char* toolName) {
  std::fprintf(stderr, "%s: ffmpeg not found (ffmpeg and ffprobe must be on PATH)\n", toolName);
}

std::string MediaPath(const std::string& path) {
  // A slash before any colon rules out a protocol prefix, and a leading "." or "/" an option.
  return path.starts_with('/') ? path : "./" + path;
}

namespace {

// Feeds "key=value" lines, however the pipe cuts them, to `onLine`.
class LineSplitter {
 public:
  explicit LineSplitter(std::function<void(std::string_view key, std::string_view value)> onLine)
      : onLine_(std::move(onLine)) {}

  void Feed(std::string_view chunk) {
    pending_.append(chunk);
    std::string::size_type start = 0;
    for (std::string::size_type end; (end = pending_.find('\n', start)) != std::string::npos;
         start = end + 1) {
      std::string_view line(pending_.data() + start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      const std::string_view::size_type equals = line.find('=');
      if (equals != std::string_view::npos) onLine_(line.substr(0, equals), line.substr(equals + 1));
      else onLine_(line, {});
    }
    pending_.erase(0, start);
  }

 private:
  std::function<void(std::string_view, std::string_view)> onLine_;
  std::string pending_;
};

std::optional<double> ParseSeconds(std::string_view text) {
  const std::optional<double> seconds = ParseDecimal(text);
  return seconds && *seconds >= 0 ? seconds : std::nullopt;
}

// A rate such as "30000/1001"; "0/0" is no rate.
std::optional<double> ParseRate(std::string_view text) {
  const std::string_view::size_type slash = text.find('/');
  if (slash == std::string_view::npos) return ParseSeconds(text);
  const std::optional<std::int64_t> numerator = ParseInteger<std::int64_t>(text.substr(0, slash));
  const std::optional<std::int64_t> denominator = ParseInteger<std::int64_t>(text.substr(slash + 1));
  if (!numerator || !denominator || *numerator <= 0 || *denominator <= 0) return std::nullopt;
  return static_cast<double>(*numerator) / static_cast<double>(*denominator);
}

}  // namespace

std::int64_t MediaInfo::VideoFrameCount() const {
  if (videoFrames) return *videoFrames;
  const std::optional<double> seconds = VideoSeconds();
  return seconds && videoFrameRate ? static_cast<std::int64_t>(std::ceil(*seconds * *videoFrameRate)) : 0;
}

MediaInfo ProbeMedia(const FfmpegPrograms& programs, const std::string& source) {
  MediaInfo info;
  enum class Section { kNone, kVideo, kAudio, kOtherStream, kFormat };
  Section section = Section::kNone;
  bool inStream = false;
  // Values of the stream being read; its codec_type may come after them, so they are sorted at its end.
  std::string codecName;
  std::optional<std::int64_t> frames;
  std::optional<double> streamDuration;
  std::optional<double> frameRate;
  bool videoSeen = false;
  bool audioSeen = false;

  LineSplitter splitter([&](std::string_view key, std::string_view value) {
    if (key == "[STREAM]") {
      inStream = true;
      section = Section::kNone;
      codecName.clear();
      frames.reset();
      streamDuration.reset();
      frameRate.reset();
    } else if (key == "[/STREAM]") {
      if (section == Section::kVideo && !videoSeen) {
        videoSeen = true;
        info.hasVideo = true;
        info.videoCodec = codecName;
        info.videoFrames = frames;
        info.videoDuration = streamDuration;
        info.videoFrameRate = frameRate;
      } else if (section == Section::kAudio && !audioSeen) {
        audioSeen = true;
        info.hasAudio = true;
        info.audioDuration = streamDuration;
      }
      inStream = false;
    } else if (key == "[FORMAT]") {
      section = Section::kFormat;
    } else if (key == "[/FORMAT]") {
      section = Section::kNone;
    } else if (section == Section::kFormat && key == "duration") {
      info.duration = ParseSeconds(value);
    } else if (inStream) {
      if (key == "codec_type") {
        section = value == "video" ? Section::kVideo : value == "audio" ? Section::kAudio
                                                                         : Section::kOtherStream;
      } else if (key == "codec_name") {
        codecName = value;
      } else if (key == "nb_frames") {
        frames = ParseInteger<std::int64_t>(value);
      } else if (key == "duration") {
        streamDuration = ParseSeconds(value);
      } else if (key == "avg_frame_rate") {
        frameRate = ParseRate(value);
      }
    }
  });
  const int status = RunChild(
      programs.ffprobe,
      {"-v", "quiet", "-show_entries",
       "stream=codec_type,codec_name,nb_frames,duration,avg_frame_rate:format=duration", "-of",
       "default", "-i", MediaPath(source)},
      1, [&](std::string_view chunk) { splitter.Feed(chunk); });
  info.readable = status == 0;
  return info;
}

int RunFfmpeg(const FfmpegPrograms& programs, const std::vector<std::string>& arguments,
              const std::function<void(const FfmpegProgress&)>& onProgress) {
  // The progress reports come on a descriptor of their own, so ffmpeg's standard streams stay the
  // tool's.
  constexpr int kProgressFd = 3;
  std::vector<std::string> fullArguments = {"-nostdin",      "-hide_banner",
                                            "-loglevel",     "error",
                                            "-progress",     "pipe:" + std::to_string(kProgressFd),
                                            "-stats_period", "0.2"};
  fullArguments.insert(fullArguments.end(), arguments.begin(), arguments.end());

  FfmpegProgress progress;
  LineSplitter splitter([&](std::string_view key, std::string_view value) {
    if (key == "frame") {
      if (std::optional<std::int64_t> frames = ParseInteger<std::int64_t>(value)) progress.frames = *frames;
    } else if (key == "out_time_us") {
      // Before the first output ffmpeg may write "N/A" or a negative time.
      std::optional<std::int64_t> us = ParseInteger<std::int64_t>(value);
      if (us && *us >= 0) progress.outTimeUs = *us;
    } else if (key == "progress") {
      onProgress(progress);
    }
  });
  return RunChild(programs.ffmpeg, fullArguments, kProgressFd,
                  [&](std::string_view chunk) { splitter.Feed(chunk); });
}

}  // namespace tools
