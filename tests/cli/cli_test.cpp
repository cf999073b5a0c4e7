// frameloom-cli as a user runs it: its usage errors, help and version, and conversions with
// stand-in tools that succeed and fail.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>
#include <filesystem>

#include "cli_runner.h"
#include "fake_tools.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileText;
using testing_support::TempDir;

TEST(CliTest, UsageErrorsExitWithTwo) {
  TempDir dir;
  testing_support::WriteFileText(dir / "a.avi", "video");
  const std::pair<std::string, std::string> cases[] = {
      {"", "no command given"},
      {"bogus", "unknown command bogus"},
      {"convert", "convert needs one SOURCE and one TARGET"},
      {"convert a.avi", "convert needs one SOURCE and one TARGET"},
      {"convert a.avi b.mox c.mox", "convert needs one SOURCE and one TARGET"},
      {"convert --frobnicate a.avi b.mox", "unknown option --frobnicate"},
      {"convert a.avi b.mox --tools", "--tools needs a folder"},
      {"convert --tools /opt/frameloom/bin a.avi b.mox", "--tools must name a folder called Tools"},
      {"convert a.mpeg b.mox", "mpeg不是支持的文件类型, 请重新输入能支持类型的单个文件\n"},
      {"convert a.avi b.mox.bak", "保存文件类型不对， 只能是mox， 请不要随意更改文件类型。 请重新输入保存的文件名\n"},
  };
  for (const auto& [arguments, message] : cases) {
    const auto run = RunCli(dir.path(), arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_NE(run.err.find(message), std::string::npos) << arguments << ": " << run.err;
    EXPECT_EQ(run.out, "") << arguments;
  }
  EXPECT_FALSE(fs::exists(dir / "b.mox"));
}

TEST(CliTest, HelpAndVersion) {
  TempDir dir;
  const auto help = RunCli(dir.path(), "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: frameloom-cli convert [--tools DIR] SOURCE TARGET\n", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
  const auto version = RunCli(dir.path(), "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "1.0.0.1\n");
}

// A source folder and a separate target folder, the tools in a third.
struct CliFolder {
  TempDir dir;
  explicit CliFolder(const job_testing::FakeToolsOptions& options) {
    job_testing::WriteFakeTools(dir.path(), options);
    fs::create_directory(dir / "films");
    fs::create_directory(dir / "player");
    testing_support::WriteFileText(dir / "films" / "clip.avi", "video");
  }
  CliRun Convert() { return RunCli(dir.path(), "convert --tools '" + (dir / "Tools").string() + "' films/clip.avi player/clip.mox"); }
};

TEST(CliTest, ConversionPrintsEachStageAndExitsWithZero) {
  CliFolder folder(job_testing::FakeTools(8));
  const auto run = folder.Convert();
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string source = (folder.dir / "films" / "clip.avi").string();
  EXPECT_EQ(run.out, source + "\nclip.avi\n" + source + "\n" + (folder.dir / "films").string() +
                         "/\n1. Make avi...\n2. Make MP3...\n3. Make jpeg...\n4. Make mox...\n5. Make complete\n");
  // Standard error is no terminal here: the bar is a few plain lines, ending full.
  EXPECT_NE(run.err.find("100%\n"), std::string::npos) << run.err;
  const auto bytes = testing_support::ReadFileBytes(folder.dir / "player" / "clip.mox");
  ASSERT_GE(bytes.size(), 54u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "XRF");
  EXPECT_FALSE(fs::exists(folder.dir / "player" / "temp"));
}

TEST(CliTest, WorkFolderIsTheTargetsFolder) {
  CliFolder folder(job_testing::FakeTools(8));
  // Leftover frames in the target's folder stop the job; the ones beside the source don't matter.
  fs::create_directories(folder.dir / "player" / "temp");
  testing_support::WriteFileText(folder.dir / "player" / "temp" / "00000001.jpg", "old");
  const auto run = folder.Convert();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find((folder.dir / "player" / "temp").string() + " holds frame files"), std::string::npos)
      << run.err;
}

TEST(CliTest, FailuresExitWithOne) {
  {
    CliFolder folder(job_testing::FakeTools(3));
    const auto run = folder.Convert();
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Only 3 frames could be converted"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("5. Make complete"), std::string::npos);
  }
  {
    CliFolder folder({});
    fs::remove(folder.dir / "films" / "clip.avi");
    const auto run = folder.Convert();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "输入文件不存在, 请输入想要编辑的文件名如:XXX.avi\n");
  }
}

TEST(CliTest, ToolsBesideTheProgramByDefault) {
  CliFolder folder(job_testing::FakeTools(8));
  const auto program = folder.dir / "frameloom-cli";
  fs::copy_file(FRAMELOOM_CLI, program);
  const auto run = RunCli(folder.dir.path(), "convert films/clip.avi player/clip.mox", program.string());
  EXPECT_EQ(run.status, 0) << run.err;
}

// Ctrl-C or a termination request during a conversion: the tool is killed, the job's files go, and
// the program exits as the shell reports that signal.
TEST(CliTest, SignalDuringAConversionCancelsItAndRemovesTheJobsFiles) {
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    for (const char* stall : {"1", "djpeg"}) {
      CliFolder folder(job_testing::FakeTools(8).Stall(stall));
      const std::string tools = (folder.dir / "Tools").string();
      const char* argv[] = {FRAMELOOM_CLI, "convert", "--tools", tools.c_str(), "films/clip.avi", "player/clip.mox", nullptr};
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addchdir_np(&actions, folder.dir.path().c_str());
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
      pid_t cli = 0;
      ASSERT_EQ(posix_spawn(&cli, FRAMELOOM_CLI, &actions, nullptr, const_cast<char**>(argv), environ), 0);
      posix_spawn_file_actions_destroy(&actions);

      const fs::path pidFile = job_testing::StalledToolPidFile(folder.dir.path());
      for (int i = 0; i < 1000 && !(fs::exists(pidFile) && ReadFileText(pidFile).ends_with("\n")); ++i) usleep(10000);
      ASSERT_TRUE(fs::exists(pidFile)) << "the stalled tool did not start";
      const pid_t tool = std::stoi(ReadFileText(pidFile));
      kill(cli, signal);
      int waitStatus = 0;
      ASSERT_EQ(waitpid(cli, &waitStatus, 0), cli);
      ASSERT_TRUE(WIFEXITED(waitStatus)) << stall;
      EXPECT_EQ(WEXITSTATUS(waitStatus), status) << stall;
      EXPECT_EQ(kill(tool, 0), -1) << "the tool outlived the cancel";
      EXPECT_FALSE(fs::exists(folder.dir / "player" / "clip.mox")) << stall;
      EXPECT_FALSE(fs::exists(folder.dir / "player" / "temp")) << stall;
      EXPECT_FALSE(fs::exists(folder.dir / "films" / "clip.avixrftemp.avi")) << stall;
      EXPECT_FALSE(fs::exists(folder.dir / "films" / "clip.avi.mp3")) << stall;
      EXPECT_TRUE(fs::exists(folder.dir / "films" / "clip.avi"));
    }
  }
}

}  // namespace
