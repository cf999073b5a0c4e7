#include "job/tool_commands.h"

#include "job/job_files.h"
#include "job/job_state.h"
#include "platform/path.h"

std::string ToolsFolder() { return g_startDirectory + kPathSeparator + "Tools"; }

std::string ToolPath(const char* toolName) { return ToolsFolder() + kPathSeparator + toolName; }

std::string ReducedVideoPath(const std::string& source) { return source + kReducedVideoSuffix; }

std::string SoundPath(const std::string& source) { return source + kSoundSuffix; }

std::string ReduceVideoCommand(const std::string& source) {
  return ToolPath(kVideoToolName) + "\t\"" + source +
         "\" -oac mp3lame -ovc lavc -vf scale=160:120 -o \"" + ReducedVideoPath(source) +
         "\" -ofps " + std::to_string(g_framesPerSecond);
}

std::string ExtractSoundCommand(const std::string& source) {
  return ToolPath(kVideoToolName) + "\t\"" + source +
         "\" -of rawaudio -oac mp3lame -lameopts cbr:br=32 mode=3 padding=0 vol=9 -ovc lavc -o \"" +
         SoundPath(source) + "\"";
}

std::string DumpFramesCommand(const std::string& source) {
  return ToolPath(kFrameDumpToolName) + "\t\"" + ReducedVideoPath(source) +
         "\" -speed 10 -nosound -vo jpeg ";
}

std::string PaletteBitmapCommand(int frameNumber) {
  return ToolPath(kBitmapToolName) + " -colors 256 -bmp -outfile " +
         FrameFileName(frameNumber, kPaletteBitmapSuffix) + "  " +
         FrameFileName(frameNumber, kFrameImageSuffix);
}

std::string TrueColorBitmapCommand(int frameNumber) {
  return ToolPath(kBitmapToolName) + " -bmp -outfile " +
         FrameFileName(frameNumber, kTrueColorBitmapSuffix) + "  " +
         FrameFileName(frameNumber, kFrameImageSuffix);
}
