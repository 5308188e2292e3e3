// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/retry_policy.h"

#include <algorithm>
#include <cmath>

#include "framework/ascii_text.h"
#include "framework/integer_text.h"
#include "http/http_client.h"
#include "http/internet_date.h"
#include "http/socket/connection_exceptions.h"
#include "http/socket/socket_error.h"

namespace pixhaul {

namespace {

constexpr int kConnectionReset = 10054;
constexpr double kUnixEpochInDays = 25569.0;  // 1970-01-01 as a day count of TDateTime

// The seconds Retry-After asks for, or a negative number when it says nothing usable.
double RetryAfterSeconds(const std::string& value, std::time_t now) {
  const std::string_view text = TrimBlanks(value);
  if (text.empty()) return -1;
  // A count beyond any wait reads as the largest number, and so as the longest wait.
  if (const std::optional<int64_t> seconds = ParseUnsignedDecimal(text))
    return std::min<double>(static_cast<double>(*seconds), kLongestRetryWait.count());
  // An HTTP date is always in GMT.
  std::string date(text);
  const TDateTime when = ParseInternetDate(date);
  if (when == 0) return -1;
  const double nowInDays = static_cast<double>(now) / 86400.0 + kUnixEpochInDays;
  return std::max(0.0, (when - nowInDays) * 86400.0);
}

}  // namespace

bool IsTransientFailure(const Exception& failure) {
  if (const auto* reply = dynamic_cast<const EIdProtocolReplyError*>(&failure)) {
    switch (reply->StatusCode) {
      case 408:
      case 429:
      case 500:
      case 502:
      case 503:
      case 504:
        return true;
      default:
        return false;
    }
  }
  if (const auto* socket = dynamic_cast<const EIdSocketError*>(&failure))
    return socket->LastError() == kConnectionReset;
  return dynamic_cast<const EIdConnClosedGracefully*>(&failure) != nullptr ||
         dynamic_cast<const EIdReadTimeout*>(&failure) != nullptr;
}

std::chrono::milliseconds RetryWait(int retry, const std::string& retryAfter, std::time_t now) {
  using std::chrono::milliseconds;
  const milliseconds longest = kLongestRetryWait;
  const double asked = RetryAfterSeconds(retryAfter, now);
  if (asked >= 0) return std::min(longest, milliseconds(std::llround(asked * 1000)));
  const int doublings = std::clamp(retry - 1, 0, 5);
  return std::min(longest, milliseconds(1000LL << doublings));
}

}  // namespace pixhaul
