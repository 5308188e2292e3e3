// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

namespace pixhaul {

FolderLock FolderLock::TryLock(const std::string& path) {
  FileDescriptor folder(OpenRetrying(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() < 0) return FolderLock();
  int result;
  do {
    result = ::flock(folder.Get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return FolderLock(std::move(folder), State::kHeld);
  return FolderLock(FileDescriptor(), errno == EWOULDBLOCK ? State::kBusy : State::kUnlockable);
}

bool FolderLock::Covers(const std::string& path) const {
  if (state_ != State::kHeld) return false;
  struct stat held {};
  struct stat named {};
  return ::fstat(folder_.Get(), &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace pixhaul
