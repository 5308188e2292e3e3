// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>
#include <utility>

#include "framework/exception.h"
#include "framework/file_utils.h"

namespace pixhaul {

namespace {

constexpr std::string_view kNamePrefix = ".pixhaul-";
constexpr std::string_view kNameSuffix = ".part";
constexpr size_t kRandomDigits = 8;

// How many names are tried before creation counts as failed: only a collision with a name some
// other file already has leads to another try.
constexpr int kNameAttempts = 16;

// The names this process has given its temporary files and not yet taken back. A name is
// created and recorded, and removed and forgotten, under the one lock, so whoever takes a name
// out of the set is the one who removes the file.
struct NamedFiles {
  std::mutex mutex;
  // (folder, name): the folder's descriptor stays open while its entry is here.
  std::set<std::pair<int, std::string>> files;  // guarded by mutex
  bool abandoned = false;                       // guarded by mutex
};

NamedFiles& Named() {
  static NamedFiles named;
  return named;
}

std::string TemporaryName(int tag) {
  thread_local std::mt19937 random{std::random_device{}()};
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, ".pixhaul-%ld-%d-%08x.part", static_cast<long>(::getpid()),
                tag, static_cast<unsigned>(random()));
  return buffer;
}

// An unnamed file is given its name through /proc (a link from the descriptor needs no
// privilege that way); without /proc it could never be named, so it is not made at all.
bool UnnamedFilesCanBeNamed() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can;
}

// Consumes decimal digits from the front of `text`; false when there are none.
bool TakeDigits(std::string_view& text, long& value) {
  size_t n = 0;
  value = 0;
  while (n < text.size() && text[n] >= '0' && text[n] <= '9' && n < 18) {
    value = value * 10 + (text[n] - '0');
    ++n;
  }
  if (n == 0 || (n < text.size() && text[n] >= '0' && text[n] <= '9')) return false;
  text.remove_prefix(n);
  return true;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

ReplacementFile::ReplacementFile(FileTarget target)
    : ReplacementFile(std::move(target), ReplacementOptions{}) {}

ReplacementFile::ReplacementFile(FileTarget target, ReplacementOptions options)
    : target_(target.path), name_(target.Name()), options_(options) {
  if (target.folder >= 0) {
    folder_ = FileDescriptor(::fcntl(target.folder, F_DUPFD_CLOEXEC, 0));
  } else {
    folder_ = OpenFolder(ExtractFilePath(target_).c_str());
  }
  if (folder_.Get() < 0 || name_.empty()) throw EFCreateError(CannotCreateFileMessage(target_));
  if (options_.allowUnnamed && UnnamedFilesCanBeNamed()) {
    file_ =
        FileDescriptor(OpenAtRetrying(folder_.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
  }
  if (file_.Get() >= 0) return;
  // A file system without unnamed files, or a folder that is not there: the named way either
  // works or reports the failure.
  NamedFiles& named = Named();
  std::lock_guard lock(named.mutex);
  for (int attempt = 0; attempt < kNameAttempts && !named.abandoned; ++attempt) {
    std::string candidate = TemporaryName(options_.tag);
    file_ = FileDescriptor(OpenAtRetrying(folder_.Get(), candidate.c_str(),
                                          O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file_.Get() >= 0) {
      named.files.emplace(folder_.Get(), candidate);
      tempName_ = std::move(candidate);
      return;
    }
    if (errno != EEXIST) break;
  }
  throw EFCreateError(CannotCreateFileMessage(target_));
}

ReplacementFile::~ReplacementFile() {
  file_ = FileDescriptor();
  if (tempName_.empty()) return;
  NamedFiles& named = Named();
  std::lock_guard lock(named.mutex);
  // Abandoned names were removed already.
  if (named.files.erase({folder_.Get(), tempName_}) > 0) {
    ::unlinkat(folder_.Get(), tempName_.c_str(), 0);
  }
}

FileDescriptor ReplacementFile::Duplicate() const {
  FileDescriptor copy(::fcntl(file_.Get(), F_DUPFD_CLOEXEC, 0));
  if (copy.Get() < 0) throw EFOpenError(CannotOpenFileMessage(target_));
  return copy;
}

void ReplacementFile::Write(std::string_view bytes) {
  if (!WriteAll(file_.Get(), bytes.data(), bytes.size())) throw EWriteError(kStreamWriteError);
}

void ReplacementFile::Commit() {
  if (options_.syncBeforeRename && ::fsync(file_.Get()) != 0) throw EWriteError(kStreamWriteError);
  // The file takes the place of the one there, and so its permissions. Best effort: a file
  // system that keeps no permissions refuses the change and the default stands.
  struct stat existing {};
  if (::fstatat(folder_.Get(), name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(existing.st_mode)) {
    (void)::fchmod(file_.Get(), existing.st_mode & 07777);
  }
  NamedFiles& named = Named();
  if (tempName_.empty()) {
    // The whole content is in the file: now it gets a name of its own beside the target, from
    // which it takes the target's name (a link cannot replace an existing entry).
    const std::string self = "/proc/self/fd/" + std::to_string(file_.Get());
    std::lock_guard lock(named.mutex);
    for (int attempt = 0; attempt < kNameAttempts && !named.abandoned; ++attempt) {
      std::string candidate = TemporaryName(options_.tag);
      if (::linkat(AT_FDCWD, self.c_str(), folder_.Get(), candidate.c_str(), AT_SYMLINK_FOLLOW) ==
          0) {
        named.files.emplace(folder_.Get(), candidate);
        tempName_ = std::move(candidate);
        break;
      }
      if (errno != EEXIST) break;
    }
    if (tempName_.empty()) throw EFCreateError(CannotCreateFileMessage(target_));
  }
  if (!file_.Close()) throw EWriteError(kStreamWriteError);
  std::lock_guard lock(named.mutex);
  // An abandoned name was removed with the others and must not be put in place any more; a
  // refused rename leaves the name to the destructor.
  if (named.abandoned ||
      ::renameat(folder_.Get(), tempName_.c_str(), folder_.Get(), name_.c_str()) != 0) {
    throw EFCreateError(CannotCreateFileMessage(target_));
  }
  named.files.erase({folder_.Get(), tempName_});
  tempName_.clear();
}

std::optional<pid_t> TemporaryFileOwner(std::string_view name) {
  if (!name.starts_with(kNamePrefix) || !name.ends_with(kNameSuffix)) return std::nullopt;
  name.remove_prefix(kNamePrefix.size());
  name.remove_suffix(kNameSuffix.size());
  long pid = 0;
  long tag = 0;
  if (!TakeDigits(name, pid) || pid <= 0 || !TakeChar(name, '-')) return std::nullopt;
  TakeChar(name, '-');  // a negative tag
  if (!TakeDigits(name, tag) || !TakeChar(name, '-') || name.size() != kRandomDigits) {
    return std::nullopt;
  }
  for (char c : name) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  if (pid > static_cast<long>(INT32_MAX)) return std::nullopt;
  return static_cast<pid_t>(pid);
}

void AbandonTemporaryFiles() {
  NamedFiles& named = Named();
  std::lock_guard lock(named.mutex);
  named.abandoned = true;
  for (const auto& [folder, name] : named.files) ::unlinkat(folder, name.c_str(), 0);
  named.files.clear();
}

}  // namespace pixhaul
