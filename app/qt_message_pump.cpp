#include "app/qt_message_pump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>

#include "framework/thread.h"

namespace pixhaul {

namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

bool QtMessagePump::Receiver::event(QEvent* event) {
  if (event->type() == kWakeEvent) {
    CheckSynchronize();
    return true;
  }
  return QObject::event(event);
}

QtMessagePump::QtMessagePump() = default;

QtMessagePump::~QtMessagePump() {
  if (&CurrentMessagePump() == this) InstallMessagePump(nullptr);
}

void QtMessagePump::ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  // A hand-off queued after its wake-up event was handled still runs now, not at the next one.
  CheckSynchronize();
}

void QtMessagePump::WaitForMessages(Clock::time_point deadline) {
  const auto remaining =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (remaining <= 0) return;
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  if (!dispatcher) return;
  // The dispatcher blocks until some event source is ready; the timer is one such source, so
  // the wait ends at the deadline at the latest. Whatever woke it has then been dispatched,
  // which is harmless: the caller pumps next anyway.
  QTimer deadlineTimer;
  deadlineTimer.setSingleShot(true);
  deadlineTimer.setTimerType(Qt::PreciseTimer);
  deadlineTimer.start(static_cast<int>(std::min<long long>(remaining, 1 << 30)));
  dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
}

void QtMessagePump::Wake() {
  // postEvent is safe from any thread; the event is delivered on the receiver's (GUI) thread.
  QCoreApplication::postEvent(&receiver_, new QEvent(kWakeEvent));
}

void QtMessagePump::Post(std::function<void()> action) {
  QMetaObject::invokeMethod(&receiver_, std::move(action), Qt::QueuedConnection);
}

}  // namespace pixhaul
