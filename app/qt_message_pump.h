// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// QtMessagePump: the message pump of the desktop program, over the Qt event loop.
//
// ProcessMessages handles the pending Qt events and then the queued worker hand-offs;
// WaitForMessages runs a local event loop (the GUI stays responsive, nothing spins) until the
// deadline passes or a wake-up or posted action arrives; Wake posts an event that makes the GUI
// thread run the hand-offs; Post queues an action for the GUI thread. Create it on the GUI thread
// after the QApplication, install it with InstallMessagePump, and keep it alive until every worker
// thread is gone (it uninstalls itself when destroyed). Wake and Post may be called from any
// thread.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <functional>
#include <vector>

#include "framework/message_pump.h"

namespace pixhaul {

class QtMessagePump final : public MessagePump {
 public:
  QtMessagePump();
  ~QtMessagePump() override;
  QtMessagePump(const QtMessagePump&) = delete;
  QtMessagePump& operator=(const QtMessagePump&) = delete;

  void ProcessMessages() override;
  void WaitForMessages(Clock::time_point deadline) override;
  void Wake() override;
  void Post(std::function<void()> action) override;

 private:
  // Lives on the GUI thread; receives the wake-up events and the posted actions.
  class Receiver : public QObject {
   public:
    bool event(QEvent* event) override;
    void QuitInnermostWait();
    std::vector<QEventLoop*> waitingLoops;  // the running waits, innermost last
  };
  Receiver receiver_;
};

}  // namespace pixhaul
