// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "cli/test_hooks.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "framework/integer_text.h"

namespace pixhaul::cli {

namespace {

bool ParseNumber(std::string_view text, long low, long high, long& value) {
  const std::optional<int32_t> parsed = ParseInt32(text);
  if (!parsed || *parsed < low || *parsed > high) return false;
  value = *parsed;
  return true;
}

}  // namespace

std::optional<TestHooks> ParseTestHooks(const char* timings, const char* ioTimeout,
                                        const char* pageLimit, std::string& error) {
  TestHooks hooks;
  if (timings != nullptr) {
    std::vector<long> values;
    std::string text = timings;
    size_t start = 0;
    for (;;) {
      const size_t comma = text.find(',', start);
      long value;
      if (!ParseNumber(text.substr(start, comma - start), 0, 3600000, value)) break;
      values.push_back(value);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (values.size() != 5 || text.empty() || text.back() == ',') {
      error = "PIXHAUL_TEST_TIMINGS wants five numbers: startPause,limit,throttle,grace,stopWait";
      return std::nullopt;
    }
    hooks.timings.startPauseMs = static_cast<unsigned>(values[0]);
    hooks.timings.liveWorkerLimit = static_cast<int>(values[1]);
    hooks.timings.throttlePauseMs = static_cast<unsigned>(values[2]);
    hooks.timings.graceMs = static_cast<unsigned>(values[3]);
    hooks.timings.stopWaitMs = static_cast<unsigned>(values[4]);
  }
  if (ioTimeout != nullptr) {
    long value;
    if (!ParseNumber(ioTimeout, 1, 3600000, value)) {
      error = "PIXHAUL_TEST_IO_TIMEOUT_MS wants a number of milliseconds";
      return std::nullopt;
    }
    hooks.ioTimeoutMs = static_cast<int>(value);
  }
  if (pageLimit != nullptr) {
    long value;
    if (!ParseNumber(pageLimit, 1, 1L << 40, value)) {
      error = "PIXHAUL_TEST_PAGE_LIMIT_BYTES wants a number of bytes";
      return std::nullopt;
    }
    hooks.pageLimitBytes = static_cast<uint64_t>(value);
  }
  return hooks;
}

}  // namespace pixhaul::cli
