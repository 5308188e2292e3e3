// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/string_list.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "framework/exception.h"
#include "framework/line_file_reader.h"
#include "framework/posix_file.h"
#include "tests/support/raised.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

std::vector<std::string> LinesOf(const TStringList& list) { return list.Lines(); }

// The lines the streaming reader gives of the file at `path`, reading `blockBytes` at a time.
std::vector<std::string> ReaderLines(const std::string& path, size_t blockBytes) {
  const FileDescriptor file(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC));
  LineFileReader reader(file.Get(), path, blockBytes);
  std::vector<std::string> lines;
  for (std::string_view line; reader.Next(line);) lines.emplace_back(line);
  return lines;
}

struct SplitCase {
  std::string bytes;
  std::vector<std::string> lines;
};

std::string Printable(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\0')
      out += "\\0";
    else
      out += c;
  }
  return out;
}

TEST(TStringList, LoadSplitsAtCrLfAndCrLfAndStopsAtNul) {
  const std::vector<SplitCase> cases = {
      {std::string("a\r\nb\rc\n"), {"a", "b", "c"}},
      {std::string("a\r\n\r\nb"), {"a", "", "b"}},
      {std::string("a\nb"), {"a", "b"}},
      {std::string("a\n\nb\n"), {"a", "", "b"}},
      {std::string("a\r\rb\r"), {"a", "", "b"}},
      {std::string("a\n\rb"), {"a", "", "b"}},  // LF then CR: two endings, not one
      {std::string(""), {}},
      {std::string("\r\n"), {""}},
      {std::string("\n\n"), {"", ""}},
      {std::string("only"), {"only"}},
      {std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
      {std::string("\0abc", 4), {}},
      {std::string("a\r\n\0", 4), {"a"}},
      {std::string(" x \t\r\n"), {" x \t"}},
  };
  TempDir dir;
  for (const SplitCase& c : cases) {
    const std::string path = dir.File("in.txt");
    WriteFileBytes(path, c.bytes);
    TStringList list;
    list.Add("stale line");
    list.LoadFromFile(path);
    EXPECT_EQ(LinesOf(list), c.lines) << "bytes: " << Printable(c.bytes);

    TStringList fromText;
    fromText.SetText(c.bytes);
    EXPECT_EQ(LinesOf(fromText), c.lines) << "SetText of: " << Printable(c.bytes);

    // The one-pass loader must give exactly the whole text of the loaded list.
    EXPECT_EQ(LoadTextFromFile(path), list.Text()) << "LoadTextFromFile of: " << Printable(c.bytes);
    // And the streaming reader its lines, wherever its reads end (a CR LF split by one).
    for (size_t block : {1, 2, 3, 64 * 1024}) {
      EXPECT_EQ(ReaderLines(path, block), c.lines)
          << "block " << block << ": " << Printable(c.bytes);
    }
  }
  EXPECT_THROW(LoadTextFromFile(dir.File("missing.txt")), EFOpenError);
  const FileDescriptor folder(OpenRetrying(dir.Path().c_str(), O_RDONLY | O_DIRECTORY));
  LineFileReader unreadable(folder.Get(), dir.Path());
  std::string_view line;
  EXPECT_EQ(Raised([&] { unreadable.Next(line); }), "EFOpenError: Cannot open file " + dir.Path());
}

TEST(TStringList, SaveWritesEveryLineWithCrLf) {
  TempDir dir;
  const std::string path = dir.File("out.txt");
  TStringList list;
  list.Add("first");
  list.Add("");
  list.Add("third");
  list.SaveToFile(path);
  EXPECT_EQ(ReadFileBytes(path), "first\r\n\r\nthird\r\n");
  EXPECT_EQ(list.Text(), "first\r\n\r\nthird\r\n");
}

TEST(TStringList, SavingAnEmptyListTruncatesToZeroBytes) {
  TempDir dir;
  const std::string path = dir.File("out.txt");
  WriteFileBytes(path, "previous content that must go");
  TStringList list;
  list.SaveToFile(path);
  EXPECT_EQ(ReadFileBytes(path), "");
}

TEST(TStringList, SaveThenLoadKeepsLinesUnchanged) {
  TempDir dir;
  const std::string path = dir.File("round.txt");
  TStringList list;
  for (const char* line : {"http://a/b.jpg", "", "x y", "last"}) list.Add(line);
  list.SaveToFile(path);
  TStringList loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(LinesOf(loaded), LinesOf(list));
}

TEST(TStringList, LoadOfLargeFileKeepsEveryLine) {
  TempDir dir;
  const std::string path = dir.File("big.txt");
  std::string bytes;
  const int kLines = 200000;
  for (int i = 0; i < kLines; ++i) {
    bytes += "line" + std::to_string(i);
    bytes += (i % 3 == 0) ? "\r\n" : (i % 3 == 1 ? "\n" : "\r");
  }
  WriteFileBytes(path, bytes);
  TStringList list;
  list.LoadFromFile(path);
  ASSERT_EQ(list.Count(), kLines);
  EXPECT_EQ(list.Get(0), "line0");
  EXPECT_EQ(list.Get(kLines - 1), "line" + std::to_string(kLines - 1));
  EXPECT_EQ(list.Get(12345), "line12345");
  EXPECT_EQ(ReaderLines(path, 4096), LinesOf(list));
}

TEST(TStringList, OpenAndCreateErrorsNameThePath) {
  TempDir dir;
  const std::string missing = dir.File("no such file.txt");
  TStringList list;
  list.Add("kept");
  EXPECT_EQ(Raised([&] { list.LoadFromFile(missing); }),
            "EFOpenError: Cannot open file " + missing);
  EXPECT_EQ(list.Count(), 1) << "a failed load leaves the list as it was";

  const std::string inMissingFolder = dir.File("nofolder/out.txt");
  EXPECT_EQ(Raised([&] { list.SaveToFile(inMissingFolder); }),
            "EFCreateError: Cannot create file " + inMissingFolder);
}

TEST(TStringList, LoadingAFolderIsAnOpenError) {
  TempDir dir;
  TStringList list;
  EXPECT_THROW(list.LoadFromFile(dir.Path()), EFOpenError);
}

TEST(TStringList, IndexOperationsCheckBounds) {
  TStringList list;
  EXPECT_EQ(list.Add("b"), 0);
  list.Insert(0, "a");
  list.Insert(2, "d");
  list.Insert(2, "c");
  EXPECT_EQ(LinesOf(list), (std::vector<std::string>{"a", "b", "c", "d"}));
  list.Put(1, "B");
  list.Delete(3);
  EXPECT_EQ(LinesOf(list), (std::vector<std::string>{"a", "B", "c"}));
  EXPECT_EQ(Raised([&] { list.Get(3); }), "EListError: List index out of bounds (3)");
  EXPECT_THROW(list.Get(-1), EListError);
  EXPECT_THROW(list.Insert(5, "x"), EListError);
  EXPECT_THROW(list.Delete(3), EListError);

  TStringList other;
  other.Add("z");
  list.AddStrings(other);
  list.AddStrings(list);
  EXPECT_EQ(list.Count(), 8);
  other.Assign(list);
  EXPECT_EQ(LinesOf(other), LinesOf(list));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace pixhaul::test
