// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The soak's verdicts catch what they are meant to catch: a log read back into records
// (messages holding CR LF included), wrong, missing, doubled and unexpected records, and
// partial or stray files in the save folder.
#include "tests/soak/soak_check.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

std::string Log(const std::vector<std::string>& workerLines, int total) {
  std::string text =
      "Log:\r\nStart to get the search result... please wait...\r\n\r\n"
      "Successful to get the search result.\r\n\r\nNow to get the url list...\r\n\r\n"
      "Got the url list successfully.\r\n\r\nTotal url count:" +
      std::to_string(total) + "\r\n\r\nNow start to download these images.\r\n\r\n";
  for (const std::string& line : workerLines) text += line + "\r\n";
  return text + "\r\nAll images downloaded, task finished.\r\n";
}

Expectation Saved(const std::string& name, const std::string& bytes) {
  Expectation e;
  e.address = "http://h/" + name;
  e.fileName = name;
  e.outcome.saved = true;
  e.outcome.bytes = bytes;
  return e;
}

Expectation Failed(const std::string& address, const std::string& message) {
  Expectation e;
  e.entry.kind = FaultKind::kResetMidBody;
  e.address = address;
  e.fileName = "f_" + std::to_string(address.size());
  e.outcome.message = message;
  return e;
}

TEST(SoakCheckTest, LogRecordsJoinMessagesThatHoldLineBreaks) {
  const RunLog log = ParseRunLog(
      Log({"T1:Socket Error # 10054", "Connection reset by peer. http://h/x", "T0 a.png: OK"}, 2));
  EXPECT_TRUE(log.problems.empty());
  EXPECT_EQ(log.totalCount, 2);
  ASSERT_EQ(log.records.size(), 2u);
  EXPECT_EQ(log.records.at(1)[0],
            "T1:Socket Error # 10054\r\nConnection reset by peer. http://h/x");
  EXPECT_EQ(log.records.at(0)[0], "T0 a.png: OK");
}

TEST(SoakCheckTest, LayoutFaultsAreReported) {
  struct Row {
    std::string text;
    const char* what;
  };
  const Row rows[] = {
      {"", "empty log"},
      {Log({}, 0).substr(0, 40), "truncated"},
      {Log({"stray text"}, 1), "line that is no record"},
      {Log({}, 0) + "T5 late.png: OK\r\n", "record after the closing lines"},
      {"Log:\r\n" + Log({}, 0), "opening doubled"},
  };
  for (const Row& row : rows) EXPECT_FALSE(ParseRunLog(row.text).problems.empty()) << row.what;
}

TEST(SoakCheckTest, RecordsAreCheckedAgainstEveryAddress) {
  std::vector<Expectation> page = {
      Saved("a.png", "xyz"),
      Failed("http://h/b", "Socket Error # 10054\r\nConnection reset by peer.")};
  const std::string good1 = "T1:Socket Error # 10054\r\nConnection reset by peer. http://h/b";
  EXPECT_TRUE(
      CheckRecords(ParseRunLog(Log({"T0 a.png: OK", good1.substr(0, 23), good1.substr(25)}, 2)),
                   page)
          .empty());
  struct Row {
    std::vector<std::string> lines;
    int total;
    const char* what;
  };
  const Row rows[] = {
      {{"T0 a.png: OK"}, 2, "missing record"},
      {{"T0 a.png: OK", "T0 a.png: OK", "T1:x http://h/b"}, 2, "doubled record"},
      {{"T0 b.png: OK", "T1:Socket Error # 10054"}, 2, "wrong name, split message lost"},
      {{"T0 a.png: OK", "T1:Read timed out. http://h/b"}, 2, "wrong message"},
      {{"T0 a.png: OK", "T1 failed: http://h/b"}, 2, "wrong form"},
      {{"T0 a.png: OK", "T9 z: OK"}, 2, "index outside the list"},
      {{}, 3, "wrong total"},
  };
  for (const Row& row : rows)
    EXPECT_FALSE(CheckRecords(ParseRunLog(Log(row.lines, row.total)), page).empty()) << row.what;

  page[0].presence = Expectation::Presence::kSkipped;
  EXPECT_FALSE(
      CheckRecords(ParseRunLog(Log({"T0 a.png: OK", good1.substr(0, 23), good1.substr(25)}, 2)),
                   page)
          .empty())
      << "record for a skipped address";
}

TEST(SoakCheckTest, AnyMessageOutcomesNeedTheFormOnly) {
  Expectation e = Failed("http://h/long", "");
  e.outcome.anyMessage = true;
  EXPECT_TRUE(RecordMatches(3, e, "T3:Cannot create file /x/y http://h/long"));
  EXPECT_FALSE(RecordMatches(3, e, "T3: http://h/long"));
  EXPECT_FALSE(RecordMatches(3, e, "T3 failed: http://h/long"));
  EXPECT_FALSE(RecordMatches(4, e, "T3:message http://h/long"));
}

class SoakFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"result_content.txt", "url_list.txt", "log.txt"}) Write(name, "x");
  }
  void Write(const std::string& name, const std::string& bytes) {
    WriteFileBytes(dir_.File(name), bytes);
  }
  TempDir dir_;
  const std::string folder_ = dir_.Path();
};

TEST_F(SoakFolderTest, PartialStrayAndMissingFilesAreFound) {
  const std::vector<Expectation> page = {Saved("a.png", "abcdef"), Saved("b.png", ""),
                                         Failed("http://h/c", "404 Not Found")};
  Write("a.png", "abcdef");
  Write("b.png", "");
  EXPECT_TRUE(CheckSaveFolder(folder_, page, true, {}).empty());

  Write(".pixhaul-1-0-0.part", "abc");
  EXPECT_EQ(CheckSaveFolder(folder_, page, true, {}).size(), 1u) << "stray temporary";
  EXPECT_TRUE(CheckSaveFolder(folder_, page, true, {".pixhaul-1-0-0.part"}).empty());
  std::set<std::string> others;
  EXPECT_TRUE(CheckNoIncompleteTargets(folder_, page, others).empty());
  EXPECT_EQ(others, std::set<std::string>{".pixhaul-1-0-0.part"});

  Write("a.png", "abc");
  EXPECT_EQ(CheckSaveFolder(folder_, page, true, {".pixhaul-1-0-0.part"}).size(), 1u);
  EXPECT_EQ(CheckNoIncompleteTargets(folder_, page, others).size(), 1u) << "partial image";
  std::filesystem::remove(folder_ + "/a.png");
  EXPECT_EQ(CheckSaveFolder(folder_, page, true, {".pixhaul-1-0-0.part"}).size(), 1u);
  Write(page[2].fileName, "");
  EXPECT_EQ(CheckNoIncompleteTargets(folder_, page, others).size(), 1u) << "file of a failure";
}

}  // namespace
}  // namespace pixhaul::test
