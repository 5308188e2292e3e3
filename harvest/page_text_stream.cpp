// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/page_text_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "framework/exception.h"
#include "harvest/byte_blocks.h"

namespace pixhaul {

namespace {

// Room in the window beyond two chunks for the text kept across a refill (a marker's start, an
// address being read), so an ordinary page never has to grow the window.
constexpr size_t kWindowSlack = 64 * 1024;

// A chunk is read in pieces this large: a piece read into a small buffer is still in the
// processor's cache when it is copied into the window, where a whole chunk read at once would
// have gone out to memory and come back (which made the copy from the file several times
// dearer).
constexpr size_t kPieceBytes = 32 * 1024;

}  // namespace

namespace {

// A descriptor of the page's file: a copy of the one given, set to the file's start, or the
// file opened by its path.
int OpenPage(const PageFile& page) {
  if (page.descriptor < 0) return OpenRetrying(page.path.c_str(), O_RDONLY | O_CLOEXEC);
  const int copy = ::fcntl(page.descriptor, F_DUPFD_CLOEXEC, 0);
  if (copy >= 0 && ::lseek(copy, 0, SEEK_SET) != 0) {
    ::close(copy);
    return -1;
  }
  return copy;
}

}  // namespace

PageTextStream::PageTextStream(const PageFile& page, size_t chunkBytes)
    : path_(page.path),
      file_(OpenPage(page)),
      chunkBytes_(std::max<size_t>(chunkBytes, 1)),
      pieceBytes_(std::min(chunkBytes_, kPieceBytes)),
      piece_(std::make_unique_for_overwrite<char[]>(pieceBytes_)) {
  if (file_.Get() < 0) throw EFOpenError(CannotOpenFileMessage(path_));
  struct stat info {};
  if (::fstat(file_.Get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
    fileBytes_ = static_cast<uint64_t>(info.st_size);
  Reserve(2 * chunkBytes_ + 2 + kBlockBytes + kWindowSlack);
  More(0);
}

bool PageTextStream::More(size_t keepFrom) {
  Compact(keepFrom - base_);
  const size_t before = used_;
  size_t read = 0;
  while (!complete_ && (read < chunkBytes_ || used_ == before)) {
    const size_t n = ReadPiece(std::min(pieceBytes_, chunkBytes_ - read % chunkBytes_));
    read += n;
    if (n == 0) {
      Finish();
    } else {
      Normalise(piece_.get(), n);
    }
  }
  return used_ > before;
}

// Moves the kept tail to the front only when it is no longer than the dropped head, so every
// byte is moved about once overall; a long address grows the window instead.
void PageTextStream::Compact(size_t drop) {
  if (drop > 0 && drop >= used_ - drop) {
    std::memmove(window_.get(), window_.get() + drop, used_ - drop);
    base_ += drop;
    used_ -= drop;
  }
  // A chunk of lone line breaks doubles, the text may end with one more CR LF, and the last
  // block stored may reach a block beyond what is kept.
  Reserve(used_ + 2 * chunkBytes_ + 2 + kBlockBytes);
}

void PageTextStream::Reserve(size_t bytes) {
  if (bytes <= capacity_) return;
  const size_t capacity = std::max(bytes, 2 * capacity_);
  auto larger = std::make_unique_for_overwrite<char[]>(capacity);
  if (used_ > 0) std::memcpy(larger.get(), window_.get(), used_);
  window_ = std::move(larger);
  capacity_ = capacity;
}

size_t PageTextStream::ReadPiece(size_t bytes) {
  for (;;) {
    const ssize_t n = ::read(file_.Get(), piece_.get(), bytes);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) throw EFOpenError(CannotOpenFileMessage(path_));
  }
}

// Appends the chunk's text, 16 bytes at a time while no line break or NUL is among them. A CR
// that ends a chunk may be the first half of a CR LF whose LF starts the next one; pendingCr_
// carries that across.
void PageTextStream::Normalise(const char* pos, size_t size) {
  const char* in = pos;
  const char* const end = pos + size;
  if (pendingCr_) {
    pendingCr_ = false;
    if (in < end && *in == '\n') ++in;
  }
  const ByteBlock cr = BlockOf('\r');
  const ByteBlock lf = BlockOf('\n');
  const ByteBlock nul = BlockOf('\0');
  char* out = window_.get() + used_;
  bool ended = false;
  while (in < end) {
    if (end - in >= static_cast<ptrdiff_t>(kBlockBytes)) {
      // The whole block is stored (the window has room for it) and kept up to its first
      // special byte.
      const ByteBlock block = LoadBlock(in);
      StoreBlock(out, block);
      const BlockMatches special = (block == cr) | (block == lf) | (block == nul);
      if (!AnyMatch(special)) {
        in += kBlockBytes;
        out += kBlockBytes;
        lineOpen_ = true;
        continue;
      }
      const auto ordinary = static_cast<size_t>(__builtin_ctz(MatchBits(special)));
      in += ordinary;
      out += ordinary;
      lineOpen_ = lineOpen_ || ordinary > 0;
    } else if (*in != '\r' && *in != '\n' && *in != '\0') {
      *out++ = *in++;
      lineOpen_ = true;
      continue;
    }
    const char special = *in++;
    if (special == '\0') {
      ended = true;
      break;
    }
    *out++ = '\r';
    *out++ = '\n';
    lineOpen_ = false;
    if (special == '\r') {
      if (in == end) {
        pendingCr_ = true;
      } else if (*in == '\n') {
        ++in;
      }
    }
  }
  used_ = static_cast<size_t>(out - window_.get());
  if (ended) Finish();
}

// The text ends: a last line without a break gets its CR LF.
void PageTextStream::Finish() {
  if (lineOpen_) {
    window_[used_++] = '\r';
    window_[used_++] = '\n';
    lineOpen_ = false;
  }
  complete_ = true;
}

}  // namespace pixhaul
