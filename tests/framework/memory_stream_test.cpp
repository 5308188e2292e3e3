// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/memory_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/exception.h"
#include "tests/support/raised.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

TEST(TMemoryStream, AppendsInSmallPiecesKeepEveryByte) {
  TMemoryStream stream;
  std::string expected;
  for (int i = 0; i < 100000; ++i) {
    const std::string piece = std::to_string(i) + ",";
    stream.Write(piece.data(), piece.size());
    expected += piece;
  }
  EXPECT_EQ(stream.Size(), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(stream.Position(), stream.Size());
  EXPECT_EQ(stream.ToString(), expected);
}

TEST(TMemoryStream, ReadsFromThePositionAndStopsAtTheEnd) {
  TMemoryStream stream;
  stream.Write("hello world", 11);
  stream.SetPosition(6);
  char buffer[16] = {};
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 5u);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0u);
  stream.SetPosition(-5);
  EXPECT_EQ(stream.Position(), 0);
}

TEST(TMemoryStream, WriteInsideOverwritesAndPastTheEndZeroFillsTheGap) {
  TMemoryStream stream;
  stream.Write("abcdef", 6);
  stream.SetPosition(2);
  stream.Write("XY", 2);
  EXPECT_EQ(stream.ToString(), "abXYef");
  stream.SetPosition(8);
  stream.Write("Z", 1);
  EXPECT_EQ(stream.ToString(), std::string("abXYef\0\0Z", 9));
}

TEST(TMemoryStream, SetSizeClampsThePosition) {
  TMemoryStream stream;
  stream.Write("0123456789", 10);
  stream.SetSize(4);
  EXPECT_EQ(stream.Position(), 4);
  EXPECT_EQ(stream.ToString(), "0123");
  stream.SetSize(1000);
  EXPECT_EQ(stream.Size(), 1000);
  EXPECT_EQ(std::string(stream.Memory(), 4), "0123");
  EXPECT_THROW(stream.SetSize(-1), EWriteError);
  stream.Clear();
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(stream.ToString(), "");
}

TEST(TMemoryStream, SaveToFileWritesAllBytesOrNamesThePath) {
  TempDir dir;
  TMemoryStream stream;
  const std::string body("\x89PNG\r\n\x1a\n\0tail", 13);
  stream.Write(body.data(), body.size());
  stream.SetPosition(3);  // the position does not limit what is saved
  const std::string path = dir.File("a.png");
  stream.SaveToFile(path);
  EXPECT_EQ(ReadFileBytes(path), body);

  TMemoryStream empty;
  empty.SaveToFile(path);
  EXPECT_EQ(ReadFileBytes(path), "");

  const std::string bad = dir.File("missing/a.png");
  EXPECT_EQ(Raised([&] { stream.SaveToFile(bad); }), "EFCreateError: Cannot create file " + bad);
}

}  // namespace
}  // namespace pixhaul::test
