// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdReadRateGuard: the time limits of reading one reply, or one TLS handshake.
//
// Two rules end such a read. Silence: no byte for the read time limit. Trickle: fewer than
// kMinimumSpanBytes bytes in some span of twice the read time limit, however steadily they
// come; without it a peer sending a byte just inside the silence limit would hold the reader
// for ever. A span starts when the connection sends its request or starts a handshake
// (Restart), and Count records the bytes taken off the wire as they arrive. WaitLimitMs tells a
// reader how long it may wait for its next byte before one of the rules is broken.
//
// The guard keeps the arrival times of just enough recent arrivals to hold kMinimumSpanBytes
// bytes, so its memory is bounded whatever is read. It belongs to one connection and is used on
// that connection's thread only. Times are taken from the steady clock unless given, which lets
// tests replay arrivals exactly.
//
// A deadline may bound the reads further: the end of the time a whole call has (TIdHTTP), which
// a peer sending steadily just above the trickle rate would otherwise never reach. Restart
// keeps it; only SetDeadline changes it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace pixhaul {

class TIdReadRateGuard {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr uint64_t kMinimumSpanBytes = 1024;
  // WaitLimitMs when the read time limit is switched off (0 or less).
  static constexpr int kNoLimit = -2;

  explicit TIdReadRateGuard(int readTimeoutMs);

  int ReadTimeoutMs() const { return readTimeoutMs_; }
  // Takes effect for the next wait; the span goes on.
  void SetReadTimeoutMs(int value) { readTimeoutMs_ = value; }

  // Starts a new span at `now`, forgetting every arrival before it.
  void Restart(Clock::time_point now = Clock::now());
  // Records `bytes` arriving at `now` (not earlier than the previous call).
  void Count(uint64_t bytes, Clock::time_point now = Clock::now());

  // Milliseconds the next wait for bytes may last: the read time limit, cut to the moment from
  // which the last twice-the-limit span would hold fewer than kMinimumSpanBytes, and to the
  // deadline; 0 once either moment has come. kNoLimit when the read time limit is switched off
  // and no deadline is set.
  int WaitLimitMs(Clock::time_point now = Clock::now()) const;

  // The moment after which no read may go on; none by default.
  void SetDeadline(std::optional<Clock::time_point> deadline) { deadline_ = deadline; }
  std::optional<Clock::time_point> Deadline() const { return deadline_; }
  bool DeadlinePassed(Clock::time_point now = Clock::now()) const {
    return deadline_ && now >= *deadline_;
  }
  // Milliseconds left until the deadline (0 once it has passed); kNoLimit without one.
  int DeadlineLeftMs(Clock::time_point now = Clock::now()) const;

  // Bytes counted since the span started.
  uint64_t SpanBytes() const { return spanBytes_; }

 private:
  int readTimeoutMs_;
  Clock::time_point spanStart_;
  uint64_t spanBytes_ = 0;
  // The most recent arrivals, oldest first: (time, bytes). Once kMinimumSpanBytes have arrived
  // they hold at least that many, and dropping the oldest would leave fewer.
  std::deque<std::pair<Clock::time_point, uint64_t>> recent_;
  uint64_t recentBytes_ = 0;
  std::optional<Clock::time_point> deadline_;
};

}  // namespace pixhaul
