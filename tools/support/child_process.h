#pragma once

// Running one helper program (ffmpeg, ffprobe) as a child that cannot outlive this tool.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// The full path of an executable file named `name` in one of the PATH folders, or nothing.
std::optional<std::string> FindOnPath(std::string_view name);

// Starts `program` with `arguments` (without argv[0]), this process's standard streams and current
// directory, and hands every chunk that the child writes to its file descriptor `outputFd` to
// `onOutput` until the child closes it. The child gets SIGKILL when this process dies, so a killed
// tool never leaves its ffmpeg running; strictly, when the calling thread ends, which this call
// outlives the child for, so any thread may run it. Reaps the child and returns its exit status (128 + signal
// number when a signal ended it), or 127 when it could not be started.
int RunChild(const std::string& program, const std::vector<std::string>& arguments, int outputFd,
             const std::function<void(std::string_view)>& onOutput);

}  // namespace tools
