// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_folder.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace pixhaul {

std::optional<RunFolder> RunFolder::Open(const std::string& path) {
  FileDescriptor open = OpenFolder(path.c_str());
  if (open.Get() < 0) return std::nullopt;
  RunFolder folder;
  folder.path_ = path;
  folder.handle_ = std::make_shared<const FileDescriptor>(std::move(open));
  return folder;
}

bool RunFolder::Holds(const std::string& name) const {
  const FileTarget file = File(name);
  struct stat info {};
  return !name.empty() && ::fstatat(file.AtFolder(), file.AtName().c_str(), &info, 0) == 0 &&
         !S_ISDIR(info.st_mode);
}

}  // namespace pixhaul
