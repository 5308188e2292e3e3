// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/file_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "framework/exception.h"
#include "tests/support/raised.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

FileDescriptor CreateFile(const std::string& path) {
  return FileDescriptor(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
}

// What a stream over a file must hold: bytes written at a position replace and extend, a gap
// before them reads as zeros, and so does room added by a larger size.
struct ModelStream {
  void Write(const char* bytes, size_t count) {
    if (count == 0) return;  // not even a gap
    const auto at = static_cast<size_t>(position);
    if (at + count > text.size()) text.resize(at + count, '\0');
    text.replace(at, count, bytes, count);
    position += static_cast<int64_t>(count);
  }
  void SetSize(int64_t size) {
    text.resize(static_cast<size_t>(size), '\0');
    position = std::min(position, size);
  }
  std::string text;
  int64_t position = 0;
};

// Random writes, lent writes, jumps and resizes, applied alike to a file stream with a tiny
// buffer and to the model: the file must end up holding exactly what the model holds, and both
// must agree on size and position at every step. Small buffers put buffer borders, partial
// lends and flushes everywhere.
TEST(TFileStream, HoldsWhatWasWrittenWhateverTheBufferSize) {
  TempDir dir;
  for (size_t bufferBytes : {1u, 7u, 64u, 4096u}) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
      SCOPED_TRACE("buffer " + std::to_string(bufferBytes) + ", seed " + std::to_string(seed));
      const std::string path = dir.File("f" + std::to_string(seed));
      TFileStream file(CreateFile(path), bufferBytes);
      ModelStream model;
      std::mt19937 random(seed);
      auto below = [&](size_t n) { return static_cast<size_t>(random() % n); };
      char next = 'a';
      auto fill = [&](char* out, size_t count) {
        for (size_t i = 0; i < count; ++i) out[i] = next = next == 'z' ? 'a' : next + 1;
      };
      for (int step = 0; step < 300; ++step) {
        switch (below(6)) {
          case 0:
          case 1: {
            std::string bytes(below(3 * bufferBytes + 3), '\0');
            fill(bytes.data(), bytes.size());
            file.Write(bytes.data(), bytes.size());
            model.Write(bytes.data(), bytes.size());
            break;
          }
          case 2: {
            const size_t wanted = 1 + below(2 * bufferBytes + 2);
            const std::span<char> room = file.ReserveForWrite(wanted);
            ASSERT_FALSE(room.empty());
            ASSERT_LE(room.size(), wanted);
            const size_t used = below(room.size() + 1);
            fill(room.data(), used);
            model.Write(room.data(), used);
            file.CommitWrite(used);
            break;
          }
          case 3:  // a jump, as a followed redirect rewinds to 0, sometimes past the end
            file.SetPosition(static_cast<int64_t>(below(static_cast<size_t>(file.Size()) + 5)));
            model.position = file.Position();
            break;
          case 4: {  // cutting back to the position, shrinking, or sizing ahead of a body
            const auto size = static_cast<size_t>(file.Size());
            const size_t choice = below(3);
            const int64_t newSize =
                choice == 0   ? file.Position()
                : choice == 1 ? static_cast<int64_t>(below(size + 1))
                              : static_cast<int64_t>(size + 1 + below(2 * bufferBytes + 2));
            file.SetSize(newSize);
            model.SetSize(newSize);
            break;
          }
          case 5:
            if (below(4) == 0) file.Flush();
            break;
        }
        ASSERT_EQ(file.Size(), static_cast<int64_t>(model.text.size())) << "step " << step;
        ASSERT_EQ(file.Position(), model.position) << "step " << step;
      }
      // Read sees buffered and written bytes alike.
      file.SetPosition(0);
      std::string read(static_cast<size_t>(file.Size()), '\0');
      ASSERT_EQ(file.Read(read.data(), read.size()), read.size());
      EXPECT_TRUE(read == model.text);
      file.Close();
      EXPECT_TRUE(ReadFileBytes(path) == model.text);
    }
  }
}

TEST(TFileStream, LargeBodyCostsOnlyTheBuffer) {
  TempDir dir;
  const std::string path = dir.File("big");
  TFileStream file(CreateFile(path), 4096);
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    const std::string piece = std::to_string(i) + ";";
    const std::span<char> room = file.ReserveForWrite(piece.size());
    const size_t n = std::min(room.size(), piece.size());
    std::memcpy(room.data(), piece.data(), n);
    file.CommitWrite(n);
    file.Write(piece.data() + n, piece.size() - n);
    expected += piece;
  }
  EXPECT_EQ(file.BufferBytes(), 4096u);
  file.Close();
  EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST(TFileStream, FailedWriteRaisesStreamWriteErrorAndSaysSo) {
  // Every write to /dev/full fails as on a full disk.
  TFileStream full(FileDescriptor(::open("/dev/full", O_WRONLY | O_CLOEXEC)), 16);
  EXPECT_FALSE(full.WriteFailed());
  full.Write("0123456789", 10);  // still buffered
  EXPECT_EQ(Raised([&] { full.Write("0123456789", 10); }), "EWriteError: Stream write error");
  EXPECT_TRUE(full.WriteFailed());

  TFileStream lent(FileDescriptor(::open("/dev/full", O_WRONLY | O_CLOEXEC)), 16);
  std::span<char> room = lent.ReserveForWrite(16);
  lent.CommitWrite(room.size());
  EXPECT_THROW(lent.Close(), EWriteError);
  EXPECT_TRUE(lent.WriteFailed());
}

}  // namespace
}  // namespace pixhaul::test
