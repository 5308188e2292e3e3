// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// FolderListing: the entries of an open folder, read through a descriptor of its own, so a
// folder held only for naming files (O_PATH) can be listed too, and the listing is of that
// folder whatever its path names by now. Closed on every path out of a scope; one thread.
//
// Tests: tests/download/duplicate_index_test.cpp and tests/download/run_controller_test.cpp.
#pragma once

#include <dirent.h>

#include <memory>

namespace pixhaul {

struct FolderListingCloser {
  void operator()(DIR* listing) const { ::closedir(listing); }
};
using FolderListing = std::unique_ptr<DIR, FolderListingCloser>;

// The listing of `folder` (an open descriptor, or AT_FDCWD); null when it cannot be read.
FolderListing ListFolder(int folder);

}  // namespace pixhaul
