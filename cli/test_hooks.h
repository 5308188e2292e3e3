// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Hidden settings for the soak and end-to-end tests of pixhaul-cli, read from the environment
// and documented only here and in the developers' notes:
//
//   PIXHAUL_TEST_TIMINGS="startPause,limit,throttle,grace,stopWait"
//       the run's start pause (ms), live-worker limit, throttle period (ms), closing grace
//       period (ms) and stop wait (ms), in place of 100,50,3000,5000,3000
//   PIXHAUL_TEST_IO_TIMEOUT_MS=N
//       the connect and read time limits of every HTTP connection, in place of 30000; each
//       download's 10-minute limit and the wait for downloads still running after the run are
//       scaled with it
//   PIXHAUL_TEST_PAGE_LIMIT_BYTES=N
//       the largest page file taken, in place of 1 GiB
//
// A malformed value is a usage error.
//
// Tests: tests/cli/pixhaul_cli_limits_test.cpp, whose runs set the hooks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "download/run_controller.h"

namespace pixhaul::cli {

struct TestHooks {
  ThrottleTimings timings;
  std::optional<int> ioTimeoutMs;
  std::optional<uint64_t> pageLimitBytes;
};

// Parses the three values (null pointers when unset). Returns nothing and sets `error` when
// one is malformed.
std::optional<TestHooks> ParseTestHooks(const char* timings, const char* ioTimeout,
                                        const char* pageLimit, std::string& error);

}  // namespace pixhaul::cli
