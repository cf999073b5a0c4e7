#include "cli/preview_video.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

// ffmpeg reads any name with a colon as a protocol; "file:" keeps names as they are.
std::string FileUrl(const std::string& path) { return "file:" + path; }

}  // namespace

PreviewVideo::~PreviewVideo() {
  if (process_ > 0) End("abandoned");
}

std::string PreviewVideo::Start(const std::string& path, std::size_t width, std::size_t height,
                                unsigned framesPerSecond, const Sound* sound) {
  // The name is taken here, so that ffmpeg writes into a file of ours and a failure removes only that.
  const int claimed = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (claimed < 0) return "can't create " + path + ": " + std::strerror(errno);
  close(claimed);
  path_ = path;
  last_ = {width, height, std::vector<std::uint8_t>(width * height * 3, 0)};
  std::vector<std::string> arguments = {"ffmpeg",
                                        "-nostdin",
                                        "-hide_banner",
                                        "-loglevel",
                                        "error",
                                        "-y",
                                        "-f",
                                        "rawvideo",
                                        "-pixel_format",
                                        "rgb24",
                                        "-video_size",
                                        std::to_string(width) + "x" + std::to_string(height),
                                        "-framerate",
                                        std::to_string(framesPerSecond),
                                        "-i",
                                        "pipe:0"};
  if (sound != nullptr) {
    arguments.insert(arguments.end(), {"-f", "mp3", "-skip_initial_bytes", std::to_string(sound->offset), "-i",
                                       FileUrl(sound->file), "-map", "0:v:0", "-map", "1:a:0", "-c:a", "copy"});
  }
  // yuv420p, which every player takes, needs even sizes.
  arguments.insert(arguments.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libx264", "-crf", "16",
                                     "-pix_fmt", "yuv420p", "-movflags", "+faststart", FileUrl(path)});
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return End(std::string("can't make a pipe for ffmpeg: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
  const int error = posix_spawnp(&process_, "ffmpeg", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[0]);
  if (error != 0) {
    process_ = -1;
    close(pipeEnds[1]);
    return End(std::string("can't start ffmpeg: ") + std::strerror(error));
  }
  input_ = pipeEnds[1];
  // A pipe whose reader has gone must fail the write, not end this program.
  signal(SIGPIPE, SIG_IGN);
  return {};
}

std::string PreviewVideo::Write(const RgbImage& frame) {
  std::size_t done = 0;
  while (done < frame.pixels.size()) {
    const ssize_t wrote = write(input_, frame.pixels.data() + done, frame.pixels.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) return End(std::string("ffmpeg stopped taking frames: ") + std::strerror(errno));
    done += static_cast<std::size_t>(wrote);
  }
  ++sent_;
  return {};
}

std::string PreviewVideo::Add(std::size_t number, const RgbImage& frame) {
  while (sent_ + 1 < number) {
    if (std::string failure = Write(last_); !failure.empty()) return failure;
  }
  last_ = frame;
  return Write(frame);
}

std::string PreviewVideo::Finish(std::size_t frameCount) {
  while (process_ > 0 && sent_ < frameCount) {
    if (std::string failure = Write(last_); !failure.empty()) return failure;
  }
  return End("");
}

std::string PreviewVideo::End(std::string failure) {
  if (input_ >= 0) close(input_);
  input_ = -1;
  int status = 0;
  while (process_ > 0 && waitpid(process_, &status, 0) < 0 && errno == EINTR) {
  }
  process_ = -1;
  if (failure.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) failure = "ffmpeg could not make " + path_;
  if (!failure.empty()) unlink(path_.c_str());
  return failure;
}
