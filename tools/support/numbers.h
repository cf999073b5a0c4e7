#pragma once

// Numbers read from command-line words and from ffmpeg's reports: the whole text is the number, or
// there is no value.

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

namespace tools {

template <typename Integer>
std::optional<Integer> ParseInteger(std::string_view text) {
  Integer value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A finite decimal number; ffprobe's "N/A" and "inf" are none.
inline std::optional<double> ParseDecimal(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace tools
