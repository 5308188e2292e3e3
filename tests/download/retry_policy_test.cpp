// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Which failures are tried again and how long the wait before the next try is.
#include "download/retry_policy.h"

#include <gtest/gtest.h>

#include <string>

#include "http/http_client.h"
#include "http/socket/socket_error.h"

namespace pixhaul::test {
namespace {

TEST(RetryPolicy, OnlyPassingFailuresAreTransient) {
  for (int code : {408, 429, 500, 502, 503, 504})
    EXPECT_TRUE(IsTransientFailure(EIdProtocolReplyError(code, std::to_string(code)))) << code;
  for (int code : {301, 400, 401, 403, 404, 410, 451, 501, 505})
    EXPECT_FALSE(IsTransientFailure(EIdProtocolReplyError(code, std::to_string(code)))) << code;
  EXPECT_TRUE(IsTransientFailure(EIdSocketError(10054)));
  EXPECT_TRUE(IsTransientFailure(EIdConnClosedGracefully()));
  EXPECT_TRUE(IsTransientFailure(EIdReadTimeout()));
  for (int number : {10061, 11001, 10060, 10065})
    EXPECT_FALSE(IsTransientFailure(EIdSocketError(number))) << number;
  EXPECT_FALSE(IsTransientFailure(EIdLimitExceeded(kReplyBodyTooLargeMessage)));
}

TEST(RetryPolicy, WaitsDoubleOrFollowRetryAfterAndNeverPassThirtySeconds) {
  const std::time_t now = 1'780'000'000;  // 2026-05-28 20:26:40 UTC
  struct Row {
    int retry;
    const char* retryAfter;
    long long expectMs;
  } rows[] = {
      {1, "", 1000},
      {2, "", 2000},
      {3, "", 4000},
      {4, "", 8000},
      {5, "", 16000},
      {6, "", 30000},
      {9, "", 30000},
      {1, "0", 0},
      {1, " 7 ", 7000},
      {3, "1", 1000},
      {1, "31", 30000},
      {1, "99999999999999999999", 30000},
      {1, "Thu, 28 May 2026 20:26:52 GMT", 12000},  // an HTTP date 12 s ahead
      {1, "Thu, 28 May 2026 20:00:00 GMT", 0},      // one already past
      {2, "soon", 2000},                            // unusable: the backoff decides
      {1, "-5", 1000},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(RetryWait(row.retry, row.retryAfter, now).count(), row.expectMs)
        << row.retry << " [" << row.retryAfter << "]";
  }
}

}  // namespace
}  // namespace pixhaul::test
