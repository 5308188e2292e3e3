// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
#include "framework/worker_drain.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

#include "framework/headless_pump.h"
#include "framework/message_pump.h"
#include "framework/thread.h"

namespace pixhaul::test {
namespace {

using namespace std::chrono_literals;

TEST(WaitForWorkersToDrain, PumpsHandOffsUntilDrainedOrTheLimit) {
  // Without a limit: the worker's hand-off runs inside the wait, which then ends.
  bool handedIn = false;  // main thread only
  std::thread worker([&handedIn] {
    std::this_thread::sleep_for(20ms);
    TThread::Synchronize([&handedIn] { handedIn = true; });
  });
  EXPECT_TRUE(WaitForWorkersToDrain([&handedIn] { return handedIn; }, kDrainWithoutLimit));
  worker.join();

  // Never drained: the wait gives up once its limit has passed.
  EXPECT_FALSE(WaitForWorkersToDrain([] { return false; }, 30ms));

  // Drained already: nothing is pumped, a caller on its way out runs no other action.
  bool ran = false;
  CurrentMessagePump().Post([&ran] { ran = true; });
  EXPECT_TRUE(WaitForWorkersToDrain([] { return true; }, 0ms));
  EXPECT_FALSE(ran);
  CurrentMessagePump().ProcessMessages();
  EXPECT_TRUE(ran);
}

// A thread object that frees itself once `body` has run, handing nothing to the main thread.
class SelfFreeingThread : public TThread {
 public:
  explicit SelfFreeingThread(std::function<void()> body) : body_(std::move(body)) {
    SetFreeOnTerminate(true);
  }

 protected:
  void Execute() override { body_(); }

 private:
  std::function<void()> body_;
};

// The pump is told of the end of a thread object, so the wait sleeps until then: every sleep
// runs to the wait's own limit, none to a shorter tick that looks at the condition again.
TEST(WaitForWorkersToDrain, WakesAtTheEndOfAThreadObjectWithoutPolling) {
  class RecordingPump : public HeadlessMessagePump {
   public:
    void WaitForMessages(Clock::time_point deadline) override {
      {
        std::lock_guard lock(mutex);
        deadlines.push_back(deadline);
      }
      waiting.release();
      HeadlessMessagePump::WaitForMessages(deadline);
    }
    std::mutex mutex;
    std::vector<Clock::time_point> deadlines;  // guarded by mutex
    std::counting_semaphore<> waiting{0};
  } pump;
  InstallMessagePump(&pump);
  ASSERT_EQ(TThread::LiveThreadObjects(), 0);
  // The thread ends once the main thread sleeps in the wait.
  TThread::Spawn<SelfFreeingThread>(false, [&pump] { pump.waiting.acquire(); });
  const auto before = MessagePump::Clock::now();
  const bool drained = WaitForWorkersToDrain([] { return TThread::LiveThreadObjects() == 0; }, 20s);
  InstallMessagePump(nullptr);
  EXPECT_TRUE(drained);
  std::lock_guard lock(pump.mutex);
  ASSERT_FALSE(pump.deadlines.empty());
  for (const MessagePump::Clock::time_point deadline : pump.deadlines) {
    EXPECT_GE(deadline, before + 20s);
  }
}

}  // namespace
}  // namespace pixhaul::test
