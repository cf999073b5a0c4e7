#pragma once

// An ordinary video of a film, to watch on the desktop: its frames at their own rate and its sound
// from the same file, put together by ffmpeg.

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "cli/frame_images.h"

class PreviewVideo {
 public:
  struct Sound {
    std::string file;  // the film itself; the sound is read from `offset` on
    std::uint64_t offset = 0;
  };

  PreviewVideo() = default;
  ~PreviewVideo();
  PreviewVideo(const PreviewVideo&) = delete;
  PreviewVideo& operator=(const PreviewVideo&) = delete;

  // Starts ffmpeg writing a new `path`; an existing file is never replaced. Without sound the video
  // is silent. Empty on success, otherwise why it failed.
  std::string Start(const std::string& path, std::size_t width, std::size_t height, unsigned framesPerSecond,
                    const Sound* sound);
  // Frame `number` (from 1). A frame that couldn't be decoded shows the one before it, so that the
  // pictures keep their time against the sound.
  std::string Add(std::size_t number, const RgbImage& frame);
  // Holds the last picture up to frame `frameCount` and lets ffmpeg finish the file. A failed video
  // is removed.
  std::string Finish(std::size_t frameCount);

 private:
  std::string Write(const RgbImage& frame);
  std::string End(std::string failure);

  std::string path_;
  pid_t process_ = -1;
  int input_ = -1;  // ffmpeg's standard input
  std::size_t sent_ = 0;
  RgbImage last_;
};
