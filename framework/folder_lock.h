// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// FolderLock: an advisory, exclusive lock on a folder, held by one object for as long as it
// lives, so that two runs never save into the same folder at once.
//
// The lock is taken on the folder itself (flock on a descriptor of the directory), so it writes
// nothing into the folder, follows the folder under every name that leads to it, and is told
// apart per open: a second lock on the same folder fails whether it is tried by another process
// or by this one. It goes when the object does, and with the process however that ends.
// Move-only; any thread, one at a time per object.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>

#include "framework/posix_file.h"

namespace pixhaul {

class FolderLock {
 public:
  enum class State {
    kHeld,        // this object holds the lock
    kBusy,        // another holder has it
    kUnlockable,  // the folder cannot be opened or locked here (no read access, a file system
                  // without locks): nothing is held, and nothing tells of other holders
  };

  // A lock that holds nothing.
  FolderLock() = default;
  // A lock moved from holds nothing.
  FolderLock(FolderLock&& other) noexcept
      : folder_(std::move(other.folder_)),
        state_(std::exchange(other.state_, State::kUnlockable)) {}
  FolderLock& operator=(FolderLock&& other) noexcept {
    folder_ = std::move(other.folder_);
    state_ = std::exchange(other.state_, State::kUnlockable);
    return *this;
  }
  // Tries once, without waiting, to lock the folder at `path`.
  static FolderLock TryLock(const std::string& path);

  State GetState() const { return state_; }
  // True while this object holds the lock of the folder that `path` names now.
  bool Covers(const std::string& path) const;
  bool Busy() const { return state_ == State::kBusy; }

 private:
  FolderLock(FileDescriptor folder, State state) : folder_(std::move(folder)), state_(state) {}

  FileDescriptor folder_;  // open while held; closing it lets the lock go
  State state_ = State::kUnlockable;
};

}  // namespace pixhaul
