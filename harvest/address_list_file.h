// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// AddressListFile: a list file being written - each entry followed by CR LF - through a write
// buffer into a file beside the list's, which takes the list's name only at Finish
// (ReplacementFile): a list that is not finished leaves the list file as it was, and a link
// planted under its name is replaced, never followed.
//
// Entries already written can be compared with a text again (read back from the file when
// they have left the buffer), so a caller can tell repeats without keeping the entries. One
// thread at a time.
//
// Tests: tests/harvest/marker_scan_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/file_target.h"
#include "framework/replacement_file.h"

namespace pixhaul {

class AddressListFile {
 public:
  // Raises EFCreateError "Cannot create file %s".
  explicit AddressListFile(const FileTarget& path);

  // Bytes in the list so far, buffered ones included: where the next entry will start.
  uint64_t Size() const { return flushed_ + buffered_; }

  // Appends `entry` and CR LF. Raises EWriteError "Stream write error".
  void Add(std::string_view entry);

  // True when the entry that started at `offset` (an earlier Size()) is `text`, provided the
  // caller knows its length is text's. Raises EWriteError when it cannot be read back.
  bool EntryAtIs(uint64_t offset, std::string_view text);

  // Writes what is buffered and puts the list in place of the file. Raises EWriteError and
  // EFCreateError "Cannot create file %s" when it cannot take the name.
  void Finish();

 private:
  void Put(std::string_view bytes);
  void Flush();

  ReplacementFile file_;
  std::unique_ptr<char[]> buffer_;
  size_t buffered_ = 0;
  uint64_t flushed_ = 0;  // bytes in the file; the buffer holds what follows
  std::string readBack_;
};

}  // namespace pixhaul
