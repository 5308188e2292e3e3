// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The log pane's lines: how one log call's text becomes pane lines.
#include "download/run_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pixhaul::test {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitPaneLines, EveryBreakShowsAndEveryByteIsKept) {
  using namespace std::string_literals;
  struct Row {
    std::string text;
    Lines lines;
  };
  const Row rows[] = {
      {"", {""}},                    // the empty text is one empty line
      {"a", {"a"}},                  //
      {"a\r\n", {"a", ""}},          // a final break shows as an empty line after it
      {"\r\n", {"", ""}},            //
      {"a\r\n\nb", {"a", "", "b"}},  // CR LF is one break, the LF after it another
      {"a\r\rb\n\rc", {"a", "", "b", "", "c"}},
      {"a\0b\nc"s, {"a\0b"s, "c"}},  // a NUL is an ordinary byte of the pane
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SplitPaneLines(row.text), row.lines) << "text: " << row.text;
    RunLogPane pane;
    pane.Append("x");
    EXPECT_EQ(pane.Append(row.text), row.lines) << "text: " << row.text;
    EXPECT_EQ(pane.Lines().size(), row.lines.size() + 1) << "text: " << row.text;
  }
}

}  // namespace
}  // namespace pixhaul::test
