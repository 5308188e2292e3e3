// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Header lines: name and value lookups, unfolding on read, storing with folding.
#include "http/header_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pixhaul::test {
namespace {

TIdHeaderList ListOf(const std::vector<std::string>& lines) {
  TIdHeaderList list;
  for (const auto& line : lines) list.Add(line);
  return list;
}

TEST(TIdHeaderList, DefaultsAtConstruction) {
  TIdHeaderList list;
  EXPECT_EQ(list.Separator, ": ");
  EXPECT_FALSE(list.MatchCase);
  EXPECT_TRUE(list.UnfoldOnRead);
  EXPECT_TRUE(list.FoldOnStore);
  EXPECT_EQ(list.FoldWidth, 78);
  EXPECT_EQ(list.Count(), 0);
}

TEST(TIdHeaderList, NameAndValueOfSingleLines) {
  struct Case {
    std::string line;
    std::string name;
    std::string value;
  };
  const std::vector<Case> cases = {
      {"Content-Type: text/html", "CONTENT-TYPE", "text/html"},
      {"content-length: 1234", "CONTENT-LENGTH", "1234"},
      {"X:   padded  ", "X", "padded  "},  // leading blanks go, trailing blanks stay
      {"Empty:", "EMPTY", ""},
      {"Content-Length : 5", "CONTENT-LENGTH ", "5"},  // blank before colon belongs to name
      {"NoColonHere", "", "NoColonHere"},
      {"Host: h:8080", "HOST", "h:8080"},  // only the first colon ends the name
      {"", "", ""},
  };
  for (const auto& c : cases) {
    const TIdHeaderList list = ListOf({c.line});
    EXPECT_EQ(list.NameAt(0), c.name) << "line: " << c.line;
    EXPECT_EQ(list.ValueAt(0), c.value) << "line: " << c.line;
  }
}

TEST(TIdHeaderList, MatchCaseKeepsNameCase) {
  TIdHeaderList list = ListOf({"Content-Type: a"});
  list.MatchCase = true;
  EXPECT_EQ(list.NameAt(0), "Content-Type");
  // Lookups still ignore case.
  EXPECT_EQ(list.FindName("CONTENT-TYPE"), 0);
}

TEST(TIdHeaderList, ValueAtOutOfRangeIsEmpty) {
  const TIdHeaderList list = ListOf({"A: 1"});
  EXPECT_EQ(list.ValueAt(-1), "");
  EXPECT_EQ(list.ValueAt(1), "");
  EXPECT_EQ(list.NameAt(-1), "");
}

TEST(TIdHeaderList, UnfoldsContinuationLines) {
  struct Case {
    std::vector<std::string> lines;
    std::string value;
  };
  const std::vector<Case> cases = {
      {{"X-Note: first", "  second"}, "first second"},
      {{"X-Note: first", "\tsecond", " third", "Y: z"}, "first second third"},
      {{"X-Note: first ", "  second"}, "first second"},  // no doubled blank
      {{"X-Note: first\t", " second"}, "first\tsecond"},
      {{"X-Note:", "  second"}, "second"},
      {{"X-Note: first", "", "  not-joined"}, "first"},  // an empty entry ends the joining
      {{"X-Note: first", "Other: x", " y"}, "first"},
  };
  for (const auto& c : cases) {
    const TIdHeaderList list = ListOf(c.lines);
    EXPECT_EQ(list.ValueOf("x-note"), c.value) << "first line: " << c.lines[0];
  }
}

TEST(TIdHeaderList, UnfoldOnReadOffReadsOneLine) {
  TIdHeaderList list = ListOf({"X-Note: first", "  second"});
  list.UnfoldOnRead = false;
  EXPECT_EQ(list.ValueOf("X-Note"), "first");
}

TEST(TIdHeaderList, FindNameReturnsFirstMatchIgnoringCase) {
  const TIdHeaderList list = ListOf({"A: 1", "Location: /one", "location: /two"});
  EXPECT_EQ(list.FindName("LOCATION"), 1);
  EXPECT_EQ(list.FindName("missing"), -1);
  EXPECT_EQ(list.ValueOf("missing"), "");
}

TEST(TIdHeaderList, SeparatorWithoutColonChangesNameEnd) {
  TIdHeaderList list = ListOf({"Key=value", "Other: x"});
  list.Separator = "=";
  EXPECT_EQ(list.ValueOf("key"), "value");
  list.StoreValue("New", "v");
  EXPECT_EQ(list.Get(2), "New=v");
}

TEST(TIdHeaderList, StoreValueReplacesAppendsAndRemoves) {
  TIdHeaderList list = ListOf({"A: 1", "B: 2", "  cont", "C: 3"});
  list.StoreValue("b", "two");  // replaced in place under the given name, continuation gone
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"A: 1", "b: two", "C: 3"}));
  list.StoreValue("D", "4");
  EXPECT_EQ(list.Get(3), "D: 4");
  list.StoreValue("A", "");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"b: two", "C: 3", "D: 4"}));
  list.StoreValue("absent", "");
  EXPECT_EQ(list.Count(), 3);
}

TEST(TIdHeaderList, StoreEmptyRemovesOnlyFirstOfRepeatedName) {
  TIdHeaderList list = ListOf({"Location: /a", " more", "Location: /b"});
  list.StoreValue("Location", "");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"Location: /b"}));
}

TEST(TIdHeaderList, WithoutFoldOnStoreContinuationsStay) {
  TIdHeaderList list = ListOf({"A: 1", " cont", "B: 2"});
  list.FoldOnStore = false;
  list.StoreValue("A", "x");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"A: x", " cont", "B: 2"}));
  list.StoreValue("A", "");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{" cont", "B: 2"}));
}

TEST(TIdHeaderList, RemoveContinuationsStopsAtEmptyOrPlainLine) {
  TIdHeaderList list = ListOf({"A: 1", " x", "\ty", "", " z"});
  list.RemoveContinuations(0);
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"A: 1", "", " z"}));
}

TEST(TIdHeaderList, RemoveContinuationsHandlesHugeRuns) {
  TIdHeaderList list;
  list.Add("A: 1");
  for (int i = 0; i < 200000; ++i) list.Add(" c");
  list.Add("B: 2");
  list.RemoveContinuations(0);
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"A: 1", "B: 2"}));
}

TEST(TIdHeaderList, FoldLineBreaksAtBlanksOutsideQuotes) {
  struct Case {
    std::string line;
    int width;
    std::vector<std::string> pieces;
  };
  const std::vector<Case> cases = {
      {"A: short", 78, {"A: short"}},
      {"A: aaaa bbbb cccc", 10, {"A: aaaa", " bbbb cccc"}},
      {"A: aaaa bbbb cccc dddd", 10, {"A: aaaa", " bbbb cccc", " dddd"}},
      {"A: \"aa bb cc dd\" ee", 10, {"A:", " \"aa bb cc dd\"", " ee"}},
      {"A: unbreakableword", 5, {"A:", " unbreakableword"}},
      {"Averyveryverylongname", 5, {"Averyveryverylongname"}},
      {"A: x   y", 0, {"A: x   y"}},  // no folding for a width of 0
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TIdHeaderList::FoldLine(c.line, c.width), c.pieces)
        << "line: " << c.line << " width " << c.width;
  }
}

TEST(TIdHeaderList, StoreValueFoldsAndReadsBackUnfolded) {
  TIdHeaderList list = ListOf({"A: 1", "B: 2"});
  list.FoldWidth = 20;
  const std::string value = "one two three four five six seven";
  list.StoreValue("A", value);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(0), "A: one two three");
  EXPECT_EQ(list.ValueOf("A"), value);
  EXPECT_EQ(list.Get(list.Count() - 1), "B: 2");
  list.StoreValue("A", "short");  // replacing drops the old continuations
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"A: short", "B: 2"}));
}

}  // namespace
}  // namespace pixhaul::test
