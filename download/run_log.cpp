#include "download/run_log.h"

namespace pixhaul {

std::vector<std::string> SplitPaneLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(current);
      current.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      current.push_back(c);
    }
  }
  // A text ending in a break still ends with the (empty) line after it: the pane shows the
  // break, so "a\r\n" is the line "a" followed by an empty line.
  lines.push_back(current);
  return lines;
}

std::vector<std::string> RunLogPane::Append(const std::string& text) {
  std::vector<std::string> added = SplitPaneLines(text);
  lines_.insert(lines_.end(), added.begin(), added.end());
  return added;
}

}  // namespace pixhaul
