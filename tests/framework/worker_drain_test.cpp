// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
#include "framework/worker_drain.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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

}  // namespace
}  // namespace pixhaul::test
