// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// ReplacementFile: the new content of the file at a path, written to a file of its own in the
// same folder and put in the path's place by one rename only when it is complete. Readers see
// the old file or the whole new one, never a part of it; and a symbolic link planted under the
// path is replaced by the rename, never followed, so the bytes cannot land outside the folder.
// A replacement that is not committed is removed when the object goes, on every path.
//
// Where the file system allows, the file has no name at all until it is committed, so not even
// a killed process leaves it behind. Elsewhere, and for the moment between naming it and the
// rename, it has a hidden name of the form ".pixhaul-PID-TAG-RANDOM.part" that says which
// process owns it (TemporaryFileOwner). The named files of live replacements are known process-
// wide: a process that has to end while some are still being written (a second stop signal,
// workers abandoned at exit) calls AbandonTemporaryFiles first, which removes them and refuses
// any later name.
//
// The new file gets the permission bits of the regular file it replaces, else 0666 less the
// umask. An object is used by one thread at a time; the free functions are for any thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "framework/file_target.h"
#include "framework/posix_file.h"

namespace pixhaul {

struct ReplacementOptions {
  // Flush the bytes to the disk before the rename makes them the file, for a file whose loss
  // at a power cut would matter (the settings). The run's files are written again by each run
  // and skip the cost.
  bool syncBeforeRename = false;
  // Goes into a temporary name (a worker's index) to tell files apart when looking.
  int tag = 0;
  // Whether the file may be created without a name. Only tests turn it off, to take the named
  // way a file system without unnamed files takes.
  bool allowUnnamed = true;
};

class ReplacementFile {
 public:
  // Creates the file in the folder of `target` (its open folder, else the part of its path up
  // to the last "/", or the current folder); every later step names files in that same
  // folder. Raises EFCreateError "Cannot create file %s", with the target's path, when no file
  // can be created there (the folder is missing or not writable, names were abandoned).
  explicit ReplacementFile(FileTarget target);
  ReplacementFile(FileTarget target, ReplacementOptions options);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // The file, open for reading and writing, at offset 0 when created; -1 once committed.
  int Handle() const { return file_.Get(); }
  // A second descriptor of the file (sharing its offset), which stays open after the commit:
  // what was written can be read back from the very file that took the name. Raises
  // EFOpenError "Cannot open file %s" with the target when the system gives no descriptor.
  FileDescriptor Duplicate() const;
  const std::string& TargetPath() const { return target_; }

  // Writes all of `bytes` at the descriptor's offset. Raises EWriteError "Stream write error".
  void Write(std::string_view bytes);

  // Puts the file in the target's place, replacing whatever entry has that name. Raises
  // EWriteError "Stream write error" when the bytes cannot be synced or closing the file
  // reports a failed write, EFCreateError "Cannot create file %s" (the target) when the file
  // cannot take the target's name. After a failure the file is removed when the object goes.
  void Commit();

 private:
  std::string target_;
  std::string name_;       // the target's name in folder_
  FileDescriptor folder_;  // the folder every name is made in
  ReplacementOptions options_;
  FileDescriptor file_;
  std::string tempName_;  // the file's own name in folder_; empty while it has none, and once
                          // committed
};

// The process id a name of this program's temporary files carries, or nothing when `name` is
// not such a name. Any thread.
std::optional<pid_t> TemporaryFileOwner(std::string_view name);

// Removes every named temporary file of this process's live replacements and refuses names to
// later ones (which then fail at creation or commit): for a process about to end with
// replacements still in progress. Unnamed files go with the process anyway. Any thread; the
// process is expected to end soon after.
void AbandonTemporaryFiles();

}  // namespace pixhaul
