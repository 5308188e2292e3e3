// An abstract byte stream with a position, the target of every body read.
//
// Streams are used by one thread at a time. `Write` at the position overwrites and extends;
// `SetSize` changes the size without moving the position past the new end.
#pragma once

#include <cstddef>
#include <cstdint>

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

 protected:
  int64_t position_ = 0;
};

}  // namespace pixhaul
