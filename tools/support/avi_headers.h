#pragma once

// What the frame dump needs to know of its usual input, the reduced video (MJPEG in AVI), read
// straight from the file's headers instead of from a run of ffprobe.

#include "support/ffmpeg.h"

#include <optional>
#include <string>

namespace tools {

// The facts of `path` when it is a RIFF AVI whose first video stream is MJPEG ('MJPG' as both its
// handler and its compression) and whose headers state a frame count; nothing for any other file,
// which ffprobe then has to look at.
std::optional<MediaInfo> ReadMjpegAviInfo(const std::string& path);

}  // namespace tools
