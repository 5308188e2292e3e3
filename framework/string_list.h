// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TStringList: an ordered list of 8-bit texts that loads from and saves to a text file.
//
// Entries may repeat and may be empty; the list is never sorted. On disk every line is followed
// by CR LF. Loading splits at CR, LF or CR LF and stops at the first NUL byte. The list is used
// by one thread at a time; derived lists (the HTTP header list) add their own operations.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pixhaul {

class TStringList {
 public:
  TStringList() = default;
  virtual ~TStringList() = default;
  TStringList(const TStringList&) = default;
  TStringList& operator=(const TStringList&) = default;
  TStringList(TStringList&&) noexcept = default;
  TStringList& operator=(TStringList&&) noexcept = default;

  // Appends `text`; returns its index.
  int Add(std::string text);
  // The text at a 0-based index. Raises EListError "List index out of bounds (%d)" when the
  // index is not in [0, Count()).
  const std::string& Get(int index) const;
  // Replaces the text at `index`; same bounds rule as Get.
  void Put(int index, std::string text);
  // Inserts before `index` (0..Count(), Count() appends); raises EListError otherwise.
  void Insert(int index, std::string text);
  // Removes the text at `index`; same bounds rule as Get.
  void Delete(int index);
  int Count() const { return static_cast<int>(lines_.size()); }
  void Clear() { lines_.clear(); }
  // Appends every line of `other` / replaces this list's lines with those of `other`.
  void AddStrings(const TStringList& other);
  void Assign(const TStringList& other);

  // Every line followed by CR LF, built in one buffer of the exact length.
  std::string Text() const;
  // Replaces the lines with `text` split by the load rule (CR, LF, CR LF end a line; a NUL ends
  // the text; an unterminated last line is kept; a final line ending adds no empty line).
  void SetText(std::string_view text);

  // Reads the whole file and replaces the lines with its content split as by SetText. Raises
  // EFOpenError "Cannot open file %s" when the file cannot be opened or read; the list is left
  // unchanged then.
  void LoadFromFile(const std::string& path);
  // Creates or truncates `path` and writes Text() in one write. Raises EFCreateError
  // "Cannot create file %s" when the file cannot be created, EWriteError "Stream write error"
  // when the bytes cannot all be written.
  void SaveToFile(const std::string& path) const;

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  void CheckIndex(int index, size_t limit) const;

  std::vector<std::string> lines_;
};

// The text that LoadFromFile followed by Text() would give, without building a string per
// line: the file's bytes up to the first NUL with every line ended by CR LF. Raises EFOpenError
// "Cannot open file %s" like LoadFromFile.
std::string LoadTextFromFile(const std::string& path);

}  // namespace pixhaul
