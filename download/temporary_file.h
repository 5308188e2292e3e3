// TemporaryFile: the file a download worker streams its body into, in the save folder beside
// the target. It takes the target's name only when committed, so a partial or failed body never
// appears under the image's name; a file that is not committed is removed when the object goes,
// on every path. Where the file system allows, the file has no name at all until it is
// committed, so not even a process killed mid-download leaves it behind; elsewhere it has a
// hidden name no other worker or process uses.
//
// Owned by one worker and used on its thread only.
#pragma once

#include <memory>
#include <string>

#include "framework/file_stream.h"

namespace pixhaul {

class TemporaryFile {
 public:
  // Creates the file in `folder` (which ends in "/") for the target `folder` + `fileName`.
  // `tag` goes into the temporary name (the worker's index) to tell files apart when looking.
  // Raises EFCreateError "Cannot create file %s", with the target's path, when no file can be
  // created there (the folder is gone or not writable).
  TemporaryFile(const std::string& folder, const std::string& fileName, int tag);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // The stream over the file; the body is written to it as it arrives.
  TFileStream& Stream() { return *stream_; }
  const std::string& TargetPath() const { return target_; }

  // Writes out what the stream still buffers, closes the file and renames it onto the target,
  // replacing a file of that name. Raises EWriteError "Stream write error" when the bytes
  // cannot all be written, EFCreateError "Cannot create file %s" (the target) when the rename
  // is refused; the temporary file is then removed when this object goes.
  void Commit();

 private:
  std::string target_;
  std::string folder_;
  int tag_;
  std::string path_;  // the file's name; empty while it has none, and once committed
  std::unique_ptr<TFileStream> stream_;
};

}  // namespace pixhaul
