// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdHeaderList: header lines kept as raw texts, one line per entry, with lookups by name.
//
// A line list (TStringList) with header operations added. The list holds the lines in order,
// duplicates and empty lines allowed, never sorted. Lookups compare names ignoring case; reading a
// value joins the continuation lines (entries that begin with a blank or a TAB) that follow its
// line. Storing a value may fold a long line into continuation lines. A list belongs to one client
// (or one header record) and is used by that client's thread only; it takes no locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/string_list.h"

namespace pixhaul {

class TIdHeaderList : public TStringList {
 public:
  // Written between name and value by StoreValue. A lookup uses only the part before its
  // trailing blanks (":" for the default) as the end of a line's name.
  std::string Separator = ": ";
  // When false, a line's name is upper-cased before it is compared. Lookups always ignore case.
  bool MatchCase = false;
  // ValueAt joins the continuation lines that follow the line.
  bool UnfoldOnRead = true;
  // StoreValue folds long lines, and removing or replacing a value removes its continuations.
  bool FoldOnStore = true;
  // Width at which StoreValue folds a line.
  int32_t FoldWidth = 78;

  // The line-list operations (Add, Get, Put, Insert, Delete, Count, Clear, AddStrings, Assign)
  // are those of TStringList; Assign copies lines only, never these settings.

  // The text before the line's first name delimiter (upper-cased unless MatchCase); the empty
  // text for a line without one or an index out of range.
  std::string NameAt(int index) const;
  // The text after the name and its delimiter, joined with the continuation lines when
  // UnfoldOnRead, leading blanks removed; empty for an index out of range.
  std::string ValueAt(int index) const;
  // Index of the first line whose name equals `name` ignoring case, or -1.
  int FindName(const std::string& name) const;
  // ValueAt(FindName(name)).
  std::string ValueOf(const std::string& name) const { return ValueAt(FindName(name)); }
  // Replaces (or appends) the first line named `name` by name + Separator + value, folded when
  // FoldOnStore; an empty value removes that line (and its continuations when FoldOnStore).
  void StoreValue(const std::string& name, const std::string& value);
  // Deletes the continuation lines that follow entry `index`.
  void RemoveContinuations(int index);

  // Splits `line` into pieces of at most `width` characters where it can, breaking only at a
  // blank or a TAB outside double quotes; every piece after the first begins with a blank.
  static std::vector<std::string> FoldLine(const std::string& line, int width);

 private:
  std::string NameDelimiter() const;
};

}  // namespace pixhaul
