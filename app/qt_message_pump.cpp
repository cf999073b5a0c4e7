#include "app/qt_message_pump.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "platform/window_messages.h"

QtMessagePump::QtMessagePump() : dispatchPending_(std::make_shared<std::atomic<bool>>(false)) {
  EventLoopHooks hooks;
  hooks.wake = [pending = dispatchPending_] {
    // One queued dispatch at a time is enough: it handles everything queued until it runs.
    if (pending->exchange(true)) return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [pending] {
          pending->store(false);
          DispatchMessages();
        },
        Qt::QueuedConnection);
  };
  hooks.runUntil = [](const std::function<bool()>& done) {
    // Every wake posts an event, so each round returns after one and done() is looked at again.
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  };
  HookEventLoop(std::move(hooks));
}

QtMessagePump::~QtMessagePump() { HookEventLoop({}); }
