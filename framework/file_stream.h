// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TFileStream: a stream over an open file, written through a bounded buffer.
//
// The stream owns its descriptor. Written bytes collect in a buffer of at most BufferBytes()
// and go to the file when the buffer fills, when a write lands somewhere other than right after
// the buffered bytes, and at Flush or Close; so a body of any size costs the buffer and no
// more, and the file is written in large pieces without waiting for the disk (the bytes go to
// the page cache). Size, Read and the file after Flush all see every byte written, and bytes
// between the written ones and a larger size set with SetSize read as zeros.
//
// Readers may receive straight into the buffer (ReserveForWrite / CommitWrite), so bytes from
// a socket reach the file with no copy of their own beyond the one into the page cache.
//
// Every failure to write, resize or close the file raises EWriteError "Stream write error";
// WriteFailed() then tells that the stream, not its caller, failed. Destroying a stream that
// was not closed drops what is still buffered and closes the descriptor: a stream abandoned on
// a failure path costs no further writes, and callers that keep the file call Close. One
// thread at a time.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "framework/posix_file.h"
#include "framework/stream.h"

namespace pixhaul {

class TFileStream : public TStream {
 public:
  static constexpr size_t kDefaultBufferBytes = 512 * 1024;

  // A stream over `file`, open for writing (and for reading, if Read is to be used), whose
  // current length is taken as the stream's size. The position starts at 0.
  explicit TFileStream(FileDescriptor file, size_t bufferBytes = kDefaultBufferBytes);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Size() const override { return size_; }
  void SetSize(int64_t newSize) override;
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  std::span<char> ReserveForWrite(size_t wanted) override;
  void CommitWrite(size_t count) override;

  // Writes the buffered bytes and gives the file the stream's size.
  void Flush();
  // Flush, then closes the descriptor, reporting a failure the close reveals (a write the
  // file system could not complete). Nothing may be done with the stream afterwards.
  void Close();

  // The descriptor, -1 once closed; for calls on the file itself, not for writing.
  int Handle() const { return file_.Get(); }
  size_t BufferBytes() const { return capacity_; }
  // True once a write, resize or close of the file has failed.
  bool WriteFailed() const { return writeFailed_; }

 private:
  // Writes the buffered bytes to the file (they stay part of the stream).
  void WriteBuffer();
  // Makes the buffer start at the position, writing out bytes buffered elsewhere.
  void PlaceBufferAtPosition();
  [[noreturn]] void Fail();

  FileDescriptor file_;
  std::unique_ptr<char[]> buffer_;  // allocated at the first write
  size_t capacity_;
  int64_t bufferStart_ = 0;  // file offset of buffer_[0]
  size_t bufferUsed_ = 0;    // bytes in buffer_ not yet in the file
  int64_t fileSize_ = 0;     // the file's own length
  int64_t size_ = 0;         // the stream's size: written bytes, buffered ones and SetSize
  bool writeFailed_ = false;
};

}  // namespace pixhaul
