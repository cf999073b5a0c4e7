#include "platform/message_box.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/window_messages.h"

namespace {

// The only message the presenter's hidden window knows: lParam points to the text.
constexpr UINT kShowText = WM_USER;

std::mutex g_presenterMutex;
WindowHandle g_presenterWindow = 0;  // 0 while the default presenter is in use

void WriteToStandardError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  // A box needs no line end; a console line does, or the next output runs into it.
  if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace

void SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  WindowHandle window = 0;
  if (presenter) {
    window = CreateMessageWindow("", [presenter = std::move(presenter)](UINT message, WPARAM, LPARAM lParam) -> LRESULT {
      if (message != kShowText) return 0;
      presenter(*reinterpret_cast<const std::string*>(lParam));
      return 1;
    });
  }
  WindowHandle previous;
  {
    std::lock_guard lock(g_presenterMutex);
    previous = std::exchange(g_presenterWindow, window);
  }
  // The previous presenter may belong to another thread; destroying a window from outside its owner
  // is safe here, it only releases whoever still waits on it.
  DestroyMessageWindow(previous);
}

void ShowMessageBox(const std::string& text) {
  WindowHandle window;
  {
    std::lock_guard lock(g_presenterMutex);
    window = g_presenterWindow;
  }
  // A presenter whose thread has ended answers 0; the text must not be lost then either.
  if (window != 0 && SendMessage(window, kShowText, 0, reinterpret_cast<LPARAM>(&text)) != 0) return;
  WriteToStandardError(text);
}
