// frameloom-cli: one conversion from the command line, run by the same core as the dialog: the job
// text to ConversionJob on a worker thread while this thread dispatches the job's messages. Also reads
// finished files back, to check them and to show them.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/close_signals.h"
#include "cli/console_view.h"
#include "cli/decode_command.h"
#include "cli/exit_codes.h"
#include "cli/inspect_command.h"
#include "cli/usage.h"
#include "job/cancellation.h"
#include "job/conversion_job.h"
#include "job/file_types.h"
#include "job/job_state.h"
#include "job/stage_text.h"
#include "platform/message_box.h"
#include "platform/progress_bar.h"
#include "platform/thread.h"
#include "platform/window_messages.h"

namespace {

// A conversion ended by a signal exits as the shell reports a program killed by it.
constexpr int kExitSignalBase = 128;

constexpr char kUsage[] =
    "Usage: frameloom-cli convert [--tools DIR] SOURCE TARGET\n"
    "       frameloom-cli inspect [--json] FILE.mox\n"
    "       frameloom-cli decode [--sheet OUT.png] [--preview OUT.mp4] FILE.mox [OUTDIR]\n"
    "       frameloom-cli --help | --version\n";

constexpr char kHelp[] =
    "\n"
    "Converts one video (.avi .mov .mp4 .asf .wmv .3gp) into a .mox file for pocket media players:\n"
    "160 x 120 frames at 8 frames per second, then the sound as 32 kbit/s MP3.\n"
    "\n"
    "  --tools DIR  the folder named Tools that holds mencoder.exe, mplayer.exe and djpeg.exe\n"
    "               (default: the Tools folder beside this program)\n"
    "\n"
    "The frame files are made in the folder temp beside TARGET. Stage texts go to standard output;\n"
    "progress and messages go to standard error. FRAMELOOM_TIMINGS=1 also prints how long each\n"
    "stage took.\n"
    "\n"
    "inspect shows the header, every frame record and the sound of a .mox file, and whether the file\n"
    "is complete and consistent; if not, it names the first thing wrong. --json prints the same for\n"
    "scripts.\n"
    "\n"
    "decode writes every frame as OUTDIR/00000001.png and on, with the pixels kept from the frame\n"
    "before resolved; --sheet writes a contact sheet of numbered frames (up to 48, evenly spread), and\n"
    "--preview a video with the sound, at the file's own frame rate, made by ffmpeg. No existing file\n"
    "is replaced.\n"
    "\n"
    "Exit status: 0 for a complete file, 1 when the conversion failed or the file is not complete and\n"
    "consistent, 2 for a usage error.\n";

struct ConvertArguments {
  std::string toolsFolder;  // empty: the one beside the executable
  std::string source;
  std::string target;
};

// Fills the arguments of "convert"; an empty result means they were right.
std::string ParseConvertArguments(const std::vector<std::string_view>& arguments, ConvertArguments& parsed) {
  std::vector<std::string_view> files;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--tools") {
      if (i + 1 == arguments.size()) return "--tools needs a folder";
      parsed.toolsFolder = arguments[++i];
    } else if (arguments[i].size() > 1 && arguments[i][0] == '-') {
      return "unknown option " + std::string(arguments[i]);
    } else {
      files.push_back(arguments[i]);
    }
  }
  if (files.size() != 2) return "convert needs one SOURCE and one TARGET";
  parsed.source = files[0];
  parsed.target = files[1];
  return {};
}

// The start directory: the folder whose Tools folder holds the tools. Empty when it can't be found.
std::string StartDirectory(const std::string& toolsFolder, std::string& problem) {
  std::error_code error;
  if (toolsFolder.empty()) {
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) problem = "can't find this program's folder: " + error.message();
    return error ? std::string() : executable.parent_path().string();
  }
  std::filesystem::path folder = std::filesystem::absolute(toolsFolder, error).lexically_normal();
  if (!folder.has_filename()) folder = folder.parent_path();  // a trailing separator
  if (error || folder.filename() != "Tools") {
    problem = "--tools must name a folder called Tools (the tools are run as <its parent>/Tools/<tool>.exe): " +
              toolsFolder;
    return {};
  }
  return folder.parent_path().string();
}

int Convert(const ConvertArguments& arguments) {
  std::string problem;
  const std::string startDirectory = StartDirectory(arguments.toolsFolder, problem);
  if (!problem.empty()) return UsageError(problem);
  // The same type checks and messages as the dialog's file choices.
  if (!IsSupportedSourceType(arguments.source)) {
    std::fputs(UnsupportedSourceMessage(arguments.source).c_str(), stderr);
    return kExitUsage;
  }
  if (!IsSupportedTargetType(arguments.target)) {
    std::fputs(kUnsupportedTargetMessage, stderr);
    return kExitUsage;
  }
  std::error_code error;
  const std::filesystem::path source = std::filesystem::absolute(arguments.source, error);
  const std::filesystem::path target = std::filesystem::absolute(arguments.target, error);
  if (error) return UsageError("can't read the current folder: " + error.message());
  // As the dialog's file choice leaves it, the target's folder is the current directory, so "temp"
  // lands there. A folder that can't be entered can't take the target either, and the job says so.
  if (chdir(target.parent_path().c_str()) != 0) {
    std::fprintf(stderr, "frameloom-cli: can't enter %s\n", target.parent_path().c_str());
  }

  g_startDirectory = startDirectory;
  ResetJobState();
  const char* timings = std::getenv("FRAMELOOM_TIMINGS");
  ConsoleView view(stdout, stderr, isatty(STDERR_FILENO) == 1, timings != nullptr && std::string_view(timings) == "1");
  SetMessageBoxPresenter([&view](const std::string& text) {
    view.ClearProgressLine();
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
  });
  std::unique_ptr<WorkerThread> worker;
  int closeSignal = 0;
  const WindowHandle mainWindow = CreateMessageWindow(kMainWindowCaption, [&](UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_CONVERT_STAGE) view.ShowStage(wParam);
    // A signal cancels the job once; a second one while the job's files are removed does nothing more.
    if (message == WM_CLOSE && closeSignal == 0 && worker != nullptr && !worker->HasEnded()) {
      closeSignal = static_cast<int>(wParam);
      view.ClearProgressLine();
      std::fputs("frameloom-cli: cancelling; removing what the conversion made\n", stderr);
      CancelConversion(*worker);
    }
    return LRESULT{0};
  });
  const WindowHandle barWindow = CreateMessageWindow("", [&view](UINT message, WPARAM wParam, LPARAM lParam) {
    return view.ApplyProgress(message, wParam, lParam);
  });
  g_progressBar.Bind(barWindow);

  std::string jobText = target.string() + "\t" + source.string();
  {
    CloseSignals closeSignals(mainWindow);
    worker = WorkerThread::Start(ConversionJob, jobText.data());
    if (worker == nullptr) {
      std::fputs("frameloom-cli: can't start the conversion thread\n", stderr);
    } else {
      WaitWithMessages(*worker);
    }
  }
  // A close request still queued when the job ended on its own finds no running worker.
  DispatchMessages();
  worker.reset();
  view.Finish();

  g_progressBar.Bind(0);
  DestroyMessageWindow(barWindow);
  DestroyMessageWindow(mainWindow);
  SetMessageBoxPresenter({});
  if (closeSignal != 0) return kExitSignalBase + closeSignal;
  return g_jobOutcome == JobOutcome::kComplete ? kExitComplete : kExitFailed;
}

}  // namespace

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "frameloom-cli: %s\n%s", problem.c_str(), kUsage);
  return kExitUsage;
}

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  if (arguments.empty()) return UsageError("no command given");
  if (arguments[0] == "--help" || arguments[0] == "-h") {
    std::printf("%s%s", kUsage, kHelp);
    return kExitComplete;
  }
  if (arguments[0] == "--version") {
    std::printf("%s\n", FRAMELOOM_VERSION);
    return kExitComplete;
  }
  const std::vector<std::string_view> rest(arguments.begin() + 1, arguments.end());
  if (arguments[0] == "inspect") return RunInspect(rest);
  if (arguments[0] == "decode") return RunDecode(rest);
  if (arguments[0] != "convert") return UsageError("unknown command " + std::string(arguments[0]));
  ConvertArguments parsed;
  const std::string problem = ParseConvertArguments(rest, parsed);
  if (!problem.empty()) return UsageError(problem);
  return Convert(parsed);
}
