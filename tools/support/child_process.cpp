#include "support/child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tools {

std::optional<std::string> FindOnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  // An unset PATH means the system's default search path, as for execvp.
  std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::string::size_type start = 0;
  while (start <= folders.size()) {
    std::string::size_type end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    if (folder.empty()) folder = ".";
    std::string candidate = folder + "/" + std::string(name);
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

namespace {

int ExitStatusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return 1;
}

}  // namespace

int RunChild(const std::string& program, const std::vector<std::string>& arguments, int outputFd,
             const std::function<void(std::string_view)>& onOutput) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return 127;
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return 127;
  }
  if (child == 0) {
    // Only async-signal-safe calls from here to exec.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) _exit(127);
    // The parent may have died before the line above took effect.
    if (getppid() != parent) _exit(127);
    // dup2 leaves the new descriptor open across exec; every other one of ours is close-on-exec.
    if (pipeFds[1] == outputFd) {
      if (fcntl(outputFd, F_SETFD, 0) != 0) _exit(127);
    } else if (dup2(pipeFds[1], outputFd) < 0) {
      _exit(127);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
    if (got > 0) {
      onOutput(std::string_view(buffer, static_cast<std::size_t>(got)));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  close(pipeFds[0]);
  int waitStatus = 0;
  while (waitpid(child, &waitStatus, 0) < 0) {
    if (errno != EINTR) return 127;
  }
  return ExitStatusOf(waitStatus);
}

}  // namespace tools
