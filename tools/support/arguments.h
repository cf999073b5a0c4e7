#pragma once

// The command lines the two ffmpeg-backed tools accept, in the MEncoder and MPlayer syntax that the
// converter speaks. Anything else is refused with one message naming what was wrong.

#include <optional>
#include <string>
#include <vector>

namespace tools {

// -lameopts: LAME's settings for the sound stream.
struct LameSettings {
  int bitrateKbps = 128;
  bool mono = false;         // mode=3
  bool jointStereo = true;   // mode=1, LAME's usual stereo; mode=0 is plain stereo
  double inputGain = 1.0;    // vol
};

struct FrameSize {
  int width = 0;
  int height = 0;
};

struct MencoderArguments {
  std::string input;
  std::string output;
  bool rawAudio = false;                 // -of rawaudio: the sound alone, else a video file
  std::optional<FrameSize> scale;        // -vf scale=W:H
  std::optional<double> frameRate;       // -ofps
  LameSettings lame;
};

struct MplayerArguments {
  std::string input;
};

// `arguments` excludes the program name. On a refusal `error` says why and nothing is returned.
std::optional<MencoderArguments> ParseMencoderArguments(const std::vector<std::string>& arguments,
                                                        std::string& error);
std::optional<MplayerArguments> ParseMplayerArguments(const std::vector<std::string>& arguments,
                                                      std::string& error);

}  // namespace tools
