#include "job/pipeline.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <unistd.h>

#include "codec/bitmap_input.h"
#include "codec/frame_encoder.h"
#include "job/job_files.h"
#include "job/job_state.h"
#include "job/progress_listener.h"
#include "job/stage_text.h"
#include "job/tool_commands.h"
#include "job/tool_runner.h"
#include "platform/console.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/progress_bar.h"

namespace {

enum class Step { kDone, kFailed, kCancelled };

constexpr std::size_t kSoundCopyBlock = 16384;

std::string JobTarget() { return CurrentJobFiles().target; }

void ShowWriteFailure(int error) {
  ShowMessageBox("Can't write the output file " + JobTarget() + ": " + std::strerror(error) + "\n");
}

// The cancel point after a tool run, then whether the tool could be started at all.
Step AfterToolRun(int started, const char* toolName) {
  if (g_cancelRequested) return Step::kCancelled;
  if (!started) {
    ShowMessageBox(std::string("Can't start the tool ") + toolName + ": it is missing from " +
                   ToolsFolder() + " or can't be run.\n");
    return Step::kFailed;
  }
  return Step::kDone;
}

// One of the three listened-to stages. The first stage's listener has been opened by the caller;
// a later one that can't be opened only costs that stage's progress display.
Step RunToolStage(int stage, const std::string& commandLine, const char* toolName) {
  if (stage > 0) StartProgressListener();
  BeginToolStage(stage);
  const int started = RunTool(commandLine);
  StopProgressListener();
  return AfterToolRun(started, toolName);
}

void AnnounceStage(WPARAM stage) {
  SendMessage(FindWindowByCaption(kMainWindowCaption), WM_CONVERT_STAGE, stage, 0);
}

void PrintSourceLines(const std::string& source) {
  const std::size_t separator = source.rfind(kPathSeparator);
  const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
  std::printf("%s\n%s\n%s\n%s\n", source.c_str(), source.c_str() + nameStart, source.c_str(),
              source.substr(0, nameStart).c_str());
}

struct FrameStageResult {
  Step step = Step::kDone;
  std::uint32_t records = 0;
  // The size of this job's first coded frame; the header carries it.
  std::uint16_t width = 0;
  std::uint16_t height = 0;
};

void DeleteFrameFiles(int frameNumber) {
  for (const char* suffix : {kFrameImageSuffix, kPaletteBitmapSuffix, kTrueColorBitmapSuffix}) {
    unlink(FrameFileName(frameNumber, suffix).c_str());
  }
}

// Codes the frame from its open bitmaps and closes them. False when the output could not be written.
bool CodeFrame(std::FILE* output, FrameStageResult& result) {
  if (EncodeFrame()) {
    if (result.records++ == 0) {
      result.width = static_cast<std::uint16_t>(g_frameWidth);
      result.height = static_cast<std::uint16_t>(g_frameHeight);
    }
  }
  const int error = errno;
  std::fclose(g_paletteBitmapFile);
  g_paletteBitmapFile = nullptr;
  if (g_trueColorBitmapFile != nullptr) std::fclose(g_trueColorBitmapFile);
  g_trueColorBitmapFile = nullptr;
  if (std::ferror(output)) {
    ShowWriteFailure(error);
    return false;
  }
  return true;
}

FrameStageResult CodeFrames(std::FILE* output, int frameCount) {
  FrameStageResult result;
  for (int frame = 1; frame <= frameCount; ++frame) {
    result.step = AfterToolRun(RunTool(PaletteBitmapCommand(frame)), kBitmapToolName);
    if (result.step != Step::kDone) return result;
    result.step = AfterToolRun(RunTool(TrueColorBitmapCommand(frame)), kBitmapToolName);
    if (result.step != Step::kDone) return result;

    g_paletteBitmapFile = std::fopen(FrameFileName(frame, kPaletteBitmapSuffix).c_str(), "rbe");
    // The first frame without its bitmap ends the frames; its image and those after it are
    // removed with the job's other frame files.
    if (g_paletteBitmapFile == nullptr) break;
    g_trueColorBitmapFile = std::fopen(FrameFileName(frame, kTrueColorBitmapSuffix).c_str(), "rbe");
    if (g_trueColorBitmapFile == nullptr) std::printf("lack last frame compare\n");
    if (!CodeFrame(output, result)) {
      result.step = Step::kFailed;
      return result;
    }
    g_progressBar.Send(PBM_DELTAPOS, 1, 0);
    DeleteFrameFiles(frame);
  }
  return result;
}

// Appends the sound file, when the source had sound. False when it could not be copied whole.
bool AppendSound(std::FILE* output, const std::string& source) {
  const std::string soundPath = SoundPath(source);
  std::FILE* sound = std::fopen(soundPath.c_str(), "rbe");
  if (sound == nullptr) {
    std::printf("Can't open the mp3 file: %s\n", soundPath.c_str());
    WaitForKeyPress();
    return true;
  }
  char block[kSoundCopyBlock];
  std::size_t got = 0;
  bool written = true;
  do {
    got = std::fread(block, 1, sizeof block, sound);
    if (got > 0 && std::fwrite(block, 1, got, output) != got) written = false;
  } while (written && got == sizeof block);
  const int error = errno;
  const bool readFailed = std::ferror(sound) != 0;
  std::fclose(sound);
  if (!written) {
    ShowWriteFailure(error);
    return false;
  }
  if (readFailed) {
    ShowMessageBox("Can't read the sound file " + soundPath + ": " + std::strerror(error) + "\n");
    return false;
  }
  g_progressBar.Send(PBM_DELTAPOS, 1, 0);
  return true;
}

bool WriteAt(std::FILE* output, long offset, const std::uint8_t* bytes, std::size_t size) {
  if (std::fseek(output, offset, SEEK_SET) != 0 || std::fwrite(bytes, 1, size, output) != size ||
      std::fflush(output) != 0) {
    ShowWriteFailure(errno);
    return false;
  }
  return true;
}

PipelineEnd EndOf(Step step) {
  return step == Step::kCancelled ? PipelineEnd::kCancelled : PipelineEnd::kDiscard;
}

}  // namespace

PipelineEnd RunPipeline(const std::string& source) {
  if (!StartProgressListener()) {
    ShowMessageBox(
        "Can't open the progress port 127.0.0.1:5000; another program may be using it. The "
        "conversion did not start.\n");
    return PipelineEnd::kDiscard;
  }
  PrintSourceLines(source);

  RecordReducedVideo(ReducedVideoPath(source));
  Step step = RunToolStage(0, ReduceVideoCommand(source), kVideoToolName);
  if (step != Step::kDone) return EndOf(step);

  RecordSound(SoundPath(source));
  step = RunToolStage(1, ExtractSoundCommand(source), kVideoToolName);
  if (step != Step::kDone) return EndOf(step);

  const std::string workDirectory = CurrentJobFiles().workDirectory;
  std::error_code ignored;
  RecordFrameDumpStart(std::filesystem::exists(TempFolderOf(workDirectory), ignored));
  step = RunToolStage(2, DumpFramesCommand(source), kFrameDumpToolName);
  if (step != Step::kDone) return EndOf(step);

  AnnounceStage(3);
  std::FILE* output = g_outputFile;
  g_containerHeader.Clear();
  if (!WriteAt(output, 0, g_containerHeader.Bytes(), ContainerHeader::kSize)) return PipelineEnd::kDiscard;
  // The job never changes the current directory, so the folder it started in is the work folder.
  g_workDirectory = workDirectory;
  std::vector<int> frameNumbers = FindFrameImages(TempFolderOf(g_workDirectory));
  const int frameCount = static_cast<int>(frameNumbers.size());
  RecordFrameNumbers(std::move(frameNumbers));
  g_progressBar.Send(PBM_SETRANGE, 0, static_cast<LPARAM>(((frameCount + 2) & 0xFFFF) << 16));
  g_progressBar.Send(PBM_SETPOS, 0, 0);

  const FrameStageResult frames = CodeFrames(output, frameCount);
  if (frames.step == Step::kCancelled) return PipelineEnd::kCancelled;
  // Freed at every other end, so the next job's first frame is never compared with this job's last.
  ReleaseFrameBuffers();
  if (frames.step == Step::kFailed) return PipelineEnd::kDiscard;

  if (frames.records < g_framesPerSecond) {
    std::printf("Error: Convert frames is too small, pls check!\n");
    ShowMessageBox("Only " + std::to_string(frames.records) +
                   " frames could be converted, fewer than the 8 a file needs. The output file is "
                   "unfinished.\n");
    return PipelineEnd::kIncomplete;
  }

  const long audioOffset = std::ftell(output);
  if (audioOffset < 0) {
    ShowWriteFailure(errno);
    return PipelineEnd::kDiscard;
  }
  if (static_cast<unsigned long>(audioOffset) > std::numeric_limits<std::uint32_t>::max()) {
    ShowMessageBox("The video is too long: its frames don't fit in one output file.\n");
    return PipelineEnd::kDiscard;
  }
  if (!AppendSound(output, source)) return PipelineEnd::kDiscard;

  g_containerHeader.Fill(frames.records, g_framesPerSecond, frames.width, frames.height,
                         static_cast<std::uint32_t>(audioOffset));
  if (!WriteAt(output, 0, g_containerHeader.Bytes(), ContainerHeader::kSize)) return PipelineEnd::kDiscard;

  g_progressBar.Send(PBM_SETPOS, static_cast<WPARAM>(frameCount + 2), 0);
  AnnounceStage(4);
  return PipelineEnd::kComplete;
}
