// mencoder.exe: shrinks a video to the converter's frame size and rate, or extracts its sound as a
// raw MP3 stream, in MEncoder's command-line syntax, with ffmpeg doing the media work.

#include "support/arguments.h"
#include "support/ffmpeg.h"
#include "support/progress_reporter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kToolName = "mencoder.exe";
constexpr int kUsageStatus = 2;

// LAME's own sample rates at which a layer III frame at any bit rate is a whole number of bytes
// (72 or 144 × bit rate / sample rate), so no frame ever needs a padding byte: padding=0 holds
// exactly and every frame has the same size. 24 kHz (MPEG-2) is what LAME itself favours for
// 32 kbit/s mono and keeps a useful bandwidth; MPEG-2 stops at 160 kbit/s, above that 48 kHz.
int SampleRateFor(int bitrateKbps) { return bitrateKbps <= 160 ? 24000 : 48000; }

// The shortest text that reads back as `value` ("9", "0.5", "29.97").
std::string FormatNumber(double value) {
  char text[32];
  const std::to_chars_result written = std::to_chars(text, text + sizeof text, value);
  return std::string(text, written.ptr);
}

std::vector<std::string> SoundArguments(const tools::MencoderArguments& arguments) {
  const tools::LameSettings& lame = arguments.lame;
  std::vector<std::string> result = {
      "-i", tools::MediaPath(arguments.input), "-map", "0:a:0",
      // MEncoder hands vol to LAME's input scale: every sample is multiplied by it before
      // encoding. ffmpeg's volume filter with a plain factor does the same, in floating point (its
      // default precision) so that nothing clips before the encoder, as in LAME.
      "-af", "volume=" + FormatNumber(lame.inputGain),
      "-c:a", "libmp3lame", "-b:a", std::to_string(lame.bitrateKbps) + "k",
      "-ar", std::to_string(SampleRateFor(lame.bitrateKbps))};
  if (lame.mono) {
    result.insert(result.end(), {"-ac", "1"});
  } else {
    result.insert(result.end(), {"-ac", "2", "-joint_stereo", lame.jointStereo ? "1" : "0"});
  }
  // A bare stream of frames: no ID3 tag and no Xing/Info frame in front of the sound.
  result.insert(result.end(), {"-f", "mp3", "-id3v2_version", "0", "-write_xing", "0", "-y",
                               tools::MediaPath(arguments.output)});
  return result;
}

std::vector<std::string> VideoArguments(const tools::MencoderArguments& arguments) {
  std::vector<std::string> filters;
  // The rate first: frames that the rate drops are never scaled.
  if (arguments.frameRate) filters.push_back("fps=" + FormatNumber(*arguments.frameRate));
  if (arguments.scale) {
    filters.push_back("scale=" + std::to_string(arguments.scale->width) + ":" +
                      std::to_string(arguments.scale->height));
  }
  // Scaled straight to full colour, then kept at full colour resolution (4:4:4): halving the colour
  // of a 160 x 120 picture once more would smear every coloured edge of it.
  filters.push_back("format=rgb24");
  std::string chain;
  for (const std::string& filter : filters) chain += (chain.empty() ? "" : ",") + filter;
  // MJPEG at high quality: the frame dump copies the frames out as JPEG files without decoding
  // them again and without a second loss. The frame tool never plays the sound, so none is kept.
  return {"-i", tools::MediaPath(arguments.input), "-map", "0:v:0", "-vf", chain,
          "-c:v", "mjpeg", "-q:v", "2", "-pix_fmt", "yuvj444p", "-f", "avi", "-y",
          tools::MediaPath(arguments.output)};
}

// Frames for the video, milliseconds for the sound; 0 when the source does not tell.
std::int64_t ExpectedTotal(const tools::MencoderArguments& arguments, const tools::MediaInfo& info) {
  if (arguments.rawAudio) {
    const std::optional<double> seconds = info.AudioSeconds();
    return seconds ? std::llround(*seconds * 1000) : 0;
  }
  if (!arguments.frameRate) return info.VideoFrameCount();
  const std::optional<double> seconds = info.VideoSeconds();
  return seconds ? static_cast<std::int64_t>(std::ceil(*seconds * *arguments.frameRate)) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::optional<tools::MencoderArguments> arguments =
      tools::ParseMencoderArguments(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!arguments) {
    std::fprintf(stderr, "%s: %s\n", kToolName, error.c_str());
    return kUsageStatus;
  }
  const std::optional<tools::FfmpegPrograms> programs = tools::FindFfmpeg();
  if (!programs) {
    tools::ReportFfmpegMissing(kToolName);
    return 1;
  }

  // A file from an earlier run under the output's name would pass for this run's result with the
  // converter, and so would a half-written one: a run that fails leaves no output at all.
  const auto fail = [&](int status) {
    unlink(arguments->output.c_str());
    return status;
  };
  // The probe only feeds the reports' Total and the messages of a failed run, so it runs next to
  // ffmpeg instead of before it. Leaving main waits for it either way.
  std::future<tools::MediaInfo> probing =
      std::async(std::launch::async, tools::ProbeMedia, std::cref(*programs), std::cref(arguments->input));
  std::optional<tools::MediaInfo> probed;
  const auto info = [&]() -> const tools::MediaInfo& {
    if (!probed) probed = probing.get();
    return *probed;
  };

  tools::ProgressReporter reporter;
  std::int64_t done = 0;
  const int status = tools::RunFfmpeg(
      *programs, arguments->rawAudio ? SoundArguments(*arguments) : VideoArguments(*arguments),
      [&](const tools::FfmpegProgress& progress) {
        done = arguments->rawAudio ? progress.outTimeUs / 1000 : progress.frames;
        reporter.Report(done, ExpectedTotal(*arguments, info()));
      });
  if (status != 0) {
    // An unreadable source gets only ffmpeg's own error lines, which say what is wrong with it.
    if (info().readable && arguments->rawAudio && !info().hasAudio) {
      std::fprintf(stderr, "%s: %s has no audio stream; no sound file written\n", kToolName,
                   arguments->input.c_str());
      return fail(1);
    }
    if (info().readable && !arguments->rawAudio && !info().hasVideo) {
      std::fprintf(stderr, "%s: %s has no video stream; no video file written\n", kToolName,
                   arguments->input.c_str());
      return fail(1);
    }
    return fail(status);
  }
  reporter.Finish(std::max(ExpectedTotal(*arguments, info()), done));
  return 0;
}
