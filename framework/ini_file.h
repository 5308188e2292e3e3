// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIniFile: reads and writes one settings file in the usual INI layout.
//
// The object holds only the path; every read goes to the file and every write rewrites it at
// once. The layout is a `[Section]` line followed by `key=value` lines, written with CR LF;
// files with LF or CR endings are read as well. Section and key names compare ignoring ASCII
// letter case, and blanks around names and values are ignored when reading. One thread at a
// time; concurrent writers of the same file (other processes included) are not coordinated.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixhaul {

class TIniFile {
 public:
  // Longest value ReadString returns; longer stored values (and defaults) are cut.
  static constexpr size_t kMaxValueLength = 2047;

  explicit TIniFile(std::string path) : path_(std::move(path)) {}
  const std::string& FileName() const { return path_; }

  // The value of `key` in `section`, or `defaultValue` when the file, the section or the key is
  // absent or the file cannot be read. Never raises.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // The names of the keys in `section`, in file order, each as written (blanks around it
  // dropped), repeats included; empty when the file or the section is absent or the file cannot
  // be read. Of several sections of one name, the first counts, as for ReadString. Never raises
  // except for lack of memory.
  std::vector<std::string> ReadSectionKeys(const std::string& section) const;

  // Stores `value` under `key`, creating the file, the section and the key as needed and
  // keeping every other line. The file is replaced atomically (written beside it, then renamed),
  // so a failure never leaves it half-written. Raises EIniFileException "Unable to write to %s"
  // (the path) when the file cannot be read or written, for example when its folder is missing.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

  // The stored text read as a number: an optional sign followed by decimal digits, or by
  // hexadecimal digits after "0x", "0X" or "$". Anything else, or a number outside the 32-bit
  // range, gives `defaultValue`.
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
  // Stores `value` as decimal text.
  void WriteInteger(const std::string& section, const std::string& key, int value);

 private:
  std::string path_;
};

// The integer rule of ReadInteger applied to `text`; false when the text is not a number.
bool ParseIniInteger(const std::string& text, int& value);

// How TIniFile reads one line, for readers of INI text held in memory. The section name of a
// `[name]` line (blanks around it dropped), or nothing for any other line.
std::optional<std::string_view> IniSectionName(std::string_view line);
// Splits a `key=value` line, blanks and TABs around both dropped; false for a line that holds
// no key (blank, a ';' comment, a section line, no '=').
bool SplitIniKeyLine(std::string_view line, std::string_view& key, std::string_view& value);

}  // namespace pixhaul
