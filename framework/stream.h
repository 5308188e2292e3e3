// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// An abstract byte stream with a position, the target of every body read.
//
// Streams are used by one thread at a time. `Write` at the position overwrites and extends;
// `SetSize` changes the size without moving the position past the new end.
//
// A stream that keeps its bytes in storage of its own may also lend that storage to a reader,
// so that bytes received from a socket land in it without passing through another buffer:
// `ReserveForWrite` hands out room at the position, the reader fills part of it, and
// `CommitWrite` makes those bytes part of the stream as a `Write` of them would. Streams that
// cannot lend storage hand out no room, and readers fall back to `Write`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace pixhaul {

class TStream {
 public:
  virtual ~TStream() = default;

  virtual int64_t Size() const = 0;
  // Resizes the stream; the position is clamped to the new size.
  virtual void SetSize(int64_t newSize) = 0;
  int64_t Position() const { return position_; }
  void SetPosition(int64_t position) { position_ = position < 0 ? 0 : position; }

  // Copies up to `count` bytes from the position; returns how many were copied.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes `count` bytes at the position, growing the stream as needed; raises
  // EWriteError "Stream write error" when the bytes cannot be stored.
  virtual void Write(const void* buffer, size_t count) = 0;

  // Room for up to `wanted` bytes at the position, at least one byte when `wanted` is not 0,
  // or an empty span when the stream does not lend its storage. The room stays valid until
  // the next call on the stream other than CommitWrite. Raises EWriteError like Write.
  virtual std::span<char> ReserveForWrite(size_t /*wanted*/) { return {}; }
  // Takes the first `count` bytes of the room the last ReserveForWrite gave as written at the
  // position, exactly as Write would have stored them, and advances the position. Raises
  // EWriteError like Write.
  virtual void CommitWrite(size_t /*count*/) {}

 protected:
  int64_t position_ = 0;
};

}  // namespace pixhaul
