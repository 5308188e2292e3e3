// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TMemoryStream: a growable in-memory byte buffer with a position.
//
// It holds a body that is wanted in memory (a fetched page, an input buffer) and can be
// written to a file in one piece. Small storage grows by
// `realloc`; large storage is mapped directly and grows by `mremap`, so a large buffer is never
// copied while it grows and capacity that was reserved but never written costs no resident
// memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/stream.h"

namespace pixhaul {

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  int64_t Size() const override { return size_; }
  void SetSize(int64_t newSize) override;
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  // Lends the storage at the position, grown as Write would grow it.
  std::span<char> ReserveForWrite(size_t wanted) override;
  void CommitWrite(size_t count) override;

  // Empties the stream and frees its storage.
  void Clear();
  const char* Memory() const { return data_; }
  char* Memory() { return data_; }
  std::string ToString() const { return std::string(data_ ? data_ : "", size_); }

  // Creates or truncates `path` and writes every byte; raises EFCreateError
  // "Cannot create file %s" when the file cannot be created, EWriteError on a short write.
  void SaveToFile(const std::string& path) const;

 private:
  void Reserve(size_t capacity);
  void ReleaseStorage();

  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  bool mapped_ = false;  // data_ comes from mmap rather than malloc
};

}  // namespace pixhaul
