// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
#include "framework/thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/exception.h"
#include "framework/headless_pump.h"
#include "framework/message_pump.h"

namespace pixhaul::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Pumps the installed pump on the main thread until `done` holds or 10 s pass.
bool PumpUntil(const std::function<bool()>& done) {
  const auto giveUp = Clock::now() + std::chrono::seconds(10);
  for (;;) {
    CurrentMessagePump().ProcessMessages();
    if (done()) return true;
    if (Clock::now() >= giveUp) return false;
    CurrentMessagePump().WaitForMessages(std::min(giveUp, Clock::now() + milliseconds(50)));
  }
}

// Waits without pumping until `done` holds or 10 s pass.
bool WaitUntil(const std::function<bool()>& done) {
  const auto giveUp = Clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (Clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

// A worker running a given body.
class LambdaThread : public TThread {
 public:
  explicit LambdaThread(std::function<void()> body, bool freeOnTerminate = false)
      : body_(std::move(body)) {
    SetFreeOnTerminate(freeOnTerminate);
  }

 protected:
  void Execute() override { body_(); }

 private:
  std::function<void()> body_;
};

TEST(Synchronize, QueuedActionsRunOnTheMainThreadInQueueOrder) {
  ASSERT_TRUE(IsMainThread());
  const int kWorkers = 6;
  std::vector<int> order;  // main thread only
  std::atomic<int> wrongThread{0};
  std::vector<std::unique_ptr<LambdaThread>> workers;
  std::vector<std::atomic<bool>> ranBeforeReturn(kWorkers);
  for (int i = 0; i < kWorkers; ++i) {
    auto ran = std::make_shared<std::atomic<bool>>(false);
    workers.emplace_back(TThread::Spawn<LambdaThread>(false, [&, i, ran] {
      TThread::Synchronize([&, i, ran] {
        if (!IsMainThread()) ++wrongThread;
        order.push_back(i);
        *ran = true;
      });
      ranBeforeReturn[i] = ran->load();
    }));
    // Hold the main thread back until this worker's hand-off is queued, so the queue order is
    // known: 0, 1, 2, ...
    ASSERT_TRUE(WaitUntil([&] { return PendingHandOffs() == static_cast<size_t>(i + 1); }));
  }
  for (const auto& worker : workers) EXPECT_FALSE(worker->Finished()) << "blocked until run";
  CurrentMessagePump().ProcessMessages();
  for (const auto& worker : workers) worker->WaitFor();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(wrongThread, 0);
  for (int i = 0; i < kWorkers; ++i) EXPECT_TRUE(ranBeforeReturn[i]) << "worker " << i;
}

TEST(Synchronize, ManyWorkersAtOnceWhileTheMainThreadPumps) {
  const int kWorkers = 8;
  const int kCalls = 40;
  std::vector<std::vector<int>> seen(kWorkers);  // main thread only
  std::atomic<int> wrongThread{0};
  std::atomic<int> finished{0};
  for (int w = 0; w < kWorkers; ++w) {
    TThread::Spawn<LambdaThread>(
        false,
        [&, w] {
          for (int call = 0; call < kCalls; ++call) {
            TThread::Synchronize([&, w, call] {
              if (!IsMainThread()) ++wrongThread;
              seen[w].push_back(call);
            });
          }
          ++finished;
        },
        true);
  }
  ASSERT_TRUE(PumpUntil([&] { return finished == kWorkers; }));
  ASSERT_TRUE(TThread::WaitForAllThreadObjects(10000));
  EXPECT_EQ(wrongThread, 0);
  std::vector<int> expected(kCalls);
  for (int call = 0; call < kCalls; ++call) expected[call] = call;
  for (int w = 0; w < kWorkers; ++w) EXPECT_EQ(seen[w], expected) << "worker " << w;
}

TEST(Synchronize, ActionExceptionIsRaisedAgainInTheWorker) {
  std::string caught;
  std::unique_ptr<LambdaThread> worker(TThread::Spawn<LambdaThread>(false, [&] {
    try {
      TThread::Synchronize([] { throw EFCreateError(CannotCreateFileMessage("/x/log.txt")); });
    } catch (const EFCreateError& e) {
      caught = e.Message();
    }
  }));
  ASSERT_TRUE(PumpUntil([&] { return worker->Finished(); }));
  worker->WaitFor();
  EXPECT_EQ(caught, "Cannot create file /x/log.txt");
  EXPECT_FALSE(worker->FatalException());
}

TEST(Synchronize, OnTheMainThreadRunsAtOnceWithoutQueueing) {
  bool ran = false;
  TThread::Synchronize([&] {
    ran = true;
    EXPECT_EQ(PendingHandOffs(), 0u);
  });
  EXPECT_TRUE(ran);
  EXPECT_THROW(TThread::Synchronize([] { throw EThread("direct"); }), EThread);
}

TEST(Synchronize, ActionThatPostsAndSynchronizesFromMainDoesNotDeadlock) {
  bool posted = false;
  bool nested = false;
  std::unique_ptr<LambdaThread> worker(TThread::Spawn<LambdaThread>(false, [&] {
    TThread::Synchronize([&] {
      CurrentMessagePump().Post([&] { posted = true; });
      TThread::Synchronize([&] { nested = true; });
      CurrentMessagePump().ProcessMessages();  // a pump nested inside a hand-off
    });
  }));
  ASSERT_TRUE(PumpUntil([&] { return worker->Finished() && posted; }));
  worker->WaitFor();
  EXPECT_TRUE(nested);
}

TEST(Synchronize, WakesTheInstalledPump) {
  class CountingPump : public HeadlessMessagePump {
   public:
    void Wake() override {
      ++wakes;
      HeadlessMessagePump::Wake();
    }
    std::atomic<int> wakes{0};
  } pump;
  InstallMessagePump(&pump);
  pump.wakes = 0;
  std::unique_ptr<LambdaThread> worker(
      TThread::Spawn<LambdaThread>(false, [] { TThread::Synchronize([] {}); }));
  const bool done = PumpUntil([&] { return worker->Finished(); });
  worker->WaitFor();
  InstallMessagePump(nullptr);
  ASSERT_TRUE(done);
  EXPECT_GE(pump.wakes, 1);
}

TEST(CheckSynchronize, OffTheMainThreadRaisesWithTheThreadId) {
  std::string message;
  std::string expected;
  std::thread other([&] {
    expected = NotMainThreadMessage(static_cast<unsigned long>(::gettid()));
    try {
      CheckSynchronize();
    } catch (const EThread& e) {
      message = e.Message();
    }
  });
  other.join();
  EXPECT_EQ(message, expected);
  const std::string prefix = "CheckSynchronize called from thread $";
  const std::string suffix = ", which is NOT the main thread";
  ASSERT_GT(message.size(), prefix.size() + suffix.size()) << message;
  EXPECT_EQ(message.substr(0, prefix.size()), prefix);
  EXPECT_EQ(message.substr(message.size() - suffix.size()), suffix);
  const std::string id =
      message.substr(prefix.size(), message.size() - prefix.size() - suffix.size());
  EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << message;
  EXPECT_FALSE(CheckSynchronize()) << "nothing queued on the main thread";
}

TEST(TThread, FreeOnTerminateThreadDeletesItselfOnItsOwnThread) {
  static std::atomic<bool> destroyed{false};
  static std::atomic<bool> destroyedOnWorker{false};
  class SelfFreeing : public TThread {
   public:
    SelfFreeing() { SetFreeOnTerminate(true); }
    ~SelfFreeing() override {
      destroyedOnWorker = !IsMainThread();
      destroyed = true;
    }

   protected:
    void Execute() override {
      Synchronize([] {});
    }
  };
  ASSERT_TRUE(TThread::WaitForAllThreadObjects(5000));
  TThread::Spawn<SelfFreeing>(false);
  // Counted from construction; it cannot end before the main thread takes its hand-off.
  EXPECT_EQ(TThread::LiveThreadObjects(), 1);
  // The main thread runs the worker's hand-off while it waits.
  ASSERT_TRUE(TThread::WaitForAllThreadObjects(10000));
  EXPECT_EQ(TThread::LiveThreadObjects(), 0);
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(destroyedOnWorker);
}

TEST(TThread, EscapedExceptionIsKeptAndTerminationHookRunsAfter) {
  class Failing : public TThread {
   public:
    std::atomic<bool> hookSawException{false};
    std::atomic<bool> hookOnWorker{false};

   protected:
    void Execute() override { throw EFOpenError(CannotOpenFileMessage("page.txt")); }
    void DoTerminate() override {
      hookSawException = static_cast<bool>(FatalException());
      hookOnWorker = !IsMainThread();
    }
  };
  std::unique_ptr<Failing> worker(TThread::Spawn<Failing>(false));
  worker->WaitFor();
  ASSERT_TRUE(worker->FatalException());
  try {
    std::rethrow_exception(worker->FatalException());
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file page.txt");
  }
  EXPECT_TRUE(worker->hookSawException);
  EXPECT_TRUE(worker->hookOnWorker);
}

TEST(TThread, SuspendedThreadRunsOnlyAfterStart) {
  std::atomic<bool> ran{false};
  const int before = TThread::LiveThreadObjects();
  {
    std::unique_ptr<LambdaThread> worker(TThread::Spawn<LambdaThread>(true, [&] { ran = true; }));
    EXPECT_EQ(TThread::LiveThreadObjects(), before + 1);
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_FALSE(ran);
    worker->Start();
    worker->WaitFor();
    EXPECT_TRUE(ran);
  }
  {
    // Never started: deleting it is enough.
    std::unique_ptr<LambdaThread> idle(TThread::Spawn<LambdaThread>(true, [] {}));
  }
  EXPECT_EQ(TThread::LiveThreadObjects(), before);
}

TEST(TThread, WaitForOnTheMainThreadRunsTheWorkersHandOffs) {
  int value = 0;
  std::unique_ptr<LambdaThread> worker(TThread::Spawn<LambdaThread>(false, [&] {
    for (int i = 0; i < 5; ++i) TThread::Synchronize([&] { ++value; });
  }));
  worker->WaitFor();  // would deadlock if it did not run the hand-offs
  EXPECT_EQ(value, 5);
}

TEST(TThread, WaitForAllThreadObjectsTimesOut) {
  std::atomic<bool> release{false};
  std::unique_ptr<LambdaThread> worker(TThread::Spawn<LambdaThread>(false, [&] {
    while (!release) std::this_thread::sleep_for(milliseconds(1));
  }));
  const auto start = Clock::now();
  EXPECT_FALSE(TThread::WaitForAllThreadObjects(100));
  EXPECT_GE(Clock::now() - start, milliseconds(100));
  release = true;
  worker->WaitFor();
}

TEST(HeadlessMessagePump, WakeBeforeWaitIsNotLost) {
  HeadlessMessagePump pump;
  pump.ProcessMessages();
  pump.Wake();
  const auto start = Clock::now();
  pump.WaitForMessages(Clock::now() + std::chrono::seconds(10));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(HeadlessMessagePump, WaitEndsAtTheDeadlineWhenNothingArrives) {
  HeadlessMessagePump pump;
  pump.ProcessMessages();
  const auto start = Clock::now();
  pump.WaitForMessages(start + milliseconds(80));
  EXPECT_GE(Clock::now() - start, milliseconds(80));
}

TEST(HeadlessMessagePump, PostFromAnotherThreadWakesAndRunsOnMain) {
  HeadlessMessagePump pump;
  pump.ProcessMessages();
  std::vector<int> ran;  // main thread only
  std::atomic<int> offMain{0};
  std::thread poster([&] {
    std::this_thread::sleep_for(milliseconds(20));
    for (int i = 0; i < 3; ++i) {
      pump.Post([&, i] {
        if (!IsMainThread()) ++offMain;
        ran.push_back(i);
      });
    }
  });
  const auto giveUp = Clock::now() + std::chrono::seconds(10);
  while (ran.size() < 3 && Clock::now() < giveUp) {
    pump.WaitForMessages(giveUp);
    pump.ProcessMessages();
  }
  poster.join();
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(offMain, 0);
}

TEST(HeadlessMessagePump, ActionPostedWhilePumpingRunsInTheSamePump) {
  HeadlessMessagePump pump;
  int count = 0;
  pump.Post([&] {
    ++count;
    pump.Post([&] { ++count; });
  });
  pump.ProcessMessages();
  EXPECT_EQ(count, 2);
}

}  // namespace
}  // namespace pixhaul::test
