#include "job/stage_text.h"

#include <array>

const char* StageText(WPARAM stage) {
  static constexpr std::array<const char*, 5> kStageTexts = {
      "1. Make avi...", "2. Make MP3...", "3. Make jpeg...", "4. Make mox...", "5. Make complete",
  };
  return stage < kStageTexts.size() ? kStageTexts[stage] : nullptr;
}
