#include "support/arguments.h"

#include "support/numbers.h"

#include <string_view>

namespace tools {

namespace {

bool IsOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

// Walks the words; options take their value from the next word.
class WordReader {
 public:
  explicit WordReader(const std::vector<std::string>& words) : words_(words) {}
  bool AtEnd() const { return next_ >= words_.size(); }
  const std::string& Take() { return words_[next_++]; }
  const std::string* Peek() const { return AtEnd() ? nullptr : &words_[next_]; }
  // The value of `option`, or nothing (and `error` set) when the line ends before it.
  const std::string* TakeValue(const std::string& option, std::string& error) {
    if (AtEnd()) {
      error = "option " + option + " needs a value";
      return nullptr;
    }
    return &Take();
  }

 private:
  const std::vector<std::string>& words_;
  std::size_t next_ = 0;
};

bool TakeInput(const std::string& word, std::string& input, std::string& error) {
  if (!input.empty()) {
    error = "only one input file is accepted, got \"" + input + "\" and \"" + word + "\"";
    return false;
  }
  input = word;
  return true;
}

// One "key[=value]" of -lameopts.
bool ApplyLameSetting(std::string_view setting, LameSettings& lame, std::string& error) {
  const std::string_view::size_type equals = setting.find('=');
  const std::string_view key = setting.substr(0, equals);
  const std::string_view value = equals == std::string_view::npos ? std::string_view() : setting.substr(equals + 1);
  const auto refuse = [&](const char* why) {
    error = "-lameopts " + std::string(setting) + ": " + why;
    return false;
  };
  // The sound is always encoded at a constant bit rate, so "cbr" only confirms it.
  if (key == "cbr" && equals == std::string_view::npos) return true;
  if (key == "br") {
    const std::optional<int> kbps = ParseInteger<int>(value);
    if (!kbps || *kbps < 8 || *kbps > 320) return refuse("the bit rate must be 8 to 320 kbit/s");
    lame.bitrateKbps = *kbps;
    return true;
  }
  if (key == "mode") {
    const std::optional<int> mode = ParseInteger<int>(value);
    if (mode == 0 || mode == 1) {
      lame.mono = false;
      lame.jointStereo = *mode == 1;
      return true;
    }
    if (mode == 3) {
      lame.mono = true;
      return true;
    }
    return refuse("the mode must be 0 (stereo), 1 (joint stereo) or 3 (mono)");
  }
  if (key == "padding") {
    // Our sample rates make every frame a whole number of bytes, so no frame is ever padded.
    if (value == "0") return true;
    return refuse("only padding=0 is supported");
  }
  if (key == "vol") {
    const std::optional<double> gain = ParseDecimal(value);
    if (!gain || *gain < 0 || *gain > 10) return refuse("the volume must be 0 to 10");
    lame.inputGain = *gain;
    return true;
  }
  return refuse("unknown setting");
}

bool ApplyLameSettings(std::string_view settings, LameSettings& lame, std::string& error) {
  std::string_view::size_type start = 0;
  for (;;) {
    const std::string_view::size_type colon = settings.find(':', start);
    const std::string_view setting = settings.substr(start, colon == std::string_view::npos ? colon : colon - start);
    if (setting.empty()) {
      error = "-lameopts " + std::string(settings) + ": empty setting";
      return false;
    }
    if (!ApplyLameSetting(setting, lame, error)) return false;
    if (colon == std::string_view::npos) return true;
    start = colon + 1;
  }
}

std::optional<FrameSize> ParseScaleFilter(std::string_view filter) {
  constexpr std::string_view kPrefix = "scale=";
  if (filter.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  const std::string_view size = filter.substr(kPrefix.size());
  const std::string_view::size_type colon = size.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<int> width = ParseInteger<int>(size.substr(0, colon));
  const std::optional<int> height = ParseInteger<int>(size.substr(colon + 1));
  if (!width || !height || *width <= 0 || *height <= 0) return std::nullopt;
  return FrameSize{*width, *height};
}

bool RequireValue(const std::string& option, const std::string& value, std::string_view expected,
                  std::string& error) {
  if (value == expected) return true;
  error = option + " " + value + ": only " + option + " " + std::string(expected) + " is supported";
  return false;
}

}  // namespace

std::optional<MencoderArguments> ParseMencoderArguments(const std::vector<std::string>& arguments,
                                                        std::string& error) {
  MencoderArguments parsed;
  WordReader words(arguments);
  while (!words.AtEnd()) {
    const std::string& word = words.Take();
    if (!IsOption(word)) {
      if (!TakeInput(word, parsed.input, error)) return std::nullopt;
      continue;
    }
    const std::string* value = nullptr;
    if (word == "-o") {
      if ((value = words.TakeValue(word, error)) == nullptr) return std::nullopt;
      parsed.output = *value;
    } else if (word == "-oac") {
      if ((value = words.TakeValue(word, error)) == nullptr) return std::nullopt;
      if (!RequireValue(word, *value, "mp3lame", error)) return std::nullopt;
    } else if (word == "-ovc") {
      if ((value = words.TakeValue(word, error)) == nullptr) return std::nullopt;
      if (!RequireValue(word, *value, "lavc", error)) return std::nullopt;
    } else if (word == "-of") {
      if ((value = words.TakeValue(word, error)) == nullptr) return std::nullopt;
      if (!RequireValue(word, *value, "rawaudio", error)) return std::nullopt;
      parsed.rawAudio = true;
    } else if (word == "-lameopts") {
      if ((value = words.TakeValue(word, error)) == nullptr) return std::nullopt;
      if (!ApplyLameSettings(*value, parsed.lame, error)) return std::nullopt;
      // The converter's line spells the settings with spaces ("cbr:br=32 mode=3 padding=0 vol=9"),
      // so the key=value words that follow still belong to -lameopts.
      while (words.Peek() != nullptr && !IsOption(*words.Peek()) &&
             words.Peek()->find('=') != std::string::npos) {
        if (!ApplyLameSettings(words.Take(), parsed.lame, error)) return std::nullopt;
      }
    } else if (word == "-vf") {
      if ((value = words.TakeValue(word, error)) == nullptr) return std::nullopt;
      parsed.scale = ParseScaleFilter(*value);
      if (!parsed.scale) {
        error = "-vf " + *value + ": only scale=<width>:<height> is supported";
        return std::nullopt;
      }
    } else if (word == "-ofps") {
      if ((value = words.TakeValue(word, error)) == nullptr) return std::nullopt;
      const std::optional<double> rate = ParseDecimal(*value);
      if (!rate || *rate <= 0) {
        error = "-ofps " + *value + ": the frame rate must be a positive number";
        return std::nullopt;
      }
      parsed.frameRate = *rate;
    } else {
      error = "unknown option " + word;
      return std::nullopt;
    }
  }
  if (parsed.input.empty()) {
    error = "no input file";
    return std::nullopt;
  }
  if (parsed.output.empty()) {
    error = "no output file (-o)";
    return std::nullopt;
  }
  return parsed;
}

std::optional<MplayerArguments> ParseMplayerArguments(const std::vector<std::string>& arguments,
                                                      std::string& error) {
  MplayerArguments parsed;
  bool jpegOutput = false;
  WordReader words(arguments);
  while (!words.AtEnd()) {
    const std::string& word = words.Take();
    if (!IsOption(word)) {
      if (!TakeInput(word, parsed.input, error)) return std::nullopt;
      continue;
    }
    const std::string* value = nullptr;
    if (word == "-speed") {
      // A request for speed, which the frame dump always goes at; it never drops frames.
      if ((value = words.TakeValue(word, error)) == nullptr) return std::nullopt;
      const std::optional<double> speed = ParseDecimal(*value);
      if (!speed || *speed <= 0) {
        error = "-speed " + *value + ": the speed must be a positive number";
        return std::nullopt;
      }
    } else if (word == "-nosound") {
      // The frame dump never touches the sound.
    } else if (word == "-vo") {
      if ((value = words.TakeValue(word, error)) == nullptr) return std::nullopt;
      if (!RequireValue(word, *value, "jpeg", error)) return std::nullopt;
      jpegOutput = true;
    } else {
      error = "unknown option " + word;
      return std::nullopt;
    }
  }
  if (parsed.input.empty()) {
    error = "no input file";
    return std::nullopt;
  }
  if (!jpegOutput) {
    error = "no video output: only -vo jpeg is supported";
    return std::nullopt;
  }
  return parsed;
}

}  // namespace tools
