#pragma once

// Window messages between threads, the way the job talks to its front end.
//
// A window is a handler owned by the thread that created it. Any thread may post (queue and return)
// or send (block until the owner has handled it and take the handler's result) a message to it.
// Queued posts and sends are handled in arrival order whenever the owner dispatches. A send from the
// owning thread calls the handler directly. A send to a window that does not exist, or that is
// destroyed while the sender waits, returns 0 at once.
//
// A thread whose own event loop runs (Qt's) hooks that loop in with HookEventLoop, so that every loop
// running on it, nested ones included, answers the messages; a thread without one (the console front
// end) dispatches in WaitWithMessages.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// 0 names no window. Handles are never reused within a process, so a stale one names nothing.
using WindowHandle = std::uint64_t;

inline constexpr UINT WM_CLOSE = 0x0010;                // a request to close the window
inline constexpr UINT WM_USER = 1024;
inline constexpr UINT WM_CONVERT_STAGE = WM_USER + 200;  // 1224: first parameter the stage 0 to 4
inline constexpr UINT PBM_SETRANGE = WM_USER + 1;        // 1025: second parameter max << 16 | min
inline constexpr UINT PBM_SETPOS = WM_USER + 2;          // 1026: first parameter the position
inline constexpr UINT PBM_DELTAPOS = WM_USER + 3;        // 1027: first parameter the amount

using WindowProc = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

// Creates a window owned by the calling thread. A top-level window is found by its caption; an empty
// caption makes a window that only its handle reaches (a control).
WindowHandle CreateMessageWindow(std::string caption, WindowProc proc);
// Only the owning thread destroys its window. Senders still waiting on it return 0.
void DestroyMessageWindow(WindowHandle window);
// The newest existing window with this caption, or 0.
WindowHandle FindWindowByCaption(std::string_view caption);

// Queues the message and returns at once; false when the window does not exist.
bool PostMessage(WindowHandle window, UINT message, WPARAM wParam, LPARAM lParam);
// Returns the handler's result, or 0 when the window does not exist or goes away meanwhile.
LRESULT SendMessage(WindowHandle window, UINT message, WPARAM wParam, LPARAM lParam);

// Handles every message queued so far for the calling thread's windows.
void DispatchMessages();

// How a thread's own event loop is driven from here.
struct EventLoopHooks {
  // Called from any thread whenever work is queued for the hooked thread (a message, or the end of a
  // thread it waits for): the loop must soon call DispatchMessages on its own thread.
  std::function<void()> wake;
  // Runs the loop on the hooked thread until done() holds; done() is checked again after each wake.
  std::function<void(const std::function<bool()>& done)> runUntil;
};
// Hooks the calling thread's event loop in; an empty EventLoopHooks unhooks it.
void HookEventLoop(EventLoopHooks hooks);
