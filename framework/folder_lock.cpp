// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

namespace pixhaul {

namespace {

// A holder letting go removes the name after a newcomer opened the file but before it locked
// it; the newcomer then tries again on the new file. A few tries cover any such race.
constexpr int kLockTries = 8;

// The folders of the locks the process holds, for AbandonFolderLocks.
std::mutex gHeldMutex;
std::vector<int> gHeldFolders;  // guarded by gHeldMutex

void Register(int folder) {
  const std::lock_guard lock(gHeldMutex);
  gHeldFolders.push_back(folder);
}

void Unregister(int folder) noexcept {
  const std::lock_guard lock(gHeldMutex);
  std::erase(gHeldFolders, folder);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    Release();
    folder_ = std::move(other.folder_);
    lockFile_ = std::move(other.lockFile_);
    state_ = std::exchange(other.state_, State::kUnlockable);
  }
  return *this;
}

void FolderLock::Release() noexcept {
  if (state_ != State::kHeld) return;
  Unregister(folder_.Get());
  ::unlinkat(folder_.Get(), kLockFileName, 0);
  lockFile_ = FileDescriptor();
  folder_ = FileDescriptor();
  state_ = State::kUnlockable;
}

FolderLock FolderLock::TryLock(const std::string& path) {
  // A descriptor that only names files: a folder that may be written but not read is locked
  // too.
  return Lock(OpenFolder(path.c_str()));
}

FolderLock FolderLock::TryLockOpenFolder(int folder) {
  return Lock(FileDescriptor(::fcntl(folder, F_DUPFD_CLOEXEC, 0)));
}

FolderLock FolderLock::Lock(FileDescriptor folder) {
  if (folder.Get() < 0) return FolderLock();
  for (int attempt = 0; attempt < kLockTries; ++attempt) {
    int fd;
    do {
      fd = ::openat(folder.Get(), kLockFileName,
                    O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    FileDescriptor file(fd);
    struct stat held {};
    if (file.Get() < 0 || ::fstat(file.Get(), &held) != 0 || !S_ISREG(held.st_mode)) break;
    int result;
    do {
      result = ::flock(file.Get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
      return FolderLock(FileDescriptor(), FileDescriptor(),
                        errno == EWOULDBLOCK ? State::kBusy : State::kUnlockable);
    }
    struct stat named {};
    if (::fstatat(folder.Get(), kLockFileName, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(held, named)) {
      Register(folder.Get());
      return FolderLock(std::move(folder), std::move(file), State::kHeld);
    }
  }
  return FolderLock();
}

void AbandonFolderLocks() noexcept {
  const std::lock_guard lock(gHeldMutex);
  for (const int folder : gHeldFolders) ::unlinkat(folder, kLockFileName, 0);
  gHeldFolders.clear();
}

bool FolderLock::Covers(const std::string& path) const {
  if (path.empty()) return false;
  const FileDescriptor named = OpenFolder(path.c_str());
  return named.Get() >= 0 && CoversOpenFolder(named.Get());
}

bool FolderLock::CoversOpenFolder(int folder) const {
  if (state_ != State::kHeld) return false;
  struct stat held {};
  struct stat other {};
  return ::fstat(folder_.Get(), &held) == 0 && ::fstat(folder, &other) == 0 &&
         SameFile(held, other);
}

}  // namespace pixhaul
