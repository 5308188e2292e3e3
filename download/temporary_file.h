// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TemporaryFile: the file a download worker streams its body into, in the save folder beside
// the target. It takes the target's name only when committed, so a partial or failed body never
// appears under the image's name; a file that is not committed is removed when the object goes,
// on every path. It is a ReplacementFile (framework/replacement_file.h) seen through a buffered
// stream: unnamed until committed where the file system allows, else under a hidden name that
// carries this process's id and the worker's index.
//
// Owned by one worker and used on its thread only.
//
// Tests: tests/download/down_tile_thread_test.cpp.
#pragma once

#include <memory>
#include <string>

#include "framework/file_stream.h"
#include "framework/replacement_file.h"

namespace pixhaul {

class TemporaryFile {
 public:
  // Creates the file in the folder of `target`, for that target. `tag` goes into the
  // temporary name (the worker's index) to tell files apart when looking. Raises EFCreateError
  // "Cannot create file %s", with the target's path, when no file can be created there (the
  // folder is gone or not writable).
  TemporaryFile(FileTarget target, int tag);
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // The stream over the file; the body is written to it as it arrives.
  TFileStream& Stream() { return *stream_; }
  const std::string& TargetPath() const { return file_.TargetPath(); }

  // Writes out what the stream still buffers and closes the stream, so the whole body can be
  // read back through Handle() before it is given its name. Raises EWriteError "Stream write
  // error" when the bytes cannot all be written. Commit does this itself when it was not done.
  void Finish();
  // The file, for reading back what was written; -1 once committed.
  int Handle() const { return file_.Handle(); }

  // Writes out what the stream still buffers, closes the file and renames it onto the target,
  // replacing a file of that name. Raises EWriteError "Stream write error" when the bytes
  // cannot all be written, EFCreateError "Cannot create file %s" (the target) when the rename
  // is refused; the temporary file is then removed when this object goes.
  void Commit();

 private:
  ReplacementFile file_;
  // Writes through a descriptor of its own, so that closing it reports the stream's failures
  // while the replacement still holds the file to name it.
  std::unique_ptr<TFileStream> stream_;
  bool finished_ = false;
};

}  // namespace pixhaul
