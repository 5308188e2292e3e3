// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TempDir: a fresh folder under the system's temporary folder for one test, removed with
// everything in it when the object goes (folders the test made read-only included); and the
// whole-file reads and writes and the folder listing the tests check files with.
//
// Made, used and destroyed on one thread.
#pragma once

#include <string>
#include <vector>

namespace pixhaul::test {

class TempDir {
 public:
  // Raises std::runtime_error when no folder can be made.
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, without a trailing "/".
  const std::string& Path() const { return path_; }
  // The folder followed by "/" and `name`.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The whole content of a file; raises std::runtime_error when it cannot be read, so that a
// missing file is never taken for an empty one.
std::string ReadFileBytes(const std::string& path);
// Replaces the file's content with `bytes`; raises std::runtime_error when that fails.
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The names in a folder, sorted; none when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace pixhaul::test
