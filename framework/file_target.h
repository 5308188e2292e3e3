// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// FileTarget: where a file that is written goes. Its path is what messages name; a target
// that also carries an open folder is made under its name (the path's part after the last
// "/") in that very folder, found through the descriptor rather than the path, so a folder
// renamed, or replaced by a link, while the file is written never sends it anywhere else.
// A plain value; the descriptor is the caller's and must stay open while the target is used.
//
// Tests: tests/framework/replacement_file_test.cpp and tests/download/run_with_workers_test.cpp.
#pragma once

#include <fcntl.h>

#include <string>
#include <utility>

namespace pixhaul {

struct FileTarget {
  // A file named by its path alone.
  FileTarget(std::string path) : path(std::move(path)) {}  // NOLINT: a path is a target
  FileTarget(const char* path) : path(path) {}             // NOLINT: a path is a target
  // A file named `path` whose name lives in the open folder `folder`.
  FileTarget(int folder, std::string path) : path(std::move(path)), folder(folder) {}

  // The file's name in its folder: the path's part after its last "/".
  std::string Name() const {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }
  // What the *at calls take for the file: its open folder and its name there, else the
  // current folder and the whole path.
  int AtFolder() const { return folder >= 0 ? folder : AT_FDCWD; }
  std::string AtName() const { return folder >= 0 ? Name() : path; }

  std::string path;
  int folder = -1;  // an open descriptor of the file's folder, or -1: the folder the path names
};

}  // namespace pixhaul
