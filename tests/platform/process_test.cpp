#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/process.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFileText;
using testing_support::TempDir;
using testing_support::WriteFileText;

void ExpectEmptyRecord(const ProcessInformation& process) {
  EXPECT_EQ(process.processHandle(), 0);
  EXPECT_EQ(process.threadHandle(), 0);
  EXPECT_EQ(process.processId(), 0);
  EXPECT_EQ(process.threadId(), 0);
}

struct ExitCase {
  const char* commandLine;
  int status;
};

TEST(ProcessTest, WaitReturnsTheExitStatusAndClearsTheRecord) {
  const ExitCase cases[] = {
      {"/bin/true", 0},
      {"/bin/sh -c \"exit 3\"", 3},
      {"/bin/sh\t-c \"kill -TERM $$\"", 128 + SIGTERM},
  };
  for (const ExitCase& c : cases) {
    SCOPED_TRACE(c.commandLine);
    ProcessInformation process;
    ASSERT_TRUE(process.Start(c.commandLine));
    EXPECT_GT(process.processId(), 0);
    EXPECT_GT(process.processHandle(), STDERR_FILENO);
    EXPECT_EQ(process.threadHandle(), 0);
    EXPECT_EQ(process.threadId(), 0);
    EXPECT_EQ(process.Wait(), c.status);
    ExpectEmptyRecord(process);
  }
}

TEST(ProcessTest, ToolRunsInItsOwnGroupWithOnlyTheStandardStreams) {
  // A descriptor opened without close-on-exec must still not reach the tool.
  constexpr int kLeakyDescriptor = 50;
  ASSERT_EQ(dup2(STDIN_FILENO, kLeakyDescriptor), kLeakyDescriptor);
  ProcessInformation process;
  ASSERT_TRUE(process.Start(
      "/bin/sh -c \"read pid comm state ppid group rest < /proc/self/stat; test $group = $pid && "
      "test -e /proc/self/fd/2 && test ! -e /proc/self/fd/50\""));
  EXPECT_EQ(process.Wait(), 0);
  close(kLeakyDescriptor);
}

class ProgramResolutionTest : public testing::Test {
 protected:
  void SetUp() override {
    // A folder "my" beside "my tools": the shortest prefix names a folder, which is no program.
    std::filesystem::create_directories(dir_ / "my");
    std::filesystem::create_directories(dir_ / "my tools" / "Tools");
    WriteFileText(program_,
                  "#!/bin/sh\nout=\"$1\"\nshift\n{ printf '%s\\n' \"$0\"; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; "
                  "done; } > \"$out\"\n");
    std::filesystem::permissions(program_, std::filesystem::perms::owner_all);
  }

  TempDir dir_;
  const std::string program_ = (dir_ / "my tools" / "Tools" / "echo-args.exe").string();
  const std::string output_ = (dir_ / "arguments.txt").string();
};

TEST_F(ProgramResolutionTest, FindsProgramInFolderWithSpacesQuotedOrNot) {
  const std::string arguments = "\"" + output_ + "\" -x  \"two words\" ";
  for (const std::string& commandLine : {program_ + "\t" + arguments, "\"" + program_ + "\" " + arguments}) {
    SCOPED_TRACE(commandLine);
    std::filesystem::remove(output_);
    ProcessInformation process;
    ASSERT_TRUE(process.Start(commandLine));
    EXPECT_EQ(process.Wait(), 0);
    EXPECT_EQ(ReadFileText(output_), program_ + "\n[-x]\n[two words]\n");
  }
}

TEST_F(ProgramResolutionTest, MissingProgramIsNotStarted) {
  const std::string folder = (dir_ / "my tools").string();
  for (const std::string& commandLine : {std::string(), (dir_ / "missing.exe -x").string(),
                                         "\"" + folder + "/Tools/missing.exe\" -x", folder + " -x", "\"" + folder + "\""}) {
    SCOPED_TRACE(commandLine);
    ProcessInformation process;
    EXPECT_FALSE(process.Start(commandLine));
    ExpectEmptyRecord(process);
    EXPECT_EQ(process.Wait(), -1);
  }
}

TEST(ProcessTest, SecondStartWhileOneRunsIsRefused) {
  ProcessInformation process;
  ASSERT_TRUE(process.Start("/bin/sh -c \"exit 7\""));
  const pid_t first = process.processId();
  EXPECT_FALSE(process.Start("/bin/true"));
  EXPECT_EQ(process.processId(), first);
  EXPECT_EQ(process.Wait(), 7);
}

// Makes this process adopt orphaned descendants, so that the test can wait for a grandchild.
class ScopedSubreaper {
 public:
  ScopedSubreaper() { EXPECT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0); }
  ~ScopedSubreaper() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
};

TEST(ProcessTest, TerminateFromAnotherThreadKillsToolAndItsGroupAndLeavesNoZombie) {
  TempDir dir;
  const std::string fifo = (dir / "grandchild").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ScopedSubreaper subreaper;

  ProcessInformation process;
  ASSERT_TRUE(process.Start("/bin/sh -c \"/bin/sleep 100 & echo $! > '" + fifo + "'; wait\""));
  const pid_t tool = process.processId();
  // Opening blocks until the shell writes, so the tool and its child are running from here on.
  const int reader = open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  char text[32] = {};
  ASSERT_GT(read(reader, text, sizeof text - 1), 0);
  close(reader);
  const pid_t grandchild = static_cast<pid_t>(std::stol(text));

  std::thread terminator([&process] { process.Terminate(); });
  EXPECT_EQ(process.Wait(), 128 + SIGKILL);
  terminator.join();
  ExpectEmptyRecord(process);

  errno = 0;
  EXPECT_EQ(waitpid(tool, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD) << "the tool was not reaped";
  int status = 0;
  ASSERT_EQ(waitpid(grandchild, &status, 0), grandchild);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the tool's group was not killed";
}

TEST(ProcessTest, TerminateWithoutRunningToolDoesNothing) {
  ProcessInformation process;
  process.Terminate();
  ExpectEmptyRecord(process);

  ASSERT_TRUE(process.Start("/bin/sh -c \"exit 5\""));
  EXPECT_EQ(process.Wait(), 5);
  process.Terminate();
  ExpectEmptyRecord(process);
  EXPECT_EQ(process.Wait(), -1);
}

}  // namespace
