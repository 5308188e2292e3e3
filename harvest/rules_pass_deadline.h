// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// RulesPassDeadline: when a pass of a site's rules over a page must end. A pass reads the page
// with one rule after the other and may take kRulesPassTimeLimit in all; then the rule that is
// running stops, as one stopped by the engine's limits does, so that no expression and no page
// can hold a run however they meet. The clock is read between two searches (each bounded by
// the engine's limits and by the text it is given), so a pass ends soon after its time.
// A value; any thread.
//
// Tests: tests/harvest/rules_scan_test.cpp.
#pragma once

#include <time.h>

#include <chrono>
#include <string>

namespace pixhaul {

inline constexpr std::chrono::milliseconds kRulesPassTimeLimit{10'000};

class RulesPassDeadline {
 public:
  // A pass that starts now and may take `limit`.
  explicit RulesPassDeadline(std::chrono::milliseconds limit = kRulesPassTimeLimit)
      : limit_(limit), end_(Now() + limit) {}

  bool Passed() const { return Now() >= end_; }

  // How a report says that `name`'s expression was running when the time was up: "NAME: the
  // expression stopped at the time limit of the rules (10 s)".
  std::string Stopped(const std::string& name) const;

 private:
  // The monotonic clock as the kernel last ticked it: a few milliseconds behind at most, and a
  // fraction of the cost of the exact one, which a scan would read hundreds of thousands of
  // times a page.
  static std::chrono::nanoseconds Now() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
  }

  std::chrono::milliseconds limit_;
  std::chrono::nanoseconds end_;
};

}  // namespace pixhaul
