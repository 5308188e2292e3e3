// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The read guard's arithmetic, replayed with exact arrival times: a wait may last the read limit,
// never past the moment some span of twice the limit would hold fewer than 1,024 bytes.
#include "http/socket/read_rate_guard.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace pixhaul::test {
namespace {

using Clock = TIdReadRateGuard::Clock;
constexpr int kLimitMs = 1000;

TEST(TIdReadRateGuard, WaitLimitFollowsTheSlowestSpan) {
  struct Case {
    std::string name;
    std::vector<std::pair<int, uint64_t>> arrivals;  // (ms after the restart, bytes)
    int atMs;
    int expected;
    int deadlineMs = -1;  // after the restart; none when negative
  };
  const std::vector<Case> cases = {
      {"nothing yet: the silence limit", {}, 0, 1000},
      {"nothing yet, late in the first span", {}, 1500, 500},
      {"nothing in twice the limit", {}, 2000, 0},
      {"a few bytes do not buy time", {{100, 10}, {900, 10}, {1700, 10}}, 1800, 200},
      {"1,023 bytes in twice the limit", {{0, 1023}}, 2000, 0},
      {"1,024 bytes restart the span at their arrival", {{500, 1024}}, 2000, 500},
      {"a large block alone fills the span", {{1900, 65536}}, 2000, 1000},
      // The 1,024th most recent byte arrived at 0 ms, inside the arrival of 600.
      {"the span reaches back to the 1,024th byte", {{0, 600}, {1000, 600}}, 1500, 500},
      {"older arrivals drop out", {{0, 600}, {1000, 600}, {1800, 500}}, 2500, 500},
      {"a steady trickle runs out", {{0, 100}, {400, 100}, {800, 100}, {1200, 100}}, 1900, 100},
      // The deadline ends every wait, however fast the bytes come.
      {"the deadline cuts a wait short", {{700, 65536}}, 800, 200, 1000},
      {"past the deadline no wait is left", {{900, 65536}}, 1200, 0, 1000},
      {"a later deadline changes nothing", {{100, 10}}, 500, 1000, 60000},
  };
  for (const Case& c : cases) {
    const Clock::time_point start = Clock::now();
    TIdReadRateGuard guard(kLimitMs);
    guard.Restart(start);
    if (c.deadlineMs >= 0) guard.SetDeadline(start + std::chrono::milliseconds(c.deadlineMs));
    uint64_t total = 0;
    for (const auto& [atMs, bytes] : c.arrivals) {
      guard.Count(bytes, start + std::chrono::milliseconds(atMs));
      total += bytes;
    }
    EXPECT_EQ(guard.WaitLimitMs(start + std::chrono::milliseconds(c.atMs)), c.expected) << c.name;
    EXPECT_EQ(guard.SpanBytes(), total) << c.name;
  }
}

TEST(TIdReadRateGuard, RestartForgetsTheEarlierSpan) {
  const Clock::time_point start = Clock::now();
  TIdReadRateGuard guard(kLimitMs);
  guard.Restart(start);
  guard.SetDeadline(start + std::chrono::milliseconds(4950));
  guard.Count(5000, start);
  guard.Restart(start + std::chrono::milliseconds(3000));
  EXPECT_EQ(guard.SpanBytes(), 0u);
  // The new span has nothing yet; 1.9 s into it only 100 ms are left, and the deadline, which
  // a restart keeps, leaves 50.
  EXPECT_EQ(guard.WaitLimitMs(start + std::chrono::milliseconds(4900)), 50);
  EXPECT_FALSE(guard.DeadlinePassed(start + std::chrono::milliseconds(4900)));
  EXPECT_TRUE(guard.DeadlinePassed(start + std::chrono::milliseconds(4950)));
}

TEST(TIdReadRateGuard, NoReadLimitMeansNoLimit) {
  TIdReadRateGuard guard(0);
  guard.Restart();
  EXPECT_EQ(guard.WaitLimitMs(Clock::now() + std::chrono::hours(1)), TIdReadRateGuard::kNoLimit);
  const Clock::time_point now = Clock::now();
  guard.SetDeadline(now + std::chrono::milliseconds(300));
  EXPECT_EQ(guard.WaitLimitMs(now), 300) << "a deadline bounds even an unlimited read";
  guard.SetDeadline(std::nullopt);
  guard.SetReadTimeoutMs(kLimitMs);
  EXPECT_LE(guard.WaitLimitMs(), kLimitMs);
}

}  // namespace
}  // namespace pixhaul::test
