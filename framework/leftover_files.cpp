// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/leftover_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "framework/replacement_file.h"

namespace pixhaul {

namespace {

// Only "no such process" tells that the owner is gone; a process that exists but belongs to
// someone else (EPERM) still counts as live.
bool ProcessIsGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

int RemoveLeftoverTemporaryFiles(const std::string& folder) {
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return 0;
  const int dirFd = ::dirfd(dir.get());
  int removed = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::optional<pid_t> owner = TemporaryFileOwner(entry->d_name);
    if (!owner || !ProcessIsGone(*owner)) continue;
    struct stat info {};
    if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode)) {
      continue;
    }
    if (::unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
  }
  return removed;
}

}  // namespace pixhaul
