// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/posix_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace pixhaul {

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool FileDescriptor::Close() {
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

int OpenRetrying(const char* path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int OpenAtRetrying(int folder, const char* name, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::openat(folder, name, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

FileDescriptor OpenFolder(const char* path) {
  return FileDescriptor(OpenRetrying(*path == '\0' ? "." : path, O_PATH | O_DIRECTORY | O_CLOEXEC));
}

int OpenTarget(const FileTarget& target, int flags) {
  return OpenAtRetrying(target.AtFolder(), target.AtName().c_str(), flags);
}

bool WriteAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAllAt(int fd, const char* data, size_t size, off_t offset) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

namespace {

constexpr size_t kCopyBufferBytes = 256 * 1024;
// The most one copy_file_range call is asked to move.
constexpr size_t kKernelCopyBytes = size_t{1} << 30;

// Bytes still allowed to go: one more than the limit leaves, so that going over it shows.
size_t Allowance(uint64_t copied, uint64_t limit, size_t most) {
  const uint64_t left = limit - copied;  // copied <= limit here
  return left >= most ? most : static_cast<size_t>(left) + 1;
}

CopyResult CopyThroughBuffer(int from, int to, uint64_t copied, uint64_t limit) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(kCopyBufferBytes);
  for (;;) {
    const ssize_t n = ::read(from, buffer.get(), Allowance(copied, limit, kCopyBufferBytes));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return CopyResult::kReadFailed;
    if (n == 0) return CopyResult::kDone;
    if (!WriteAll(to, buffer.get(), static_cast<size_t>(n))) return CopyResult::kWriteFailed;
    copied += static_cast<uint64_t>(n);
    if (copied > limit) return CopyResult::kLimitExceeded;
  }
}

}  // namespace

CopyResult CopyToEnd(int from, int to, uint64_t limit) {
  uint64_t copied = 0;
  for (;;) {
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr,
                                        Allowance(copied, limit, kKernelCopyBytes), 0);
    if (n > 0) {
      copied += static_cast<uint64_t>(n);
      if (copied > limit) return CopyResult::kLimitExceeded;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // The end, or a pair of files the kernel will not copy between (a pipe, another file
    // system, a kernel without the call). Some special files also report a false end here, so
    // the end is confirmed by an ordinary read, and a real failure shows itself there too, on
    // the side it belongs to. Both calls work at the descriptors' offsets, so nothing is lost
    // or copied twice.
    return CopyThroughBuffer(from, to, copied, limit);
  }
}

}  // namespace pixhaul
