// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The console window of pixhaul-cli: pane lines printed at once, message boxes on stderr, and
// the progress line on stderr only when it is a terminal.
#include "cli/console_window.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
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
      "/f", *SiteOfRow(1), [] { return std::optional<std::string>("x"); }, out, err);
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
      "/f", *SiteOfRow(0), [] { return std::nullopt; }, out, err);
  window.AppendLogLine("one");
  window.ClearLog();
  window.AppendLogLine("two");
  EXPECT_EQ(window.LogLines(), std::vector<std::string>{"two"});
  EXPECT_EQ(Contents(out), "one\ntwo\n");
}

TEST_F(ConsoleRunWindowTest, MessagesGoToStandardErrorAndMarkTheFailure) {
  ConsoleRunWindow window(
      "/f", *SiteOfRow(0), [] { return std::nullopt; }, out, err);
  window.ShowProgress(RunProgress{3, 1, 0, 0, 0, true});  // not a terminal: nothing is drawn
  window.ShowMessage("Create directory /x/y Failed.");
  window.ShowProgress(RunProgress{3, 1, 1, 0, 0, false});
  EXPECT_TRUE(window.MessageShown());
  EXPECT_EQ(Contents(err), "Create directory /x/y Failed.\n");
  EXPECT_EQ(Contents(out), "");
}

// A raw pseudo-terminal standing in for the user's screen.
class Terminal {
 public:
  Terminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    screen = std::fopen(::ptsname(master_), "w");
    termios mode{};
    if (screen == nullptr || ::tcgetattr(::fileno(screen), &mode) != 0) {
      throw std::runtime_error("no terminal");
    }
    ::cfmakeraw(&mode);
    ::tcsetattr(::fileno(screen), TCSANOW, &mode);
  }
  ~Terminal() {
    if (screen) std::fclose(screen);
    ::close(master_);
  }
  // Everything written to the screen, once the writing is over.
  std::string Shown() {
    std::fclose(screen);
    screen = nullptr;
    std::string bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    return bytes;
  }
  std::FILE* screen = nullptr;

 private:
  int master_ = -1;
};

// Log lines and messages on the same screen as the progress line take it away first and
// draw it again after, so the line always stays below them; once the run has ended the line
// stays as it is.
TEST_F(ConsoleRunWindowTest, ProgressLineStaysBelowTheLogOnOneScreen) {
  Terminal terminal;
  ConsoleRunWindow window(
      "/f", *SiteOfRow(0), [] { return std::nullopt; }, terminal.screen, terminal.screen);
  const RunProgress first{2, 1, 0, 0, 1, true};
  const RunProgress last{2, 1, 1, 0, 1, false};
  window.AppendLogLine("Now start to download these images.");
  window.ShowProgress(first);
  window.AppendLogLine("T0 a.jpg: OK");
  window.ShowMessage("note");
  window.ShowProgress(last);
  window.AppendLogLine("All images downloaded, task finished.");
  // A result after the run's end: its line says so (a CR LF in it breaks it as the pane
  // would), and the line left standing is not drawn again.
  window.ShowLateWorkerLine("T1:Socket Error # 10060\r\nConnection timed out. http://h/b.jpg");
  window.ShowProgress(RunProgress{2, 1, 1, 1, 1, false});
  window.WriteErrorLine("Finished: 1 saved, 1 failed, 1 skipped");

  const std::string erase = "\r\x1b[K";
  EXPECT_EQ(terminal.Shown(),
            "Now start to download these images.\n" +                         //
                erase + ProgressLineText(first) +                             // drawn
                erase + "T0 a.jpg: OK\n" + erase + ProgressLineText(first) +  // log line
                erase + "note\n" + erase + ProgressLineText(first) +          // message
                erase + ProgressLineText(last) + "\n" +                       // the run's end
                "All images downloaded, task finished.\n"
                "T1:Socket Error # 10060\nConnection timed out. http://h/b.jpg (after the run's "
                "end)\n"
                "Finished: 1 saved, 1 failed, 1 skipped\n");
  EXPECT_EQ(ProgressLineText(first),
            "[##########..........] 2 addresses \u00b7 1 started "
            "\u00b7 0 saved \u00b7 0 failed \u00b7 1 skipped");
}

// With the log going to a file, only the progress line's own stream is touched.
TEST_F(ConsoleRunWindowTest, LogToAFileLeavesTheProgressLineStanding) {
  Terminal terminal;
  ConsoleRunWindow window(
      "/f", *SiteOfRow(0), [] { return std::nullopt; }, out, terminal.screen);
  const RunProgress shown{0, 0, 0, 0, 0, true};
  window.ShowProgress(shown);
  window.AppendLogLine("T0 a.jpg: OK");
  window.ShowMessage("note");
  EXPECT_EQ(Contents(out), "T0 a.jpg: OK\n");
  const std::string erase = "\r\x1b[K";
  EXPECT_EQ(terminal.Shown(),
            erase + ProgressLineText(shown) + erase + "note\n" + erase + ProgressLineText(shown));
  EXPECT_EQ(ProgressLineText(shown).substr(0, 22), "[####################]");  // empty list: done
}

// A line wider than the terminal would wrap, and each redraw would then leave a row behind:
// it is cut to one column less than the terminal has, whole characters only.
TEST_F(ConsoleRunWindowTest, ProgressLineIsCutToTheTerminalsWidth) {
  Terminal terminal;
  winsize size{};
  size.ws_col = 38;
  size.ws_row = 24;
  ASSERT_EQ(::ioctl(::fileno(terminal.screen), TIOCSWINSZ, &size), 0);
  ConsoleRunWindow window(
      "/f", *SiteOfRow(0), [] { return std::nullopt; }, out, terminal.screen);
  window.ShowProgress(RunProgress{36, 32, 30, 2, 4, false});
  // 37 characters, 38 bytes: the bar, a space and "36 addresses \u00b7" with its two-byte dot.
  EXPECT_EQ(terminal.Shown(), "\r\x1b[K[####################] 36 addresses \u00b7\n");
}

// Where the list came from is said on standard error, so standard output keeps only the pane.
TEST_F(ConsoleRunWindowTest, ListSourceNoteGoesToStandardErrorWithoutMarkingAFailure) {
  ConsoleRunWindow window(
      "/f", *SiteOfRow(0), [] { return std::nullopt; }, out, err);
  window.ShowListSource("");
  window.ShowListSource("Addresses found by the current-layout rules for www.bing.com");
  EXPECT_EQ(Contents(err),
            "pixhaul-cli: Addresses found by the current-layout rules for www.bing.com\n");
  EXPECT_EQ(Contents(out), "");
  EXPECT_FALSE(window.MessageShown());
}

TEST_F(ConsoleRunWindowTest, ButtonAndInputsAreKept) {
  ConsoleRunWindow window(
      "rel/dir", *SiteOfRow(2), [] { return std::optional<std::string>("<p>"); }, out, err);
  EXPECT_EQ(window.ButtonCaption(), "Start download");
  window.SetButtonCaption("Stop");
  EXPECT_EQ(window.ButtonCaption(), "Stop");
  window.SetButtonEnabled(false);
  EXPECT_FALSE(window.ButtonEnabled());
  EXPECT_EQ(window.SaveFolderText(), "rel/dir");
  EXPECT_EQ(window.CurrentSite(), SiteOfRow(2));
  EXPECT_EQ(window.CapturePageMarkup()->HeldText(), "<p>");
}

}  // namespace
}  // namespace pixhaul::cli
