// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// RulesFileText: the text of a rules file, read once through one open file, and its sections
// read the way the settings file's INI accessor reads them (lines broken at CR, LF or CR LF; of
// several sections of one name the first counts). A UTF-8 byte-order mark at the start is
// skipped; a NUL byte anywhere is a fault naming its line, since the rest would go unread.
//
// Only a regular file of at most kMaxRulesFileBytes is read: a folder, a pipe or a device in
// the file's place, or a larger file, is a fault, so no rules file can hold the program or
// fill its memory. Reading it once keeps what is compiled to one state of the file, however it
// changes meanwhile. The object owns the text; the views it hands out live as long as it does.
// One thread at a time.
//
// Tests: tests/harvest/rules_file_test.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pixhaul {

inline constexpr size_t kMaxRulesFileBytes = size_t{1} << 20;

// A section line: its line number (from 1) and its name, blanks around it dropped.
struct RulesFileSection {
  size_t line = 0;
  std::string_view name;
};

// A `key=value` line of a section, blanks around both dropped.
struct RulesFileKey {
  std::string_view key;
  std::string_view value;
};

class RulesFileText {
 public:
  // Reads the file at `path`. Never raises except for lack of memory.
  explicit RulesFileText(const std::string& path);

  // True when there is no file of that name (nor a folder on its way).
  bool Missing() const { return missing_; }
  // What is wrong when the file cannot be taken, such as "the rules file cannot be read
  // (Permission denied)" or "the rules file is larger than 1 MiB"; empty once it is read.
  const std::string& Fault() const { return fault_; }

  // The key lines of the first section named `section` (letter case ignored), in file order;
  // empty when the file has no such section.
  std::vector<RulesFileKey> SectionKeys(std::string_view section) const;
  // Every section line, in file order.
  std::vector<RulesFileSection> Sections() const;

 private:
  bool ReadFrom(int fd);

  std::string text_;
  bool missing_ = false;
  std::string fault_;
};

}  // namespace pixhaul
