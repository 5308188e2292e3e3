// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/memory_stream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "framework/exception.h"
#include "framework/posix_file.h"

namespace pixhaul {

namespace {

// From this size on the storage is mapped directly, in whole huge pages, and marked for
// transparent huge pages: a large body then costs a few hundred page faults instead of tens
// of thousands, which is most of the price of filling fresh memory.
constexpr size_t kMappedThreshold = size_t{8} << 20;
constexpr size_t kHugePage = size_t{2} << 20;

size_t RoundUpToHugePage(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

}  // namespace

TMemoryStream::~TMemoryStream() { ReleaseStorage(); }

void TMemoryStream::ReleaseStorage() {
  if (mapped_) {
    ::munmap(data_, capacity_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  capacity_ = 0;
  mapped_ = false;
}

void TMemoryStream::Clear() {
  ReleaseStorage();
  size_ = 0;
  position_ = 0;
}

void TMemoryStream::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  if (capacity < kMappedThreshold && !mapped_) {
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) throw EWriteError(kStreamWriteError);
    data_ = static_cast<char*>(grown);
    capacity_ = capacity;
    return;
  }
  const size_t mappedCapacity = RoundUpToHugePage(capacity);
  void* grown;
  if (mapped_) {
    // The kernel moves the pages themselves: nothing is copied and no second copy is resident.
    grown = ::mremap(data_, capacity_, mappedCapacity, MREMAP_MAYMOVE);
    if (grown == MAP_FAILED) throw EWriteError(kStreamWriteError);
  } else {
    grown =
        ::mmap(nullptr, mappedCapacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (grown == MAP_FAILED) throw EWriteError(kStreamWriteError);
    if (size_ > 0) std::memcpy(grown, data_, size_);
    std::free(data_);
    mapped_ = true;
  }
  ::madvise(grown, mappedCapacity, MADV_HUGEPAGE);  // only a hint; refusals are harmless
  data_ = static_cast<char*>(grown);
  capacity_ = mappedCapacity;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EWriteError(kStreamWriteError);
  const auto wanted = static_cast<size_t>(newSize);
  // An explicit size is exact: a counted body pre-sizes once and must not over-reserve.
  Reserve(wanted);
  size_ = wanted;
  if (position_ > newSize) position_ = newSize;
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (position_ >= static_cast<int64_t>(size_)) return 0;
  const size_t available = size_ - static_cast<size_t>(position_);
  const size_t n = std::min(count, available);
  std::memcpy(buffer, data_ + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  const size_t end = static_cast<size_t>(position_) + count;
  if (end > capacity_) {
    // Geometric growth keeps appends amortised O(1); realloc extends large blocks in place.
    Reserve(std::max(end, capacity_ + capacity_ / 2));
  }
  // A write past the end leaves no stale heap bytes in the gap it opens.
  const auto start = static_cast<size_t>(position_);
  if (start > size_) std::memset(data_ + size_, 0, start - size_);
  std::memcpy(data_ + start, buffer, count);
  position_ = static_cast<int64_t>(end);
  size_ = std::max(size_, end);
}

std::span<char> TMemoryStream::ReserveForWrite(size_t wanted) {
  if (wanted == 0) return {};
  const auto start = static_cast<size_t>(position_);
  const size_t end = start + wanted;
  if (end > capacity_) Reserve(std::max(end, capacity_ + capacity_ / 2));
  return {data_ + start, wanted};
}

void TMemoryStream::CommitWrite(size_t count) {
  if (count == 0) return;
  const auto start = static_cast<size_t>(position_);
  const size_t end = start + count;
  if (end > capacity_) throw EWriteError(kStreamWriteError);  // more than was lent
  if (start > size_) std::memset(data_ + size_, 0, start - size_);
  position_ = static_cast<int64_t>(end);
  size_ = std::max(size_, end);
}

void TMemoryStream::SaveToFile(const std::string& path) const {
  FileDescriptor file(OpenRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (file.Get() < 0) throw EFCreateError(CannotCreateFileMessage(path));
  if (!WriteAll(file.Get(), data_, size_) || !file.Close()) throw EWriteError(kStreamWriteError);
}

}  // namespace pixhaul
