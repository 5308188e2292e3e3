// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// RunLogPane: the lines of the run log as the log pane holds them, for windows that keep the
// pane themselves (the console of pixhaul-cli, test windows).
//
// Every log call appends one entry; an entry whose text holds line breaks (CR LF, a lone CR or
// a lone LF) shows as several lines, and the empty text is one empty line. The pane is owned
// by its window and touched on the main thread only.
#pragma once

#include <string>
#include <vector>

namespace pixhaul {

// The pane lines one log call produces: the text split at CR LF, CR and LF.
std::vector<std::string> SplitPaneLines(const std::string& text);

class RunLogPane {
 public:
  void Clear() { lines_.clear(); }
  // Appends one log call's text and returns the lines it added, in order.
  std::vector<std::string> Append(const std::string& text);
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

}  // namespace pixhaul
