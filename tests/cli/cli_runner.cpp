#include "cli_runner.h"

#include <sys/wait.h>

#include <cstdlib>

#include "support/test_support.h"

CliRun RunCli(const std::filesystem::path& folder, const std::string& arguments, const std::string& program) {
  const std::string command =
      "cd '" + folder.string() + "' && '" + program + "' " + arguments + " > cli-out 2> cli-err";
  const int status = std::system(command.c_str());
  CliRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = testing_support::ReadFileText(folder / "cli-out");
  run.err = testing_support::ReadFileText(folder / "cli-err");
  std::filesystem::remove(folder / "cli-out");
  std::filesystem::remove(folder / "cli-err");
  return run;
}
