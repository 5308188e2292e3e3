// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/socket/read_rate_guard.h"

#include <algorithm>
#include <cstdint>

namespace pixhaul {

TIdReadRateGuard::TIdReadRateGuard(int readTimeoutMs)
    : readTimeoutMs_(readTimeoutMs), spanStart_(Clock::now()) {}

void TIdReadRateGuard::Restart(Clock::time_point now) {
  spanStart_ = now;
  spanBytes_ = 0;
  recent_.clear();
  recentBytes_ = 0;
}

void TIdReadRateGuard::Count(uint64_t bytes, Clock::time_point now) {
  if (bytes == 0) return;
  spanBytes_ += bytes;
  if (bytes >= kMinimumSpanBytes) {
    // One arrival that large is the whole window on its own (the usual case of a body).
    recent_.clear();
    recentBytes_ = 0;
  }
  recent_.emplace_back(now, bytes);
  recentBytes_ += bytes;
  while (recent_.size() > 1 && recentBytes_ - recent_.front().second >= kMinimumSpanBytes) {
    recentBytes_ -= recent_.front().second;
    recent_.pop_front();
  }
}

int TIdReadRateGuard::DeadlineLeftMs(Clock::time_point now) const {
  if (!deadline_) return kNoLimit;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - now).count();
  return static_cast<int>(std::clamp<int64_t>(left, 0, INT32_MAX));
}

int TIdReadRateGuard::WaitLimitMs(Clock::time_point now) const {
  const int deadlineLeft = DeadlineLeftMs(now);
  if (readTimeoutMs_ <= 0) return deadlineLeft;
  // A span of twice the limit ending at time t holds fewer than the minimum once the arrival
  // that brought the minimum-th most recent byte lies more than that span before t. Until the
  // minimum has arrived at all, the span started with the read.
  const Clock::time_point from =
      recentBytes_ >= kMinimumSpanBytes ? recent_.front().first : spanStart_;
  const auto deadline = from + std::chrono::milliseconds(2 * int64_t{readTimeoutMs_});
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
  const int limit = static_cast<int>(std::clamp<int64_t>(left, 0, readTimeoutMs_));
  return deadlineLeft == kNoLimit ? limit : std::min(limit, deadlineLeft);
}

}  // namespace pixhaul
