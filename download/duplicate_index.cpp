// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/duplicate_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <xxhash.h>

#include <cstring>

#include "download/run_preparation.h"
#include "framework/folder_listing.h"
#include "framework/mapped_file.h"
#include "framework/posix_file.h"
#include "framework/replacement_file.h"

namespace pixhaul {

namespace {

int64_t FileSize(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  return status.st_size;
}

bool IsRunTextFile(const std::string& name) {
  return name == kPageFileName || name == kListFileName || name == kLogFileName ||
         name == kLockFileName;
}

}  // namespace

std::pair<uint64_t, uint64_t> ContentHash(int fd) {
  const MappedFile file(fd, "(download)");
  const std::string_view bytes = file.Bytes();
  const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
  return {hash.high64, hash.low64};
}

DuplicateIndex::DuplicateIndex(const std::string& folder)
    : DuplicateIndex(RunFolder::Open(folder).value_or(RunFolder())) {}

DuplicateIndex::DuplicateIndex(RunFolder folder) : folder_(std::move(folder)) {
  const int folderFd = folder_.Descriptor();
  if (folderFd < 0) return;
  const FolderListing listing = ListFolder(folderFd);
  if (!listing) return;
  while (const dirent* item = ::readdir(listing.get())) {
    const std::string name = item->d_name;
    if (name == "." || name == ".." || IsRunTextFile(name) || TemporaryFileOwner(name)) continue;
    struct stat status {};
    if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode))
      continue;
    byName_[name] = Entry{status.st_size, std::nullopt};
    bySize_.emplace(status.st_size, name);
  }
}

size_t DuplicateIndex::Count() const {
  std::lock_guard lock(mutex_);
  return byName_.size();
}

size_t DuplicateIndex::FilesHashed() const {
  std::lock_guard lock(mutex_);
  return filesHashed_;
}

bool DuplicateIndex::SameBytes(int body, int64_t size, const Hash& bodyHash,
                               const std::string& name, Entry& entry) {
  const FileDescriptor file(
      OpenAtRetrying(folder_.Descriptor(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (file.Get() < 0 || FileSize(file.Get()) != size) return false;
  try {
    if (!entry.hash) {
      entry.hash = ContentHash(file.Get());
      ++filesHashed_;
    }
    if (*entry.hash != bodyHash) return false;
    // Equal hashes: the bytes decide.
    const MappedFile kept(file.Get(), name.c_str());
    const MappedFile candidate(body, name.c_str());
    return kept.Bytes() == candidate.Bytes();
  } catch (...) {
    return false;  // a file that cannot be read is no match
  }
}

std::optional<std::string> DuplicateIndex::KeepUnlessDuplicate(int body, const std::string& name,
                                                               const std::function<void()>& keep) {
  const int64_t size = FileSize(body);
  std::optional<Hash> bodyHash;
  std::lock_guard lock(mutex_);
  if (size >= 0) {
    const auto [first, last] = bySize_.equal_range(size);
    for (auto it = first; it != last; ++it) {
      if (!bodyHash) {
        bodyHash = ContentHash(body);
        ++filesHashed_;
      }
      Entry& entry = byName_.at(it->second);
      if (SameBytes(body, size, *bodyHash, it->second, entry)) return it->second;
    }
  }
  keep();
  // The name may have held another image (two addresses can share a file name).
  if (const auto old = byName_.find(name); old != byName_.end()) {
    const auto [first, last] = bySize_.equal_range(old->second.size);
    for (auto it = first; it != last; ++it) {
      if (it->second == name) {
        bySize_.erase(it);
        break;
      }
    }
    byName_.erase(old);
  }
  byName_[name] = Entry{size, bodyHash};
  bySize_.emplace(size, name);
  return std::nullopt;
}

}  // namespace pixhaul
