// The console window of pixhaul-cli: pane lines printed at once, message boxes on stderr.
#include "cli/console_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace pixhaul::cli {
namespace {

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

class ConsoleRunWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    std::fclose(out);
    std::fclose(err);
  }
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
};

TEST_F(ConsoleRunWindowTest, EachPaneLineIsPrintedOnItsOwnLine) {
  ConsoleRunWindow window(
      "/f", 1, [] { return std::optional<std::string>("x"); }, out, err);
  window.AppendLogLine("Log:");
  window.AppendLogLine("");
  window.AppendLogLine("T0:Socket Error # 10061\r\nConnection refused. http://h/a");
  window.AppendLogLine("a\nb\rc");

  EXPECT_EQ(Contents(out),
            "Log:\n\nT0:Socket Error # 10061\nConnection refused. http://h/a\na\nb\nc\n");
  EXPECT_EQ(window.LogLines(),
            (std::vector<std::string>{"Log:", "", "T0:Socket Error # 10061",
                                      "Connection refused. http://h/a", "a", "b", "c"}));
  EXPECT_EQ(Contents(err), "");
  EXPECT_FALSE(window.MessageShown());
}

TEST_F(ConsoleRunWindowTest, ClearEmptiesThePaneButNotWhatWasPrinted) {
  ConsoleRunWindow window(
      "/f", 0, [] { return std::nullopt; }, out, err);
  window.AppendLogLine("one");
  window.ClearLog();
  window.AppendLogLine("two");
  EXPECT_EQ(window.LogLines(), std::vector<std::string>{"two"});
  EXPECT_EQ(Contents(out), "one\ntwo\n");
}

TEST_F(ConsoleRunWindowTest, MessagesGoToStandardErrorAndMarkTheFailure) {
  ConsoleRunWindow window(
      "/f", 0, [] { return std::nullopt; }, out, err);
  window.ShowMessage("Create directory /x/y Failed.");
  EXPECT_TRUE(window.MessageShown());
  EXPECT_EQ(Contents(err), "Create directory /x/y Failed.\n");
  EXPECT_EQ(Contents(out), "");
}

// Where the list came from is said on standard error, so standard output keeps only the pane.
TEST_F(ConsoleRunWindowTest, ListSourceNoteGoesToStandardErrorWithoutMarkingAFailure) {
  ConsoleRunWindow window(
      "/f", 0, [] { return std::nullopt; }, out, err);
  window.ShowListSource("");
  window.ShowListSource("Addresses found by the current-layout rules for www.bing.com");
  EXPECT_EQ(Contents(err),
            "pixhaul-cli: Addresses found by the current-layout rules for www.bing.com\n");
  EXPECT_EQ(Contents(out), "");
  EXPECT_FALSE(window.MessageShown());
}

TEST_F(ConsoleRunWindowTest, ButtonAndInputsAreKept) {
  ConsoleRunWindow window(
      "rel/dir", 2, [] { return std::optional<std::string>("<p>"); }, out, err);
  EXPECT_EQ(window.ButtonCaption(), "Start download");
  window.SetButtonCaption("Stop");
  EXPECT_EQ(window.ButtonCaption(), "Stop");
  window.SetButtonEnabled(false);
  EXPECT_FALSE(window.ButtonEnabled());
  EXPECT_EQ(window.SaveFolderText(), "rel/dir");
  EXPECT_EQ(window.CurrentSite(), 2);
  EXPECT_EQ(window.CapturePageMarkup(), "<p>");
}

}  // namespace
}  // namespace pixhaul::cli
