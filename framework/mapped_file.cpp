// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/mapped_file.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include "framework/exception.h"

namespace pixhaul {

MappedFile::MappedFile(int fd, const char* nameForErrors) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || status.st_size < 0)
    throw EFOpenError(CannotOpenFileMessage(nameForErrors));
  size_ = static_cast<size_t>(status.st_size);
  if (size_ == 0) return;  // mmap refuses a length of 0
  data_ = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
  if (data_ == MAP_FAILED) {
    data_ = nullptr;
    size_ = 0;
    throw EFOpenError(CannotOpenFileMessage(nameForErrors));
  }
  // Readers go front to back (a hash) or touch the head only (a header).
  ::madvise(data_, size_, MADV_SEQUENTIAL);
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) ::munmap(data_, size_);
}

}  // namespace pixhaul
