#include "support/test_support.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "frameloom-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only files and folders behind on purpose.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string ReadFileText(const std::filesystem::path& file) {
  auto bytes = ReadFileBytes(file);
  return {bytes.begin(), bytes.end()};
}

void WriteFileText(const std::filesystem::path& file, const std::string& text) {
  WriteFileBytes(file, {text.begin(), text.end()});
}

sockaddr_in ProgressPortAddress() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(5000);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::filesystem::path& directory)
    : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(directory);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

}  // namespace testing_support
