// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// LineFileReader: the lines of a file, one at a time, split exactly as a line list loads them
// (framework/line_breaks.h: a line ends at CR, LF or CR LF, and a NUL byte ends the text), while
// holding one block of the file and the line at hand only. A file of ten million lines is read
// in the memory of one. One thread. Its tests stand beside the line list's own, in
// tests/framework/string_list_test.cpp, so both split every text alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pixhaul {

class LineFileReader {
 public:
  // Reads the open file `file` from its start, leaving the descriptor's own offset alone;
  // `path` names it in messages. `blockBytes` (at least 1) is the read size.
  LineFileReader(int file, std::string path, size_t blockBytes = 256 * 1024);

  // Takes the next line, without its break, into `line` (valid until the next call); false
  // once the text is used up. Raises EFOpenError "Cannot open file %s" when the file cannot be
  // read.
  bool Next(std::string_view& line);

 private:
  static constexpr uint64_t kNone = UINT64_MAX;
  // Where the first of a byte lies in what is read, remembered with how far it was looked for,
  // so that every byte is searched once for each: a list of LF-only or CR-only lines is split
  // in linear time too. Positions count from the file's start.
  struct Search {
    uint64_t hit = kNone;     // the byte's first place at or after the last start, or kNone
    uint64_t searchedTo = 0;  // the search covered everything before this
  };

  // Reads more behind what is held, keeping the bytes from pos_ on; false at the file's end.
  bool Fill();
  // The buffer index of the first `byte` at or after index `from`, or end_ when none is read.
  size_t Find(char byte, Search& search, size_t from);

  int file_;
  std::string path_;
  size_t blockBytes_;
  std::string buffer_;  // bytes [pos_, end_) are read and not yet handed out
  size_t pos_ = 0;
  size_t end_ = 0;
  uint64_t base_ = 0;  // the file offset of buffer_[0]
  Search cr_;
  Search lf_;
  uint64_t offset_ = 0;  // where the next read starts in the file
  bool atEnd_ = false;   // the file has no more bytes
  bool ended_ = false;   // the text is over (its end or a NUL)
};

}  // namespace pixhaul
