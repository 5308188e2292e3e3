// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// PageTextStream: a saved page read as the line list would give its text - every line followed
// by CR LF, nothing from the first NUL on - a chunk at a time, into a window that holds only
// the part a scan still needs.
//
// Positions are offsets into that whole text; the window holds [Begin(), End()). A scan asks
// for More() text and says from where on it still needs the old text, so memory stays about two
// chunks plus what the scan keeps (a long address grows the window instead). The views it hands
// out stay valid until the next More(). One thread at a time.
//
// Tests: tests/harvest/marker_scan_test.cpp and tests/harvest/rules_scan_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "framework/posix_file.h"

namespace pixhaul {

// A saved page to read: its path, and a descriptor of the file when the caller has it open
// already (not owned; it must stay open while the page is read). A page with a descriptor is
// read from that very file, from its start, whatever now bears its name; the path then only
// names it in messages.
struct PageFile {
  PageFile(std::string pagePath) : path(std::move(pagePath)) {}  // NOLINT: a path is a page
  PageFile(const char* pagePath) : path(pagePath) {}             // NOLINT: a path is a page
  PageFile(std::string pagePath, int pageDescriptor)
      : path(std::move(pagePath)), descriptor(pageDescriptor) {}

  std::string path;
  int descriptor = -1;
};

class PageTextStream {
 public:
  // Opens the page (or takes a descriptor of its own of the page's file, read from its start)
  // and reads its first chunk (`chunkBytes`, at least 1), so an unreadable page (a folder, say)
  // fails here, before anything else is done. Raises EFOpenError "Cannot open file %s", also
  // later from More() when a read fails. The descriptor of a page shares its offset: pages of
  // one file are read one after the other, never side by side.
  PageTextStream(const PageFile& page, size_t chunkBytes);

  size_t Begin() const { return base_; }
  size_t End() const { return base_ + used_; }
  // The text of [from, to); Begin() <= from <= to <= End().
  std::string_view View(size_t from, size_t to) const {
    return {window_.get() + (from - base_), to - from};
  }
  // True once the whole text is in: End() is the end of the page.
  bool Complete() const { return complete_; }
  // The size of the page's file when it was opened; 0 for a file that tells none (a pipe).
  uint64_t FileBytes() const { return fileBytes_; }

  // Drops the text before `keepFrom` (Begin() <= keepFrom <= End()) when that frees most of the
  // window, then appends text until End() has grown; false when the text is complete.
  bool More(size_t keepFrom);

 private:
  void Compact(size_t drop);
  void Reserve(size_t bytes);
  size_t ReadPiece(size_t bytes);
  void Normalise(const char* pos, size_t size);
  void Finish();

  std::string path_;
  FileDescriptor file_;
  uint64_t fileBytes_ = 0;
  size_t chunkBytes_;  // file bytes read per More()
  size_t pieceBytes_;  // file bytes read per read()
  std::unique_ptr<char[]> piece_;
  std::unique_ptr<char[]> window_;
  size_t capacity_ = 0;
  size_t base_ = 0;  // text position of window_[0]
  size_t used_ = 0;
  bool pendingCr_ = false;
  bool lineOpen_ = false;  // text appended since the last line end
  bool complete_ = false;
};

}  // namespace pixhaul
