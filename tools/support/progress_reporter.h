#pragma once

// The tools' side of the progress connection: plain "cur:<n> Total:<m>" reports to 127.0.0.1:5000.

#include <chrono>
#include <cstdint>

namespace tools {

class ProgressReporter {
 public:
  // Connects once. When nothing listens the tool works on without reports.
  ProgressReporter();
  ~ProgressReporter();
  ProgressReporter(const ProgressReporter&) = delete;
  ProgressReporter& operator=(const ProgressReporter&) = delete;

  // Reports `current` of `total`, at most every kMinimumGap; a report that comes sooner is dropped,
  // as is one without a known total (0).
  void Report(std::int64_t current, std::int64_t total);
  // The closing report, cur equal to Total; it waits out the gap so that the listener receives it
  // on its own and not glued to the report before.
  void Finish(std::int64_t total);

  static constexpr std::chrono::milliseconds kMinimumGap{200};

 private:
  void Send(std::int64_t current, std::int64_t total);

  int socket_ = -1;
  bool sentAny_ = false;
  std::chrono::steady_clock::time_point lastSent_;
};

}  // namespace tools
