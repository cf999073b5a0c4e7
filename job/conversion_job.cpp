#include "job/conversion_job.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <unistd.h>

#include "job/job_files.h"
#include "job/job_state.h"
#include "job/pipeline.h"
#include "job/tool_commands.h"
#include "platform/message_box.h"

namespace {

// The tools split their command lines at tabs and group at double quotes, and the job text is split
// at its tab, so a path holding one of these would reach them broken.
bool CanCarry(std::string_view path) { return path.find_first_of("\"\t\r\n") == std::string_view::npos; }

std::string LongestToolPath() { return ToolPath(kVideoToolName); }

// The first check a job fails, with its message shown; nothing has been created by then.
bool Refused(const std::string& target, const std::string& source, const std::string& workDirectory) {
  if (source.find('.') == std::string::npos) {
    ShowMessageBox("输入文件格式不对, 请输入想要编辑的文件名如:XXX.avi等\n");
    return true;
  }
  std::FILE* probe = std::fopen(source.c_str(), "rbe");
  if (probe == nullptr) {
    ShowMessageBox("输入文件不存在, 请输入想要编辑的文件名如:XXX.avi\n");
    return true;
  }
  std::fclose(probe);
  for (const std::string& path : {source, target, LongestToolPath()}) {
    if (!CanCarry(path)) {
      ShowMessageBox("This path can't be used, as it holds a double quote, a tab or a line break: " +
                     path + "\n");
      return true;
    }
  }
  // The longest names the job makes from its paths must still be paths the system can open.
  for (const std::string& path : {ReducedVideoPath(source), target, LongestToolPath()}) {
    if (path.size() >= PATH_MAX) {
      ShowMessageBox("This path is too long (at most " + std::to_string(PATH_MAX - 1) +
                     " bytes): " + path + "\n");
      return true;
    }
  }
  if (HoldsFrameFiles(TempFolderOf(workDirectory))) {
    ShowMessageBox("The folder " + TempFolderOf(workDirectory) +
                   " holds frame files of an earlier conversion (00000001.jpg, 00000001.jpg.bmp, "
                   "00000001.jpg_24.bmp and so on). Remove them, then start again.\n");
    return true;
  }
  return false;
}

JobOutcome Convert(const std::string& target, const std::string& source) {
  std::error_code error;
  const std::string workDirectory = std::filesystem::current_path(error).string();
  // The record is this job's before any check can fail, so that a cancel never finds the previous
  // job's files in it and deletes that job's finished output.
  BeginJobFiles(error ? std::string() : workDirectory);
  if (error) {
    ShowMessageBox("Can't read the current folder: " + error.message() + "\n");
    return JobOutcome::kFailed;
  }
  if (Refused(target, source, workDirectory)) return JobOutcome::kFailed;

  std::FILE* output = std::fopen(target.c_str(), "wbe");
  if (output == nullptr) {
    ShowMessageBox("Can't create the outputfile\n");
    return JobOutcome::kFailed;
  }
  RecordTarget(target);
  g_outputFile = output;

  PipelineEnd end = RunPipeline(source);
  // The close handler takes over the open output after a cancel.
  if (end == PipelineEnd::kCancelled) return JobOutcome::kCancelled;

  if (std::fclose(g_outputFile.exchange(nullptr)) != 0 && end == PipelineEnd::kComplete) {
    ShowMessageBox("Can't write the output file " + target + ": " + std::strerror(errno) + "\n");
    end = PipelineEnd::kDiscard;
  }
  if (end == PipelineEnd::kDiscard) unlink(target.c_str());
  RemoveJobIntermediates(CurrentJobFiles());
  return end == PipelineEnd::kComplete ? JobOutcome::kComplete : JobOutcome::kFailed;
}

}  // namespace

void ConversionJob(void* jobText) {
  char* text = static_cast<char*>(jobText);
  char* tab = std::strchr(text, '\t');
  if (tab != nullptr) *tab = '\0';
  ConvertFile(text, tab != nullptr ? tab + 1 : "");
}

void ConvertFile(std::string target, std::string source) {
  g_jobOutcome = JobOutcome::kRunning;
  g_jobOutcome = Convert(target, source);
}
