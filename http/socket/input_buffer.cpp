// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/socket/input_buffer.h"

#include <cstring>

#include "http/socket/connection_exceptions.h"

namespace pixhaul {

void TIdBuffer::Append(const void* bytes, size_t count) {
  if (count == 0) return;
  SetPosition(Size());
  Write(bytes, count);
}

void TIdBuffer::Remove(size_t count) {
  if (count > Length()) throw EIdNotEnoughDataInBuffer();
  if (count == Length()) {
    Clear();
    return;
  }
  head_ += count;
  // Compact only once the consumed prefix outweighs what is left: each byte is then moved at
  // most a constant number of times over the buffer's life.
  if (head_ >= Length()) {
    const size_t left = Length();
    std::memmove(Memory(), Memory() + head_, left);
    head_ = 0;
    SetSize(static_cast<int64_t>(left));
  }
}

std::string TIdBuffer::Extract(size_t count) {
  if (count > Length()) throw EIdNotEnoughDataInBuffer();
  std::string text(Data(), count);
  Remove(count);
  return text;
}

void TIdBuffer::Clear() {
  TMemoryStream::Clear();
  head_ = 0;
}

}  // namespace pixhaul
