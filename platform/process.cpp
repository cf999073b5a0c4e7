#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// glibc 2.36 declares these without C linkage.
extern "C" {
#include <sys/pidfd.h>
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsExistingFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The program and the text of its arguments. A quoted program is taken as written; an unquoted one is
// the shortest prefix, ending before a blank or at the end, that names an existing file, so a folder
// with spaces needs no quotes. Empty program when nothing fits.
std::pair<std::string, std::string_view> SplitProgram(std::string_view commandLine) {
  if (!commandLine.empty() && commandLine.front() == '"') {
    const std::size_t closing = commandLine.find('"', 1);
    if (closing == std::string_view::npos) return {std::string(commandLine.substr(1)), {}};
    return {std::string(commandLine.substr(1, closing - 1)), commandLine.substr(closing + 1)};
  }
  for (std::size_t end = 1; end <= commandLine.size(); ++end) {
    if (end < commandLine.size() && !IsBlank(commandLine[end])) continue;
    std::string candidate(commandLine.substr(0, end));
    if (IsExistingFile(candidate)) return {std::move(candidate), commandLine.substr(end)};
  }
  return {};
}

void WaitUntilEnded(int pidfd) {
  pollfd ended{pidfd, POLLIN, 0};
  while (poll(&ended, 1, -1) < 0 && errno == EINTR) {
  }
}

// pidfds are close-on-exec by nature; this only keeps one off 0, which means "no tool", and off the
// standard streams when one of them was closed.
int AboveStandardStreams(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  close(fd);
  return moved;
}

// Spawns the program in a process group of its own, with default signal handling and this process's
// standard streams only. Returns the process id, or -1.
pid_t Spawn(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;
  if (posix_spawnattr_init(&attributes) != 0) return -1;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    posix_spawnattr_destroy(&attributes);
    return -1;
  }
  sigset_t noSignals;
  sigemptyset(&noSignals);
  // Dispositions a front end set to "ignore" would otherwise pass into the tool.
  sigset_t defaultSignals;
  sigemptyset(&defaultSignals);
  for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM}) sigaddset(&defaultSignals, signal);

  pid_t pid = -1;
  // Its own group: a terminal's Ctrl-C reaches only the front end, which then ends the tool itself.
  // Closing everything above the standard streams holds even for a descriptor someone opened
  // without close-on-exec.
  const bool prepared =
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                POSIX_SPAWN_SETSIGDEF) == 0 &&
      posix_spawnattr_setpgroup(&attributes, 0) == 0 && posix_spawnattr_setsigmask(&attributes, &noSignals) == 0 &&
      posix_spawnattr_setsigdefault(&attributes, &defaultSignals) == 0 &&
      posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1) == 0;
  if (prepared && posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return pid;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> arguments;
  std::size_t at = 0;
  const std::size_t size = commandLine.size();
  for (;;) {
    while (at < size && IsBlank(commandLine[at])) ++at;
    if (at == size) return arguments;
    std::string argument;
    bool quoted = false;
    while (at < size) {
      std::size_t backslashes = 0;
      while (at < size && commandLine[at] == '\\') {
        ++backslashes;
        ++at;
      }
      if (at < size && commandLine[at] == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
          ++at;
        } else if (quoted && at + 1 < size && commandLine[at + 1] == '"') {
          argument += '"';
          at += 2;
        } else {
          quoted = !quoted;
          ++at;
        }
        continue;
      }
      argument.append(backslashes, '\\');
      if (at == size || (!quoted && IsBlank(commandLine[at]))) break;
      argument += commandLine[at++];
    }
    arguments.push_back(std::move(argument));
  }
}

bool ProcessInformation::Start(std::string_view commandLine) {
  const auto [program, argumentText] = SplitProgram(commandLine);
  if (program.empty()) return false;
  const std::vector<std::string> arguments = SplitCommandLine(argumentText);

  // Held from the spawn until the record is filled: a Terminate meanwhile then either finds nothing
  // yet or the whole record.
  std::lock_guard lock(mutex_);
  if (processHandle_.load() != 0) return false;  // one tool at a time; the running one is not lost
  const pid_t pid = Spawn(program, arguments);
  if (pid < 0) return false;
  const int pidfd = AboveStandardStreams(pidfd_open(pid, 0));
  if (pidfd < 0) {
    // Without a handle it could be neither waited for nor terminated safely, so it must not run.
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return false;
  }
  processId_.store(pid);
  processHandle_.store(pidfd);
  return true;
}

int ProcessInformation::Wait() {
  const int pidfd = processHandle_.load();
  if (pidfd == 0) return -1;
  // Not under the lock: Terminate must be able to get in while the tool runs.
  WaitUntilEnded(pidfd);

  std::lock_guard lock(mutex_);
  siginfo_t info{};
  int reaped;
  while ((reaped = waitid(P_PIDFD, static_cast<id_t>(pidfd), &info, WEXITED)) < 0 && errno == EINTR) {
  }
  close(pidfd);
  processHandle_.store(0);
  processId_.store(0);
  if (reaped < 0) return -1;
  return info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
}

void ProcessInformation::Terminate() {
  std::lock_guard lock(mutex_);
  const int pidfd = processHandle_.load();
  if (pidfd == 0) return;
  // The pidfd names this very process; the group id stays reserved while its leader is unreaped,
  // and reaping waits for this lock, so neither signal can reach a process that reuses the ids.
  pidfd_send_signal(pidfd, SIGKILL, nullptr, 0);
  kill(-processId_.load(), SIGKILL);
  // Returning only once it has ended means nothing it still had under way lands after the caller's
  // clean-up.
  WaitUntilEnded(pidfd);
}
