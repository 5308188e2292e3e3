// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Small helpers over POSIX file descriptors, shared by everything that writes files: the line
// list, the memory buffer, the file stream, the INI accessor and the run's page file.
//
// Tests: tests/framework/file_stream_test.cpp and tests/framework/replacement_file_test.cpp.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "framework/file_target.h"

namespace pixhaul {

// Owns one descriptor and closes it on every path out of a scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  int Get() const { return fd_; }
  // Closes now; false when the close reported an error (data may not have reached the file).
  bool Close();

 private:
  int fd_;
};

// open(2), retried while it is interrupted by a signal; -1 with errno set on failure.
int OpenRetrying(const char* path, int flags, mode_t mode = 0);
// openat(2) alike: `name` is looked up in the open folder `folder` (or AT_FDCWD).
int OpenAtRetrying(int folder, const char* name, int flags, mode_t mode = 0);
// A descriptor of the folder at `path` ("" is the current folder) that serves only to name
// files in it (O_PATH): it follows the folder itself, whatever is renamed or put under its
// path later. -1 with errno set when there is no such folder.
FileDescriptor OpenFolder(const char* path);
// Opens `target` (framework/file_target.h): its name in its open folder, else its path.
int OpenTarget(const FileTarget& target, int flags);

// Writes all `size` bytes, continuing short and interrupted writes; false on any failure.
bool WriteAll(int fd, const char* data, size_t size);
// The same at a file offset (pwrite), leaving the descriptor's own offset alone.
bool WriteAllAt(int fd, const char* data, size_t size, off_t offset);

// How CopyToEnd ended.
enum class CopyResult { kDone, kReadFailed, kWriteFailed, kLimitExceeded };

// Copies everything from `from`'s offset to its end onto `to` at its offset. Between two files
// the kernel copies the bytes itself, so none of them pass through this process; anything else
// (a pipe, a file system that refuses) goes through one bounded buffer. Interrupted calls are
// continued. A failure says which side failed; bytes copied before it stay written. A source
// that holds more than `limit` bytes (a pipe or a device that keeps producing) ends the copy
// with kLimitExceeded once one byte more than the limit has been copied.
CopyResult CopyToEnd(int from, int to, uint64_t limit = UINT64_MAX);

}  // namespace pixhaul
