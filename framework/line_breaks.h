// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Line breaks in 8-bit text: the one splitter of a text into lines.
//
// A line ends at a CR, at an LF, or at a CR LF, which is one break; so "a\r\n\nb" holds the
// lines "a", "" and "b". Whether a NUL byte ends the text is the caller's choice: the line list
// and the page text stop there (TextBeforeNul), the log pane keeps every byte. The scanner
// hands out views into the text it was given, which must outlive them. Pure; any thread.
//
// Tests: tests/framework/string_list_test.cpp.
#pragma once

#include <algorithm>
#include <cstring>
#include <string_view>

namespace pixhaul {

// The part of `text` before its first NUL byte; the whole text when it holds none.
inline std::string_view TextBeforeNul(std::string_view text) {
  const void* nul = text.empty() ? nullptr : std::memchr(text.data(), '\0', text.size());
  return nul ? text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()))
             : text;
}

// Walks a text line by line. Each byte is searched at most once for CR and once for LF, so a
// long text splits at the speed of memchr.
class LineScanner {
 public:
  explicit LineScanner(std::string_view text)
      : pos_(text.data()),
        end_(text.data() + text.size()),
        nextCr_(Find(pos_, '\r')),
        nextLf_(Find(pos_, '\n')) {}

  // Takes the next line, without its break, into `line`; false once the text is used up. A
  // last line without a break is taken like any other; a break that ends the text adds no empty
  // line after it.
  bool Next(std::string_view& line) {
    if (pos_ >= end_) return false;
    if (nextCr_ < pos_) nextCr_ = Find(pos_, '\r');
    if (nextLf_ < pos_) nextLf_ = Find(pos_, '\n');
    const char* stop = std::min(nextCr_, nextLf_);
    line = std::string_view(pos_, static_cast<size_t>(stop - pos_));
    lineEnded_ = stop < end_;
    pos_ = stop;
    if (pos_ < end_ && *pos_ == '\r') ++pos_;
    if (pos_ < end_ && *pos_ == '\n') ++pos_;
    return true;
  }

  // True when the line Next took last ended with a break; false for a last line without one,
  // and before the first line.
  bool LineEnded() const { return lineEnded_; }

 private:
  // The first `byte` at or after `from`, or the end of the text.
  const char* Find(const char* from, char byte) const {
    if (from >= end_) return end_;
    const void* hit = std::memchr(from, byte, static_cast<size_t>(end_ - from));
    return hit ? static_cast<const char*>(hit) : end_;
  }

  const char* pos_;
  const char* end_;
  const char* nextCr_;  // the first CR at or after the last search, or end_
  const char* nextLf_;  // the first LF at or after the last search, or end_
  bool lineEnded_ = false;
};

}  // namespace pixhaul
