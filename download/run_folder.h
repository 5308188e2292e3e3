// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// RunFolder: a run's save folder, opened once when the run locks it. Every file the run makes
// there - its page, list and log, the images and their temporary files - is named through this
// one descriptor (framework/file_target.h), and so is every look for a file already there: a
// folder renamed or swapped for a link in the middle of a run keeps the run's files, and a new
// folder under the old path gets none of them. Copies share the descriptor, which closes with
// the last of them, so a download that ends after its run still writes into the same folder.
// A value; any thread.
//
// Tests: tests/download/run_with_workers_test.cpp (RunFilesStayInTheFolderTheRunLocked).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "framework/file_target.h"
#include "framework/posix_file.h"

namespace pixhaul {

class RunFolder {
 public:
  // No folder: Descriptor() is -1 and files go by their paths.
  RunFolder() = default;

  // The folder at `path` (which ends in "/"), or nothing when it cannot be opened.
  static std::optional<RunFolder> Open(const std::string& path);

  const std::string& Path() const { return path_; }  // ends in "/"
  int Descriptor() const { return handle_ ? handle_->Get() : -1; }
  // The file `name` in this folder.
  FileTarget File(const std::string& name) const { return {Descriptor(), path_ + name}; }
  // True when the folder holds an entry `name` that is not a folder (links followed).
  bool Holds(const std::string& name) const;

 private:
  std::string path_;
  std::shared_ptr<const FileDescriptor> handle_;
};

}  // namespace pixhaul
