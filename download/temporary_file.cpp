#include "download/temporary_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "framework/exception.h"
#include "framework/posix_file.h"

namespace pixhaul {

namespace {

// How many names are tried before creation counts as failed: only a collision with a name
// some other file already has leads to another try.
constexpr int kNameAttempts = 16;

std::string TemporaryName(int tag) {
  thread_local std::mt19937 random{std::random_device{}()};
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, ".pixhaul-%ld-%d-%08x.part", static_cast<long>(::getpid()),
                tag, static_cast<unsigned>(random()));
  return buffer;
}

}  // namespace

TemporaryFile::TemporaryFile(const std::string& folder, const std::string& fileName, int tag)
    : target_(folder + fileName), folder_(folder), tag_(tag) {
  FileDescriptor file;
  // Naming the file later goes through /proc; without it the file is named from the start.
  if (::access("/proc/self/fd", X_OK) == 0) {
    file = FileDescriptor(OpenRetrying(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
  }
  // A file system without unnamed files, or a folder that is gone: the named way either works
  // or reports the failure.
  for (int attempt = 0; attempt < kNameAttempts && file.Get() < 0; ++attempt) {
    path_ = folder + TemporaryName(tag);
    file = FileDescriptor(OpenRetrying(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.Get() < 0 && errno != EEXIST) break;
  }
  if (file.Get() < 0) {
    path_.clear();
    throw EFCreateError(CannotCreateFileMessage(target_));
  }
  stream_ = std::make_unique<TFileStream>(std::move(file));
}

TemporaryFile::~TemporaryFile() {
  // An unnamed file goes with its descriptor; a named one is removed.
  stream_.reset();
  if (!path_.empty()) ::unlink(path_.c_str());
}

void TemporaryFile::Commit() {
  stream_->Flush();
  if (path_.empty()) {
    // The whole body is in the file: now it gets a name of its own beside the target, from
    // which it takes the target's name (a link cannot replace an existing file).
    const std::string self = "/proc/self/fd/" + std::to_string(stream_->Handle());
    for (int attempt = 0; attempt < kNameAttempts && path_.empty(); ++attempt) {
      std::string candidate = folder_ + TemporaryName(tag_);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        path_ = std::move(candidate);
      } else if (errno != EEXIST) {
        break;
      }
    }
    if (path_.empty()) throw EFCreateError(CannotCreateFileMessage(target_));
  }
  stream_->Close();
  if (::rename(path_.c_str(), target_.c_str()) != 0) {
    throw EFCreateError(CannotCreateFileMessage(target_));
  }
  path_.clear();
}

}  // namespace pixhaul
