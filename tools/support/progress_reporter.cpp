#include "support/progress_reporter.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tools {

namespace {

constexpr std::uint16_t kProgressPort = 5000;
// The listener keeps only the low 16 bits of Total for its bar's range.
constexpr std::int64_t kLargestTotal = 65535;

}  // namespace

ProgressReporter::ProgressReporter() {
  socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kProgressPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(socket_);
    socket_ = -1;
  }
}

ProgressReporter::~ProgressReporter() {
  if (socket_ >= 0) close(socket_);
}

void ProgressReporter::Report(std::int64_t current, std::int64_t total) {
  if (socket_ < 0 || total <= 0) return;
  if (sentAny_ && std::chrono::steady_clock::now() - lastSent_ < kMinimumGap) return;
  // An estimate of the total may fall short of the real count; the bar never runs past its end.
  Send(std::clamp<std::int64_t>(current, 0, total), total);
}

void ProgressReporter::Finish(std::int64_t total) {
  if (socket_ < 0) return;
  if (sentAny_) std::this_thread::sleep_until(lastSent_ + kMinimumGap);
  Send(total, total);
}

void ProgressReporter::Send(std::int64_t current, std::int64_t total) {
  if (total > kLargestTotal) {
    current = current * kLargestTotal / total;
    total = kLargestTotal;
  }
  char report[64];
  const int length = std::snprintf(report, sizeof report, "cur:%lld Total:%lld",
                                   static_cast<long long>(current), static_cast<long long>(total));
  // One write per report. MSG_NOSIGNAL: a listener that has gone away must not kill the tool; after
  // the first failure there is no one left to tell.
  if (send(socket_, report, static_cast<std::size_t>(length), MSG_NOSIGNAL) != length) {
    close(socket_);
    socket_ = -1;
    return;
  }
  sentAny_ = true;
  lastSent_ = std::chrono::steady_clock::now();
}

}  // namespace tools
