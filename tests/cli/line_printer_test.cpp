// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Printing a file's lines with LF endings must give exactly the lines a line list loads from it,
// with their control bytes escaped as the log escapes them, whatever falls on the borders of the
// pieces the file is read in.
#include "cli/line_printer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "framework/exception.h"
#include "framework/string_list.h"
#include "framework/visible_text.h"
#include "tests/support/raised.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::cli {
namespace {

using test::Raised;

using test::TempDir;
using test::WriteFileBytes;

std::string Printed(const std::string& path) {
  std::FILE* out = std::tmpfile();
  PrintFileLines(path, out);
  std::fflush(out);
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(out);
  return text;
}

std::string AsLoaded(const std::string& path) {
  TStringList lines;
  lines.LoadFromFile(path);
  std::string text;
  for (const std::string& line : lines.Lines()) text += VisibleText(line) + "\n";
  return text;
}

TEST(PrintFileLines, PrintsTheLinesALineListLoads) {
  TempDir dir;
  const std::string path = dir.File("list.txt");
  constexpr size_t kPiece = 64 * 1024;  // the printer's read size
  std::vector<std::string> texts = {
      "",
      "a",
      "a\r\n",
      "\r\n\r\n",
      "a\rb\nc\r\n\n\rd",
      std::string("a\r\nb\0c\r\n", 8),
      std::string(kPiece - 1, 'x') + "\r\nnext",  // CR and LF on either side of a border
      std::string(kPiece - 1, 'x') + "\r\rnext",
      std::string(kPiece, 'x') + "\r\n",
      std::string(kPiece - 1, 'x') + "\r" + std::string(1, '\0') + "\nhidden",
      // Terminal controls are shown as escapes, a C1 control split by a border included.
      "http://h/\x1b]0;owned\x07\x1b[2J.jpg\r\nhttp://h/\tb\x7f.jpg",
      std::string(kPiece - 1, 'x') + "\xc2\x9b" + "31m\r\n",
      std::string(kPiece - 1, 'x') + "\xc2",
      std::string(kPiece - 1, 'x') + "\xc2\xa9\xc2",
  };
  std::mt19937 random(5);
  const char* const parts[] = {"http://h/a.jpg", "\r", "\n", "\r\n", "x", "\x1b[", "\xc2", "\x9b"};
  for (int i = 0; i < 20; ++i) {
    std::string text;
    while (text.size() < 3 * kPiece) text += parts[random() % std::size(parts)];
    if (i % 5 == 4) text[random() % text.size()] = '\0';
    texts.push_back(text);
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE("text " + std::to_string(i));
    WriteFileBytes(path, texts[i]);
    EXPECT_TRUE(Printed(path) == AsLoaded(path));
  }
}

TEST(PrintFileLines, UnreadableFileNamesThePath) {
  TempDir dir;
  EXPECT_EQ(Raised([&] { Printed(dir.Path()); }), "EFOpenError: Cannot open file " + dir.Path());
}

}  // namespace
}  // namespace pixhaul::cli
