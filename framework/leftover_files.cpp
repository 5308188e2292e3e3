// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/leftover_files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "framework/folder_listing.h"
#include "framework/posix_file.h"
#include "framework/replacement_file.h"

namespace pixhaul {

namespace {

// Only "no such process" tells that the owner is gone; a process that exists but belongs to
// someone else (EPERM) still counts as live.
bool ProcessIsGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

}  // namespace

int RemoveLeftoverTemporaryFiles(const std::string& folder) {
  const FileDescriptor open = OpenFolder(folder.c_str());
  return open.Get() < 0 ? 0 : RemoveLeftoverTemporaryFilesIn(open.Get());
}

int RemoveLeftoverTemporaryFilesIn(int folder) {
  const FolderListing listing = ListFolder(folder);
  if (!listing) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::optional<pid_t> owner = TemporaryFileOwner(entry->d_name);
    if (!owner || !ProcessIsGone(*owner)) continue;
    struct stat info {};
    if (::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode)) {
      continue;
    }
    if (::unlinkat(folder, entry->d_name, 0) == 0) ++removed;
  }
  return removed;
}

}  // namespace pixhaul
