// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The input buffer: removal from the front, its failure, and compaction.
#include "http/socket/input_buffer.h"

#include <gtest/gtest.h>

#include <string>

#include "http/socket/connection_exceptions.h"
#include "tests/support/raised.h"

namespace pixhaul::test {
namespace {

TEST(TIdBuffer, RemovesFromTheFront) {
  TIdBuffer buffer;
  buffer.Append("hello world", 11);
  buffer.Remove(6);
  EXPECT_EQ(std::string(buffer.Data(), buffer.Length()), "world");
  buffer.Append("!", 1);
  EXPECT_EQ(buffer.Extract(3), "wor");
  EXPECT_EQ(std::string(buffer.Data(), buffer.Length()), "ld!");
}

TEST(TIdBuffer, RemovingMoreThanHeldRaisesAndKeepsTheBytes) {
  TIdBuffer buffer;
  buffer.Append("abc", 3);
  EXPECT_EQ(Raised([&] { buffer.Remove(4); }),
            "EIdNotEnoughDataInBuffer: Not enough data in buffer.");
  EXPECT_EQ(buffer.Length(), 3u);
  EXPECT_THROW(buffer.Extract(9), EIdNotEnoughDataInBuffer);
}

TEST(TIdBuffer, RemovingEverythingFreesTheStorage) {
  TIdBuffer buffer;
  buffer.Append("abc", 3);
  buffer.Remove(3);
  EXPECT_TRUE(buffer.Empty());
  EXPECT_EQ(buffer.Memory(), nullptr);
  EXPECT_EQ(buffer.Size(), 0);
}

TEST(TIdBuffer, ManySmallRemovalsKeepOrderAndCompact) {
  TIdBuffer buffer;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string piece = std::to_string(i) + ",";
    buffer.Append(piece.data(), piece.size());
    expected += piece;
    if (i % 3 == 0) {
      const size_t take = std::min<size_t>(4, expected.size());
      ASSERT_EQ(buffer.Extract(take), expected.substr(0, take)) << "step " << i;
      expected.erase(0, take);
    }
  }
  EXPECT_EQ(std::string(buffer.Data(), buffer.Length()), expected);
  // The consumed prefix never dominates the storage.
  EXPECT_LE(static_cast<size_t>(buffer.Size()), 2 * buffer.Length() + 4);
}

}  // namespace
}  // namespace pixhaul::test
