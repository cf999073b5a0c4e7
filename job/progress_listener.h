#pragma once

// The progress listener of the three tool stages. While a tool runs, one TCP connection on
// 127.0.0.1:5000 carries its plain-text reports ("cur:" and "Total:" followed by a number); each
// receive is one report and becomes a PBM_SETRANGE and a PBM_SETPOS sent to g_progressBar.
//
// Calling order, all on the job's worker thread, for each stage: StartProgressListener,
// BeginToolStage, the tool run to its end, StopProgressListener. The stop waits for the stage's
// listener thread, which may itself be waiting for the progress bar's thread to take a message: the
// stop must therefore never run on the thread that owns g_progressBar's window, and that thread
// keeps dispatching while a job runs.

#include <netinet/in.h>

#include <cstdint>

#include "platform/window_messages.h"

inline constexpr int kInvalidSocket = -1;

// What a start hands to its stage's listener thread.
struct ListenerRecord {
  WindowHandle window = 0;  // the window captioned "Frameloom" at the start, or 0
  std::int32_t active = 0;  // 1 once a start has succeeded
  int listenSocket = kInvalidSocket;
  sockaddr_in localAddress{};  // 127.0.0.1:5000
  sockaddr_in peerAddress{};   // never asked for; stays zero
  int stopEvent = -1;          // signalled by the stop to wake the thread
};

// The listening socket of the current start; kInvalidSocket when the last start failed or after a
// stop.
extern int g_listenSocket;
// Rewritten by every successful start; a failed start leaves no descriptor in it.
extern ListenerRecord g_listenerRecord;

// 1 when a socket listens on 127.0.0.1:5000 and g_listenerRecord is filled, 0 on any failure (for
// example another program listening on the port).
int StartProgressListener();
// Posts WM_CONVERT_STAGE (stage, 0) to the window captioned "Frameloom" and starts the stage's
// listener thread on g_listenerRecord.
void BeginToolStage(int stage);
// Closes what the start opened and waits for the stage's listener thread to end. Reports that had
// already arrived are still shown; a connection the tool left open does not hold the stop.
void StopProgressListener();

// The listener thread: takes one connection on the record's socket and turns its reports into
// progress messages until the tool closes it or the stop ends the stage.
void ProgressListenerThread(ListenerRecord* record);
