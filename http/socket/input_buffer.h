// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdBuffer: a memory buffer that is also a byte queue (append at the back, remove from the
// front), holding received bytes not yet consumed.
//
// Removal from the front only advances a read offset; the storage is compacted when the
// consumed part outgrows the rest, so consuming a buffer piece by piece costs time in
// proportion to its size, not to the number of pieces. Removing everything frees the storage.
// Length()/Data() are the unconsumed bytes. The inherited stream view (Size(), Memory()) spans
// the whole storage, consumed prefix included; it is what a buffer used as a plain receive area
// (never removed from) works with. One thread at a time.
#pragma once

#include <cstddef>
#include <string>

#include "framework/memory_stream.h"

namespace pixhaul {

class TIdBuffer : public TMemoryStream {
 public:
  // Unconsumed bytes.
  size_t Length() const { return static_cast<size_t>(Size()) - head_; }
  bool Empty() const { return Length() == 0; }
  const char* Data() const { return Memory() + head_; }

  // Appends `count` bytes at the back.
  void Append(const void* bytes, size_t count);
  // Removes `count` bytes from the front. Raises EIdNotEnoughDataInBuffer "Not enough data in
  // buffer." when fewer are held; removing exactly all of them frees the storage.
  void Remove(size_t count);
  // The first `count` unconsumed bytes as text, removed from the front (raises as Remove).
  std::string Extract(size_t count);
  // Empties the buffer and frees its storage.
  void Clear();

 private:
  size_t head_ = 0;
};

}  // namespace pixhaul
