// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// When a failed download is tried again, and after how long. Only failures that pass by
// themselves are retried: a connection reset or closed early, a read that timed out, and the
// replies 408, 429, 500, 502, 503 and 504. Never another 4xx, a name that does not resolve, or
// a refused connection. The waits grow 1 s, 2 s, 4 s ... unless the server said how long in
// Retry-After (seconds, or an HTTP date), and are never longer than 30 s. Pure functions; any
// thread.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

#include "framework/exception.h"

namespace pixhaul {

// The most tries after the first a user may ask for, and the longest wait between two.
inline constexpr int kMaxRetries = 10;
inline constexpr std::chrono::seconds kLongestRetryWait{30};

// True when another try may succeed where `failure` ended this one.
bool IsTransientFailure(const Exception& failure);

// The wait before retry number `retry` (1 for the first), given the failed reply's Retry-After
// value (empty when it had none or was no reply) and the time now.
std::chrono::milliseconds RetryWait(int retry, const std::string& retryAfter, std::time_t now);

}  // namespace pixhaul
