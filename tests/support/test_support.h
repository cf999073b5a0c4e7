#pragma once

// Small helpers shared by the test programs.

#include <cstdint>
#include <filesystem>
#include <netinet/in.h>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);
std::string ReadFileText(const std::filesystem::path& file);
void WriteFileText(const std::filesystem::path& file, const std::string& text);

// 127.0.0.1:5000, where the tools report their progress.
sockaddr_in ProgressPortAddress();

// Changes the current directory for the lifetime of the object.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::filesystem::path& directory);
  ~ScopedCurrentDirectory();

 private:
  std::filesystem::path previous_;
};

}  // namespace testing_support
