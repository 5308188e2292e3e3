// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/header_list.h"

#include <utility>

#include "framework/ascii_text.h"

namespace pixhaul {

namespace {

bool IsContinuation(const std::string& line) { return !line.empty() && IsSpaceOrTab(line[0]); }

}  // namespace

std::string TIdHeaderList::NameDelimiter() const { return std::string(TrimRightBlanks(Separator)); }

std::string TIdHeaderList::NameAt(int index) const {
  if (index < 0 || index >= Count()) return {};
  const std::string& line = Get(index);
  const std::string delimiter = NameDelimiter();
  const size_t at = delimiter.empty() ? std::string::npos : line.find(delimiter);
  if (at == std::string::npos) return {};
  // Blanks before the delimiter stay part of the name, so "Name : v" matches no lookup.
  std::string name = line.substr(0, at);
  return MatchCase ? name : UpperCase(name);
}

std::string TIdHeaderList::ValueAt(int index) const {
  if (index < 0 || index >= Count()) return {};
  const std::string& line = Get(index);
  const std::string delimiter = NameDelimiter();
  const size_t at = delimiter.empty() ? std::string::npos : line.find(delimiter);
  std::string value = at == std::string::npos ? line : line.substr(at + delimiter.size());
  if (UnfoldOnRead) {
    for (int next = index + 1; next < Count(); ++next) {
      const std::string& continuation = Get(next);
      if (!IsContinuation(continuation)) break;
      if (!value.empty() && !IsSpaceOrTab(value.back())) value += ' ';
      value += TrimLeftBlanks(continuation);
    }
  }
  return std::string(TrimLeftBlanks(value));
}

int TIdHeaderList::FindName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(NameAt(i), name)) return i;
  }
  return -1;
}

void TIdHeaderList::RemoveContinuations(int index) {
  if (index < 0 || index >= Count()) return;
  int end = index + 1;
  while (end < Count() && IsContinuation(Get(end))) ++end;
  if (end - index - 1 <= 8) {
    while (end > index + 1) Delete(--end);
    return;
  }
  // A hostile reply may carry very many continuation lines; rebuild once instead of shifting
  // the tail of the list for every deleted entry.
  TStringList kept;
  for (int i = 0; i < Count(); ++i) {
    if (i <= index || i >= end) kept.Add(Get(i));
  }
  TStringList::Assign(kept);
}

void TIdHeaderList::StoreValue(const std::string& name, const std::string& value) {
  int index = FindName(name);
  if (value.empty()) {
    if (index == -1) return;
    if (FoldOnStore) RemoveContinuations(index);
    Delete(index);
    return;
  }
  if (index == -1) index = Add({});
  const std::string line = name + Separator + value;
  if (!FoldOnStore) {
    Put(index, line);
    return;
  }
  RemoveContinuations(index);
  const std::vector<std::string> pieces = FoldLine(line, FoldWidth);
  Put(index, pieces.front());
  for (size_t i = 1; i < pieces.size(); ++i) {
    Insert(index + static_cast<int>(i), pieces[i]);
  }
}

std::vector<std::string> TIdHeaderList::FoldLine(const std::string& line, int width) {
  std::vector<std::string> pieces;
  std::string rest = line;
  while (width > 0 && rest.size() > static_cast<size_t>(width)) {
    // The last blank outside quotes within the width; failing that, the first one after it,
    // so that a single over-long word stays whole on its own piece.
    size_t breakAt = std::string::npos;
    bool quoted = false;
    bool seenText = false;
    for (size_t i = 0; i < rest.size(); ++i) {
      const char c = rest[i];
      if (!IsBlankChar(c)) seenText = true;
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && IsSpaceOrTab(c) && seenText) {
        if (i <= static_cast<size_t>(width) || breakAt == std::string::npos) breakAt = i;
        if (i >= static_cast<size_t>(width)) break;
      }
    }
    if (breakAt == std::string::npos) break;
    const std::string tail(TrimLeftBlanks(rest.substr(breakAt)));
    pieces.emplace_back(TrimRightBlanks(rest.substr(0, breakAt)));
    if (tail.empty()) {
      rest.clear();
      break;
    }
    rest = " " + tail;
  }
  if (!rest.empty() || pieces.empty()) pieces.emplace_back(TrimRightBlanks(rest));
  return pieces;
}

}  // namespace pixhaul
