// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The Qt message pump: hand-offs from workers run on the GUI thread when it pumps, waits end at
// their deadline without spinning and end early when woken, posted actions run on the GUI
// thread.
#include <QtTest>
#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "framework/thread.h"
#include "tests/app/app_test_support.h"

using namespace pixhaul;
using Clock = std::chrono::steady_clock;

namespace {

// Pumps until `done` or 10 s; true when done.
template <class Done>
bool PumpUntil(Done done) {
  MessagePump& pump = CurrentMessagePump();
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!done() && Clock::now() < deadline) {
    pump.WaitForMessages(std::min(deadline, Clock::now() + std::chrono::milliseconds(500)));
    pump.ProcessMessages();
  }
  return done();
}

double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

}  // namespace

class QtMessagePumpTest : public QObject {
  Q_OBJECT

 private slots:
  void workerHandOffRunsOnTheGuiThreadWhenItPumps() {
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
      TThread::Synchronize([&] { ranOnMain = IsMainThread(); });
      workerDone = true;
    });
    QVERIFY(PumpUntil([&] { return workerDone.load(); }));
    worker.join();
    QVERIFY(ranOnMain);
  }

  void waitEndsAtTheDeadlineWithoutSpinning_data() {
    QTest::addColumn<bool>("deleteLaterPending");
    QTest::newRow("nothing pending") << false;
    // An object deleted later outside any event loop stays queued; it must not keep the
    // dispatcher from sleeping.
    QTest::newRow("deleteLater pending") << true;
  }
  void waitEndsAtTheDeadlineWithoutSpinning() {
    QFETCH(bool, deleteLaterPending);
    MessagePump& pump = CurrentMessagePump();
    pump.ProcessMessages();
    if (deleteLaterPending) (new QObject)->deleteLater();
    const double cpuBefore = ThreadCpuMs();
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(500);
    int waits = 0;
    while (Clock::now() < deadline) {
      pump.WaitForMessages(deadline);
      ++waits;
    }
    const double cpuUsed = ThreadCpuMs() - cpuBefore;
    // A spinning wait comes back thousands of times and burns the whole half second.
    QVERIFY2(waits < 50, qPrintable(QString::number(waits)));
    QVERIFY2(cpuUsed < 100, qPrintable(QString::number(cpuUsed)));
    QVERIFY(Clock::now() - start < std::chrono::seconds(5));
  }

  void wakeEndsAWaitEarly() {
    MessagePump& pump = CurrentMessagePump();
    pump.ProcessMessages();
    std::thread waker([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      pump.Wake();
    });
    const auto start = Clock::now();
    pump.WaitForMessages(start + std::chrono::seconds(20));
    const auto waited = Clock::now() - start;
    waker.join();
    QVERIFY(waited < std::chrono::seconds(10));
  }

  void postedActionRunsOnTheGuiThread() {
    std::atomic<int> runs{0};
    std::atomic<bool> onMain{false};
    std::thread poster([&] {
      CurrentMessagePump().Post([&] {
        onMain = IsMainThread();
        ++runs;
      });
    });
    poster.join();
    QVERIFY(PumpUntil([&] { return runs.load() == 1; }));
    QVERIFY(onMain);
  }

  void pastDeadlineReturnsAtOnce() {
    const auto start = Clock::now();
    CurrentMessagePump().WaitForMessages(start - std::chrono::seconds(1));
    QVERIFY(Clock::now() - start < std::chrono::seconds(1));
  }
};

PIXHAUL_APP_TEST_MAIN(QtMessagePumpTest)
#include "qt_message_pump_test.moc"
