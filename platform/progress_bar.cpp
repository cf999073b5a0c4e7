#include "platform/progress_bar.h"

#include <cstdint>

ProgressBar g_progressBar;

namespace {

int ClampInto(std::int64_t value, int minimum, int maximum) {
  if (value > maximum) return maximum;
  if (value < minimum) return minimum;
  return static_cast<int>(value);
}

}  // namespace

LRESULT ProgressState::Apply(UINT message, WPARAM wParam, LPARAM lParam) {
  const int previousPosition = position;
  switch (message) {
    case PBM_SETRANGE: {
      const LRESULT previousRange =
          static_cast<LRESULT>((static_cast<std::uint32_t>(maximum) & 0xFFFF) << 16 |
                               (static_cast<std::uint32_t>(minimum) & 0xFFFF));
      // Both bounds are unsigned 16-bit words.
      minimum = static_cast<int>(static_cast<std::uint32_t>(lParam) & 0xFFFF);
      maximum = static_cast<int>(static_cast<std::uint32_t>(lParam) >> 16 & 0xFFFF);
      position = ClampInto(position, minimum, maximum);
      return previousRange;
    }
    case PBM_SETPOS:
      position = ClampInto(static_cast<int>(wParam), minimum, maximum);
      return previousPosition;
    case PBM_DELTAPOS:
      position = ClampInto(static_cast<std::int64_t>(position) + static_cast<int>(wParam), minimum, maximum);
      return previousPosition;
    default:
      return 0;
  }
}

LRESULT ProgressBar::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
  const WindowHandle window = window_.load();
  return window == 0 ? 0 : SendMessage(window, message, wParam, lParam);
}
