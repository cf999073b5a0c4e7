#include "job/progress_listener.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/progress_bar.h"

int g_listenSocket = kInvalidSocket;
ListenerRecord g_listenerRecord;

namespace {

constexpr std::uint16_t kProgressPort = 5000;
constexpr int kListenBacklog = 4;
constexpr std::size_t kReportSize = 260;
constexpr const char* kMainWindowCaption = "Frameloom";
constexpr std::string_view kCurrentKey = "cur:";
constexpr std::string_view kTotalKey = "Total:";
// Until a report names the total, the range stays the one the dialog opens with, so that a tool
// that reports only "cur:" is shown as a percentage.
constexpr std::int32_t kTotalBeforeFirstReport = 100;

// The stage's listener thread. The stop joins it, so no listener thread outlives its stage and the
// next start cannot rewrite anything a running thread still uses.
std::thread listenerThread;
// The wake-up for that thread; the start opens it, the stop signals and closes it.
int stopEvent = -1;

sockaddr_in LoopbackAddress() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kProgressPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// White space, an optional sign, then decimal digits; no digits give 0. Tools may send any count,
// so the value wraps at 32 bits rather than overflowing.
std::int32_t ReadNumber(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && IsSpace(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  std::uint32_t value = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    value = value * 10 + static_cast<std::uint32_t>(text[at] - '0');
  }
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}

// Only the key's first occurrence counts; a report without the key leaves the value held so far.
void ReadKey(std::string_view report, std::string_view key, std::int32_t& value) {
  const std::size_t at = report.find(key);
  if (at != std::string_view::npos) value = ReadNumber(report.substr(at + key.size()));
}

enum class Wake { kInput, kStop };

// Input that has arrived takes precedence over the stop, so that a tool's last reports are shown.
Wake WaitForInputOrStop(int socket, int stop) {
  pollfd waits[] = {{socket, POLLIN, 0}, {stop, POLLIN, 0}};
  while (poll(waits, 2, -1) < 0) {
    if (errno != EINTR) return Wake::kStop;
  }
  return waits[0].revents != 0 ? Wake::kInput : Wake::kStop;
}

int AcceptConnection(int listenSocket) {
  int connection;
  do {
    connection = accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
  } while (connection < 0 && errno == EINTR);
  return connection;
}

void ShowReports(int connection, int stop) {
  std::int32_t current = 0;
  std::int32_t total = kTotalBeforeFirstReport;
  char buffer[kReportSize];
  // After the stop the tool has ended: take what it sent before, but don't wait for a connection
  // that something else may still hold open.
  bool stopping = false;
  for (;;) {
    if (!stopping && WaitForInputOrStop(connection, stop) == Wake::kStop) stopping = true;
    const ssize_t received = recv(connection, buffer, sizeof buffer, stopping ? MSG_DONTWAIT : 0);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) return;
    // A full receive carries no terminator; a zero byte ends the report early.
    std::string_view report(buffer, static_cast<std::size_t>(received));
    report = report.substr(0, report.find('\0'));
    ReadKey(report, kCurrentKey, current);
    ReadKey(report, kTotalKey, total);
    g_progressBar.Send(PBM_SETRANGE, 0, static_cast<LPARAM>(total & 0xFFFF) << 16);
    g_progressBar.Send(PBM_SETPOS, static_cast<WPARAM>(current), 0);
  }
}

}  // namespace

int StartProgressListener() {
  // Whatever happens below, this stage's thread must not find an earlier stage's descriptors.
  g_listenSocket = kInvalidSocket;
  g_listenerRecord.listenSocket = kInvalidSocket;
  g_listenerRecord.stopEvent = -1;

  const int listenSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenSocket < 0) return 0;
  // Lets the port be bound again while an earlier stage's connection lingers in TIME_WAIT; a port
  // on which another program listens still refuses the bind.
  const int reuse = 1;
  const sockaddr_in address = LoopbackAddress();
  if (setsockopt(listenSocket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
      bind(listenSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listenSocket, kListenBacklog) != 0) {
    close(listenSocket);
    return 0;
  }
  const int event = eventfd(0, EFD_CLOEXEC);
  if (event < 0) {
    close(listenSocket);
    return 0;
  }

  g_listenSocket = listenSocket;
  stopEvent = event;
  g_listenerRecord = ListenerRecord{
      .window = FindWindowByCaption(kMainWindowCaption),
      .active = 1,
      .listenSocket = listenSocket,
      .localAddress = address,
      .peerAddress = {},
      .stopEvent = event,
  };
  return 1;
}

void BeginToolStage(int stage) {
  PostMessage(FindWindowByCaption(kMainWindowCaption), WM_CONVERT_STAGE, static_cast<WPARAM>(stage),
              0);
  try {
    listenerThread = std::thread(ProgressListenerThread, &g_listenerRecord);
  } catch (const std::system_error&) {
    // The tool runs without progress display; the stop closes the listening socket itself.
  }
}

void StopProgressListener() {
  if (stopEvent >= 0) eventfd_write(stopEvent, 1);
  if (listenerThread.joinable()) {
    listenerThread.join();  // the thread has closed the listening socket
  } else if (g_listenSocket != kInvalidSocket) {
    close(g_listenSocket);  // no thread took it over
  }
  if (stopEvent >= 0) close(stopEvent);
  stopEvent = -1;
  g_listenSocket = kInvalidSocket;
}

void ProgressListenerThread(ListenerRecord* record) {
  // Only this start's descriptors, taken once: the record belongs to the worker thread.
  const int listenSocket = record->listenSocket;
  const int stop = record->stopEvent;
  if (listenSocket == kInvalidSocket) return;  // this stage's start failed

  int connection = kInvalidSocket;
  if (WaitForInputOrStop(listenSocket, stop) == Wake::kInput) {
    connection = AcceptConnection(listenSocket);
  }
  // One connection per stage: a tool that connects later is refused.
  close(listenSocket);
  if (connection < 0) return;

  ShowReports(connection, stop);
  shutdown(connection, SHUT_RDWR);
  close(connection);
}
