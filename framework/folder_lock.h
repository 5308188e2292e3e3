// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// FolderLock: an advisory, exclusive lock on a folder, held by one object for as long as it
// lives, so that two runs never save into the same folder at once.
//
// The lock is taken on a file the holder creates in the folder (kLockFileName, readable and
// writable by its owner only), not on the folder itself: anyone who may read a folder could
// lock the folder and so refuse every run, while the file can only be made by one who may
// write there - as a run must - and a folder that may be written but not read is locked too.
// The lock follows the folder under every name that leads to it and is told apart per open: a
// second lock on the same folder fails whether it is tried by another process or by this one.
// The holder removes the file as it lets the lock go; the lock goes with the process however
// that ends (a file left behind then is taken over by the next run). Move-only; any thread,
// one at a time per object.
#pragma once

#include <string>
#include <utility>

#include "framework/posix_file.h"

namespace pixhaul {

inline constexpr const char* kLockFileName = ".pixhaul.lock";

class FolderLock {
 public:
  enum class State {
    kHeld,        // this object holds the lock
    kBusy,        // another holder has it
    kUnlockable,  // the lock file cannot be made or locked here (a folder that cannot be
                  // written, a file system without locks): nothing is held, and nothing tells
                  // of other holders
  };

  // A lock that holds nothing.
  FolderLock() = default;
  // A lock moved from holds nothing.
  FolderLock(FolderLock&& other) noexcept
      : folder_(std::move(other.folder_)),
        lockFile_(std::move(other.lockFile_)),
        state_(std::exchange(other.state_, State::kUnlockable)) {}
  FolderLock& operator=(FolderLock&& other) noexcept;
  ~FolderLock() { Release(); }

  // Tries once, without waiting, to lock the folder at `path`.
  static FolderLock TryLock(const std::string& path);
  // The same for the open folder `folder` (any descriptor of a directory, O_PATH ones too),
  // whatever its path names by now.
  static FolderLock TryLockOpenFolder(int folder);

  State GetState() const { return state_; }
  bool Busy() const { return state_ == State::kBusy; }
  // True while this object holds the lock of the folder that `path` names now.
  bool Covers(const std::string& path) const;
  // True while this object holds the lock of the open folder `folder`.
  bool CoversOpenFolder(int folder) const;

 private:
  FolderLock(FileDescriptor folder, FileDescriptor lockFile, State state)
      : folder_(std::move(folder)), lockFile_(std::move(lockFile)), state_(state) {}
  static FolderLock Lock(FileDescriptor folder);
  // Removes the lock file while the lock still holds it, then lets the lock go.
  void Release() noexcept;

  FileDescriptor folder_;    // open while held, for naming files in it only
  FileDescriptor lockFile_;  // open while held; closing it lets the lock go
  State state_ = State::kUnlockable;
};

// Removes the lock file of every lock this process holds, for a process about to end at once
// (the locks go with it); any thread.
void AbandonFolderLocks() noexcept;

}  // namespace pixhaul
