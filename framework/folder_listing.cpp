// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/folder_listing.h"

#include <fcntl.h>
#include <unistd.h>

#include "framework/posix_file.h"

namespace pixhaul {

FolderListing ListFolder(int folder) {
  const int fd = OpenAtRetrying(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  FolderListing listing(::fdopendir(fd));
  if (!listing) ::close(fd);
  return listing;
}

}  // namespace pixhaul
