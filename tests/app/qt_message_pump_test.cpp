// The Qt message pump: hand-offs from workers run on the GUI thread when it pumps, waits end at
// their deadline without spinning and end early when woken, posted actions run on the GUI
// thread.
#include <QtTest>
#include <atomic>
#include <chrono>
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

  void waitEndsAtTheDeadlineWithoutSpinning() {
    MessagePump& pump = CurrentMessagePump();
    pump.ProcessMessages();
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(300);
    int waits = 0;
    while (Clock::now() < deadline) {
      pump.WaitForMessages(deadline);
      ++waits;
    }
    // A spinning wait would come back many thousand times in 300 ms.
    QVERIFY2(waits < 50, qPrintable(QString::number(waits)));
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
