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
    : target_(folder + fileName) {
  FileDescriptor file;
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
  stream_.reset();
  if (!path_.empty()) ::unlink(path_.c_str());
}

void TemporaryFile::Commit() {
  stream_->Close();
  if (::rename(path_.c_str(), target_.c_str()) != 0) {
    throw EFCreateError(CannotCreateFileMessage(target_));
  }
  path_.clear();
}

}  // namespace pixhaul
