// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/line_file_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "framework/exception.h"

namespace pixhaul {

LineFileReader::LineFileReader(int file, std::string path, size_t blockBytes)
    : file_(file), path_(std::move(path)), blockBytes_(std::max<size_t>(blockBytes, 1)) {}

bool LineFileReader::Fill() {
  if (atEnd_) return false;
  // What is still to hand out moves to the front; a line longer than the buffer grows it.
  if (pos_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    base_ += pos_;
    end_ -= pos_;
    pos_ = 0;
  }
  if (buffer_.size() - end_ < blockBytes_) buffer_.resize(std::max(end_ + blockBytes_, 2 * end_));
  ssize_t got;
  do {
    got = ::pread(file_, buffer_.data() + end_, buffer_.size() - end_, static_cast<off_t>(offset_));
  } while (got < 0 && errno == EINTR);
  if (got < 0) throw EFOpenError(CannotOpenFileMessage(path_));
  if (got == 0) {
    atEnd_ = true;
    return false;
  }
  offset_ += static_cast<uint64_t>(got);
  // The text ends at a NUL: what follows it is never read.
  if (const void* nul = std::memchr(buffer_.data() + end_, '\0', static_cast<size_t>(got))) {
    got = static_cast<const char*>(nul) - (buffer_.data() + end_);
    atEnd_ = true;
  }
  end_ += static_cast<size_t>(got);
  return got > 0;
}

size_t LineFileReader::Find(char byte, Search& search, size_t from) {
  const uint64_t fromAt = base_ + from;
  if (search.hit != kNone && search.hit >= fromAt) return static_cast<size_t>(search.hit - base_);
  const uint64_t start = std::max(fromAt, search.searchedTo);
  const uint64_t endAt = base_ + end_;
  const void* hit = start < endAt ? std::memchr(buffer_.data() + (start - base_), byte,
                                                static_cast<size_t>(endAt - start))
                                  : nullptr;
  if (hit == nullptr) {
    search = Search{kNone, endAt};
    return end_;
  }
  const size_t index = static_cast<size_t>(static_cast<const char*>(hit) - buffer_.data());
  search = Search{base_ + index, base_ + index + 1};
  return index;
}

bool LineFileReader::Next(std::string_view& line) {
  if (ended_) return false;
  for (;;) {
    const size_t at = std::min(Find('\r', cr_, pos_), Find('\n', lf_, pos_));
    if (at == end_) {
      if (Fill()) continue;
      ended_ = true;
      if (pos_ == end_) return false;
      line = std::string_view(buffer_.data() + pos_, end_ - pos_);
      pos_ = end_;
      return true;
    }
    // A CR at the end of what is read may be the first half of a CR LF.
    // (A read that finds the end may still have moved the buffer: look again either way.)
    if (buffer_[at] == '\r' && at + 1 == end_ && !atEnd_) {
      Fill();
      continue;
    }
    const char* const held = buffer_.data();
    line = std::string_view(held + pos_, at - pos_);
    pos_ = at + 1;
    if (held[at] == '\r' && pos_ < end_ && held[pos_] == '\n') ++pos_;
    return true;
  }
}

}  // namespace pixhaul
