// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// DuplicateIndex: the images of one run's save folder by size, for the check that an image
// just downloaded is not a second copy of one the folder already holds. Sizes are compared
// first; only files whose size matches are hashed (xxHash, XXH3 128-bit, each at most once),
// and equal hashes are confirmed byte for byte. So a folder of 10 000 images of other sizes
// costs no reading at all.
//
// Shared by the run's workers (each holds it while it lives), so every member is safe from any
// thread: the check and the keeping of a new image happen under one lock, and two workers that
// finish the same bytes at the same moment keep exactly one of them.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "download/run_folder.h"

namespace pixhaul {

class DuplicateIndex {
 public:
  // Indexes the regular files directly in `folder` (ending in "/") by size, without reading
  // them; the run's own text files and temporary files are left out. A folder that cannot be
  // listed gives an empty index.
  explicit DuplicateIndex(const std::string& folder);
  // The same for the open folder of a run; later looks go to that folder.
  explicit DuplicateIndex(RunFolder folder);
  DuplicateIndex(const DuplicateIndex&) = delete;
  DuplicateIndex& operator=(const DuplicateIndex&) = delete;

  // The name of an indexed image with the same bytes as the open file `body`, and then nothing
  // else is done; otherwise runs `keep` (which gives the body the name `name` in the folder),
  // indexes it under that name and returns nothing. What `keep` raises passes through, and the
  // body is then not indexed. An indexed file that has gone or changed is not a match.
  std::optional<std::string> KeepUnlessDuplicate(int body, const std::string& name,
                                                 const std::function<void()>& keep);

  // Files indexed, and files hashed so far (bodies included); for tests and benchmarks.
  size_t Count() const;
  size_t FilesHashed() const;

 private:
  using Hash = std::pair<uint64_t, uint64_t>;
  struct Entry {
    int64_t size = 0;
    std::optional<Hash> hash;  // taken when first needed
  };

  bool SameBytes(int body, int64_t size, const Hash& bodyHash, const std::string& name,
                 Entry& entry);

  const RunFolder folder_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Entry> byName_;         // guarded by mutex_
  std::unordered_multimap<int64_t, std::string> bySize_;  // guarded by mutex_
  size_t filesHashed_ = 0;                                // guarded by mutex_
};

// The content hash the index uses, of the whole open file `fd` (from offset 0, by mapping it;
// the descriptor's offset is left alone). Raises EFOpenError when the file cannot be mapped.
std::pair<uint64_t, uint64_t> ContentHash(int fd);

}  // namespace pixhaul
