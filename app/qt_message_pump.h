#pragma once

// Hooks the platform's window messages of the interface thread into Qt's event loop, so that every loop
// that runs on that thread (the wait for a worker, message boxes, the about box, the file dialogs)
// answers the messages the worker and the listener send.

class QtMessagePump {
 public:
  QtMessagePump();   // hooks the calling thread, which must be Qt's main thread
  ~QtMessagePump();  // unhooks it
  QtMessagePump(const QtMessagePump&) = delete;
  QtMessagePump& operator=(const QtMessagePump&) = delete;
};
