#pragma once

// The command lines of the tools, byte for byte as the tools have always received them: the tool's
// path unquoted, a tab before the first argument of mencoder and mplayer, spaces only for djpeg, two
// spaces before djpeg's input, and a space at the end of mplayer's line.

#include <string>

// "<g_startDirectory>/Tools/<toolName>".
std::string ToolPath(const char* toolName);
std::string ToolsFolder();

inline constexpr char kVideoToolName[] = "mencoder.exe";
inline constexpr char kFrameDumpToolName[] = "mplayer.exe";
inline constexpr char kBitmapToolName[] = "djpeg.exe";

// Stage 0: the source shrunk to 160 × 120 at 8 frames per second, as "<source>xrftemp.avi".
std::string ReduceVideoCommand(const std::string& source);
// Stage 1: the sound as a raw 32 kbit/s MP3 stream, "<source>.mp3".
std::string ExtractSoundCommand(const std::string& source);
// Stage 2: every frame of the reduced video as "./temp/%08d.jpg".
std::string DumpFramesCommand(const std::string& source);
// Frame j's 256-colour and 24-bit bitmaps.
std::string PaletteBitmapCommand(int frameNumber);
std::string TrueColorBitmapCommand(int frameNumber);

// The intermediate files beside the source: the whole source path with a suffix.
std::string ReducedVideoPath(const std::string& source);
std::string SoundPath(const std::string& source);
inline constexpr char kReducedVideoSuffix[] = "xrftemp.avi";
inline constexpr char kSoundSuffix[] = ".mp3";
