// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_log.h"

#include "framework/line_breaks.h"

namespace pixhaul {

std::vector<std::string> SplitPaneLines(const std::string& text) {
  // Every byte is shown: a NUL does not end the text here.
  std::vector<std::string> lines;
  LineScanner scanner(text);
  for (std::string_view line; scanner.Next(line);) lines.emplace_back(line);
  // A text ending in a break still ends with the (empty) line after it: the pane shows the
  // break, so "a\r\n" is the line "a" followed by an empty line; the empty text is one empty
  // line.
  if (lines.empty() || scanner.LineEnded()) lines.emplace_back();
  return lines;
}

std::vector<std::string> RunLogPane::Append(const std::string& text) {
  std::vector<std::string> added = SplitPaneLines(text);
  lines_.insert(lines_.end(), added.begin(), added.end());
  return added;
}

}  // namespace pixhaul
