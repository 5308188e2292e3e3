// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>

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

}  // namespace pixhaul
