#include "app/qt_message_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <atomic>

#include "platform/window_messages.h"

namespace {

// Takes the wake-up events on the interface thread. It never looks at them: each one only means
// "dispatch now". The event is made on the waking thread and handed over inside Qt, whose locks no
// race detector sees, so none of our code touches its memory.
class DispatchReceiver : public QObject {
 public:
  using QObject::QObject;
  bool event(QEvent*) override {
    pending.store(false);
    DispatchMessages();
    return true;
  }
  // One queued dispatch at a time is enough: it handles everything queued until it runs.
  std::atomic<bool> pending{false};
};

// Lives as long as the application, so that a wake still on its way after the pump has unhooked
// finds a receiver.
DispatchReceiver* Receiver() {
  static DispatchReceiver* receiver = new DispatchReceiver(QCoreApplication::instance());
  return receiver;
}

}  // namespace

QtMessagePump::QtMessagePump() {
  DispatchReceiver* receiver = Receiver();
  EventLoopHooks hooks;
  hooks.wake = [receiver] {
    if (receiver->pending.exchange(true)) return;
    QCoreApplication::postEvent(receiver, new QEvent(QEvent::User));
  };
  hooks.runUntil = [](const std::function<bool()>& done) {
    // Every wake posts an event, so each round returns after one and done() is looked at again.
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  };
  HookEventLoop(std::move(hooks));
}

QtMessagePump::~QtMessagePump() { HookEventLoop({}); }
