#pragma once

// Running the built frameloom-cli from a test, as a user's shell would.

#include <filesystem>
#include <string>

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the program with the arguments (already shell-quoted where needed) from the folder.
CliRun RunCli(const std::filesystem::path& folder, const std::string& arguments,
              const std::string& program = FRAMELOOM_CLI);
