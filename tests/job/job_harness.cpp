#include "job_harness.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "job/cancellation.h"
#include "job/conversion_job.h"
#include "job/stage_text.h"
#include "platform/message_box.h"
#include "platform/progress_bar.h"
#include "platform/thread.h"
#include "support/test_support.h"

namespace job_testing {

namespace {

// Points file descriptor 1 at a file for its lifetime; the tools inherit it too.
class StandardOutputCapture {
 public:
  explicit StandardOutputCapture(const std::filesystem::path& file) : file_(file) {
    std::fflush(stdout);
    saved_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (saved_ < 0 || fd < 0) throw std::runtime_error("cannot capture standard output");
    dup2(fd, STDOUT_FILENO);
    close(fd);
  }
  ~StandardOutputCapture() { Restore(); }
  std::string Finish() {
    Restore();
    return testing_support::ReadFileText(file_);
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
  }
  std::filesystem::path file_;
  int saved_ = -1;
};

}  // namespace

JobRun RunJob(const std::filesystem::path& startDirectory, const std::filesystem::path& workDirectory,
              const std::string& target, const std::string& source,
              const std::function<void(WPARAM stage)>& onStage,
              const std::function<void(const ReceivedMessage&)>& onBar) {
  JobRun run;
  std::unique_ptr<WorkerThread> worker;
  bool closing = false;
  g_startDirectory = startDirectory.string();
  ResetJobState();
  testing_support::ScopedCurrentDirectory inWorkDirectory(workDirectory);
  SetMessageBoxPresenter([&run](const std::string& text) { run.messageBoxes.push_back(text); });
  const WindowHandle mainWindow = CreateMessageWindow(kMainWindowCaption, [&](UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
      if (!closing && worker != nullptr && !worker->HasEnded()) {
        closing = true;
        CancelConversion(*worker);
      }
      return LRESULT{0};
    }
    run.messages.push_back({message, wParam, lParam});
    if (message == WM_CONVERT_STAGE && onStage) onStage(wParam);
    return LRESULT{0};
  });
  const WindowHandle barWindow = CreateMessageWindow("", [&](UINT message, WPARAM wParam, LPARAM lParam) {
    run.messages.push_back({message, wParam, lParam});
    if (onBar) onBar(run.messages.back());
    return LRESULT{0};
  });
  g_progressBar.Bind(barWindow);

  StandardOutputCapture capture(workDirectory / "job-stdout");
  std::string jobText = target + "\t" + source;
  worker = WorkerThread::Start(ConversionJob, jobText.data());
  if (worker == nullptr) throw std::runtime_error("cannot start the worker");
  WaitWithMessages(*worker);
  // A close request that came as the job ended finds no running worker.
  DispatchMessages();
  worker.reset();
  run.standardOutput = capture.Finish();
  std::filesystem::remove(workDirectory / "job-stdout");

  g_progressBar.Bind(0);
  DestroyMessageWindow(barWindow);
  DestroyMessageWindow(mainWindow);
  SetMessageBoxPresenter({});
  run.outcome = g_jobOutcome;
  return run;
}

}  // namespace job_testing
