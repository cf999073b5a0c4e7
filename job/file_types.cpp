#include "job/file_types.h"

#include <algorithm>
#include <array>

namespace {

bool IsUtf8ContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

std::string FileTypeSuffix(std::string_view path) {
  std::size_t start = path.size();
  for (int characters = 0; characters < 4 && start > 0; ++characters) {
    do {
      --start;
    } while (start > 0 && IsUtf8ContinuationByte(path[start]));
  }
  std::string suffix(path.substr(start));
  std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return suffix;
}

bool IsSupportedSourceType(std::string_view path) {
  static constexpr std::array<std::string_view, 6> kSourceTypes = {".avi", ".mov", ".mp4",
                                                                   ".asf", ".wmv", ".3gp"};
  const std::string suffix = FileTypeSuffix(path);
  return std::find(kSourceTypes.begin(), kSourceTypes.end(), suffix) != kSourceTypes.end();
}

bool IsSupportedTargetType(std::string_view path) { return FileTypeSuffix(path) == ".mox"; }

std::string UnsupportedSourceMessage(std::string_view path) {
  return FileTypeSuffix(path) + "不是支持的文件类型, 请重新输入能支持类型的单个文件\n";
}
