// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// MappedFile: the bytes of an open file, mapped read-only into memory for as long as the object
// lives, so that a reader may look at any part of a large file without copying it. Pages are
// read from the disk only when touched: a header at the front of a 500 MB file costs a page or
// two. An empty file maps to an empty view. The descriptor may be closed once mapped. A view is
// read by one thread at a time unless the file does not change.
//
// Tests: tests/download/image_check_test.cpp and tests/download/duplicate_index_test.cpp.
#pragma once

#include <cstddef>
#include <string_view>

namespace pixhaul {

class MappedFile {
 public:
  // Maps the whole of `fd`, whose offset is left alone. Raises EFOpenError "Cannot open file
  // %s" with `nameForErrors` when the file cannot be measured or mapped.
  MappedFile(int fd, const char* nameForErrors);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::string_view Bytes() const { return {static_cast<const char*>(data_), size_}; }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace pixhaul
