// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/file_stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "framework/exception.h"

namespace pixhaul {

TFileStream::TFileStream(FileDescriptor file, size_t bufferBytes)
    : file_(std::move(file)), capacity_(std::max<size_t>(bufferBytes, 1)) {
  struct stat info {};
  if (file_.Get() >= 0 && ::fstat(file_.Get(), &info) == 0 && S_ISREG(info.st_mode)) {
    fileSize_ = info.st_size;
    size_ = info.st_size;
  }
}

TFileStream::~TFileStream() = default;

void TFileStream::Fail() {
  writeFailed_ = true;
  throw EWriteError(kStreamWriteError);
}

void TFileStream::WriteBuffer() {
  if (bufferUsed_ == 0) return;
  if (!WriteAllAt(file_.Get(), buffer_.get(), bufferUsed_, static_cast<off_t>(bufferStart_))) {
    Fail();
  }
  bufferStart_ += static_cast<int64_t>(bufferUsed_);
  fileSize_ = std::max(fileSize_, bufferStart_);
  bufferUsed_ = 0;
}

void TFileStream::PlaceBufferAtPosition() {
  if (bufferUsed_ > 0 && bufferStart_ + static_cast<int64_t>(bufferUsed_) == position_) return;
  WriteBuffer();
  bufferStart_ = position_;
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
}

void TFileStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  PlaceBufferAtPosition();
  if (bufferUsed_ + count > capacity_) {
    WriteBuffer();
    bufferStart_ = position_;
    // A piece at least as large as the buffer gains nothing from being copied into it.
    if (count >= capacity_) {
      if (!WriteAllAt(file_.Get(), static_cast<const char*>(buffer), count,
                      static_cast<off_t>(position_))) {
        Fail();
      }
      position_ += static_cast<int64_t>(count);
      bufferStart_ = position_;
      fileSize_ = std::max(fileSize_, position_);
      size_ = std::max(size_, position_);
      return;
    }
  }
  std::memcpy(buffer_.get() + bufferUsed_, buffer, count);
  bufferUsed_ += count;
  position_ += static_cast<int64_t>(count);
  size_ = std::max(size_, position_);
}

std::span<char> TFileStream::ReserveForWrite(size_t wanted) {
  if (wanted == 0) return {};
  PlaceBufferAtPosition();
  size_t room = capacity_ - bufferUsed_;
  // Lend what is left unless it is a small tail: then the file gets the buffer in one piece
  // and the reader a whole buffer again, so neither side works in small steps.
  if (room == 0 || (room < wanted && room < capacity_ / 4)) {
    WriteBuffer();
    bufferStart_ = position_;
    room = capacity_;
  }
  return {buffer_.get() + bufferUsed_, std::min(wanted, room)};
}

void TFileStream::CommitWrite(size_t count) {
  if (count == 0) return;
  // The room was lent at the position, right after the buffered bytes.
  if (!buffer_ || bufferStart_ + static_cast<int64_t>(bufferUsed_) != position_ ||
      bufferUsed_ + count > capacity_) {
    Fail();
  }
  bufferUsed_ += count;
  position_ += static_cast<int64_t>(count);
  size_ = std::max(size_, position_);
}

void TFileStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EWriteError(kStreamWriteError);
  // Buffered bytes beyond the new end are dropped rather than written.
  const int64_t bufferEnd = bufferStart_ + static_cast<int64_t>(bufferUsed_);
  if (newSize < bufferEnd) {
    bufferUsed_ = newSize <= bufferStart_ ? 0 : static_cast<size_t>(newSize - bufferStart_);
  }
  if (newSize < fileSize_) {
    int result;
    do {
      result = ::ftruncate(file_.Get(), static_cast<off_t>(newSize));
    } while (result != 0 && errno == EINTR);
    if (result != 0) Fail();
    fileSize_ = newSize;
  }
  // A larger size reaches the file only at Flush: a reader that sizes the stream ahead of a
  // body and cuts it back afterwards costs the file nothing.
  size_ = newSize;
  if (position_ > newSize) position_ = newSize;
}

size_t TFileStream::Read(void* buffer, size_t count) {
  Flush();
  size_t done = 0;
  while (done < count && position_ < size_) {
    const size_t want = std::min(count - done, static_cast<size_t>(size_ - position_));
    const ssize_t n = ::pread(file_.Get(), static_cast<char*>(buffer) + done, want,
                              static_cast<off_t>(position_));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
    position_ += n;
  }
  return done;
}

void TFileStream::Flush() {
  WriteBuffer();
  if (fileSize_ != size_) {
    int result;
    do {
      result = ::ftruncate(file_.Get(), static_cast<off_t>(size_));
    } while (result != 0 && errno == EINTR);
    if (result != 0) Fail();
    fileSize_ = size_;
  }
}

void TFileStream::Close() {
  Flush();
  if (!file_.Close()) Fail();
}

}  // namespace pixhaul
