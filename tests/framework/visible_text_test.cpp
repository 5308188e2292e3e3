// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/visible_text.h"

#include <gtest/gtest.h>

#include <string>

namespace pixhaul::test {
namespace {

TEST(VisibleText, ControlBytesBecomeEscapesAndEverythingElseStays) {
  struct Case {
    std::string text;
    bool keepLineBreaks;
    std::string shown;
  };
  const Case cases[] = {
      {"404 Not Found", false, "404 Not Found"},
      {"", false, ""},
      // A bare CR would start a forged log line; an ESC would reach the terminal.
      {"404 x\rT999 forged.jpg: OK", false, "404 x\\rT999 forged.jpg: OK"},
      {"\x1b[2J\x1b]0;title\x07", false, "\\x1b[2J\\x1b]0;title\\x07"},
      {"a\tb\nc\x7f", false, "a\\tb\\nc\\x7f"},
      {std::string("nul\0here", 8), false, "nul\\x00here"},
      // Backslashes, high bytes and ordinary UTF-8 are the address's own.
      {"http://h/a\\b\xc3\xa9\xff.jpg", false, "http://h/a\\b\xc3\xa9\xff.jpg"},
      // C1 controls in their UTF-8 form; a lone 0xC2 stays.
      {"x\xc2\x9b"
       "31m\xc2\x85y\xc2\xa0z\xc2",
       false, "x\\u009b31m\\u0085y\xc2\xa0z\xc2"},
      // The program's own two-line socket message keeps its break; a bare CR still does not.
      {"Socket Error # 10061\r\nConnection refused.", true,
       "Socket Error # 10061\r\nConnection refused."},
      {"a\rb\r\nc\r", true, "a\\rb\r\nc\\r"},
      {"Socket Error # 10061\r\nConnection refused.", false,
       "Socket Error # 10061\\r\\nConnection refused."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VisibleText(c.text, c.keepLineBreaks), c.shown) << "text: [" << c.text << "]";
  }
}

}  // namespace
}  // namespace pixhaul::test
