// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/qt_message_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
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
    QuitInnermostWait();
    return true;
  }
  if (event->type() == QEvent::MetaCall) {
    // A posted action: run it, then let a waiting caller go on as after a wake-up.
    const bool handled = QObject::event(event);
    QuitInnermostWait();
    return handled;
  }
  return QObject::event(event);
}

void QtMessagePump::Receiver::QuitInnermostWait() {
  // Waits nest (a handler run inside one wait may wait itself); only the innermost one is
  // running, the outer ones end when it has returned and their own deadline or wake-up came.
  if (!waitingLoops.empty()) waitingLoops.back()->quit();
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
  const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  if (remaining.count() <= 0) return;
  // A local event loop rather than one bare dispatcher pass: deferred deletions queued outside
  // any loop keep a bare pass from ever sleeping (it comes back at once, and the caller spins),
  // while a loop delivers them and then sleeps. The loop ends at the deadline or at the next
  // wake-up or posted action; whatever arrived meanwhile has been handled, which is harmless, as
  // the caller pumps next anyway.
  QEventLoop loop;
  QTimer deadlineTimer;
  deadlineTimer.setSingleShot(true);
  deadlineTimer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&deadlineTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
  deadlineTimer.start(static_cast<int>(std::min<long long>(remaining.count(), 1 << 30)));
  receiver_.waitingLoops.push_back(&loop);
  loop.exec();
  receiver_.waitingLoops.pop_back();
}

void QtMessagePump::Wake() {
  // postEvent is safe from any thread; the event is delivered on the receiver's (GUI) thread.
  QCoreApplication::postEvent(&receiver_, new QEvent(kWakeEvent));
}

void QtMessagePump::Post(std::function<void()> action) {
  QMetaObject::invokeMethod(&receiver_, std::move(action), Qt::QueuedConnection);
}

}  // namespace pixhaul
