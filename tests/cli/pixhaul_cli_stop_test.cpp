// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// pixhaul-cli end to end, stop signals, downloads ending after the run, and the exit codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "download/file_naming.h"
#include "tests/cli/pixhaul_cli_support.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

// The first SIGINT, SIGTERM or SIGHUP takes the stop path; the workers already out finish. With every
// pause at 0 and every slot held it still does: the waits pump even when they last no time.
TEST_F(PixhaulCliTest, FirstSignalTakesTheStopPathAndLetsWorkersFinish) {
  struct Row {
    const char* what;
    const char* timings;
    int signal;
    int heldRequests;  // downloads under way when the signal comes
  } rows[] = {
      {"SIGINT", "PIXHAUL_TEST_TIMINGS=20,50,100,300,300", SIGINT, 1},
      {"SIGTERM, pauses of 0", "PIXHAUL_TEST_TIMINGS=0,1,0,0,0", SIGTERM, 2},
      {"SIGINT, pauses of 0", "PIXHAUL_TEST_TIMINGS=0,1,0,0,0", SIGINT, 2},
      {"SIGHUP (a closed terminal)", "PIXHAUL_TEST_TIMINGS=20,50,100,300,300", SIGHUP, 1},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DemoServer server(20);
    server.holdImages = true;
    const std::string folder = SaveDir() + std::to_string(n++);
    auto cli = Start({"--save-dir", folder, server.PageAddress(0)}, {{row.timings}});
    ASSERT_TRUE(cli->WaitForOutput("Now start to download these images.\n"));
    // A download held by the server is under way, so the stop has a worker to leave running.
    ASSERT_TRUE(PollUntil([&] { return server.imageRequests >= row.heldRequests; }));
    cli->Signal(row.signal);
    ASSERT_TRUE(cli->WaitForOutput("All images downloaded, task finished.\n"))
        << "the first signal must end the run";
    // The held downloads are still running; they end now, after the run has finished.
    server.holdImages = false;
    ASSERT_TRUE(cli->Wait());

    EXPECT_EQ(cli->ExitCode(), 130);
    std::vector<std::string> expected = Header(20);
    expected.insert(expected.end(), kStopLines.begin(), kStopLines.end());
    expected.insert(expected.end(), kClosing.begin(), kClosing.end());
    EXPECT_EQ(Lines(cli->Out(), "\n"), expected);
    EXPECT_EQ(Lines(ReadFileBytes(folder + "/log.txt"), "\r\n"), expected);
    // Fewer than all workers started, and every one that started saved its image.
    const std::set<int> started = server.RequestedImages();
    EXPECT_GT(started.size(), 0u);
    EXPECT_LT(started.size(), 20u);
    std::vector<std::string> saved = {"log.txt", "result_content.txt", "url_list.txt"};
    for (int i : started) saved.push_back(FileNameFromUrl(server.Site().ImageAddresses()[i]));
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(FolderEntries(folder), saved);
    // Each of them ended after the closing lines: standard error tells its line, as late, and
    // the summary counts it.
    std::string late;
    for (int i : started) {
      late += "T" + std::to_string(i) + " " + FileNameFromUrl(server.Site().ImageAddresses()[i]) +
              ": OK (after the run's end)\n";
    }
    std::vector<std::string> err = Lines(cli->Err(), "\n");
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.back(), "Stopped: " + std::to_string(started.size()) + " of 20 saved");
    err.pop_back();
    std::sort(err.begin(), err.end());
    std::vector<std::string> lateLines = Lines(late, "\n");
    std::sort(lateLines.begin(), lateLines.end());
    EXPECT_EQ(err, lateLines);
  }
}

TEST_F(PixhaulCliTest, SecondSignalEndsTheProgramAtOnce) {
  DemoServer server(20);
  server.holdImages = true;
  auto cli = Start({"--save-dir", SaveDir(), server.PageAddress(0)},
                   {{"PIXHAUL_TEST_TIMINGS=20,50,100,300,300"}});
  ASSERT_TRUE(cli->WaitForOutput("Now start to download these images.\n"));
  // Without a held download the program could end by itself before the second signal.
  ASSERT_TRUE(PollUntil([&server] { return server.imageRequests > 0; }));
  cli->Signal(SIGTERM);
  ASSERT_TRUE(cli->WaitForOutput("All images downloaded, task finished.\n"));
  cli->Signal(SIGTERM);
  ASSERT_TRUE(cli->Wait(std::chrono::seconds(5))) << "the held downloads must not keep the program";
  EXPECT_EQ(cli->ExitCode(), 130);
}

// Downloads that end after the closing lines: standard output and log.txt are the described
// ones, without their lines; standard error tells each as its line would have read, marked as
// late, and a late failure makes the exit code that of a failed download.
TEST_F(PixhaulCliTest, DownloadsEndingAfterTheRunAreToldOnStandardError) {
  DemoServer server(1);
  const std::string image = server.Site().ImageAddresses()[0];
  const std::string missing = server.Http("/img/999.png");
  const std::string page = work.File("page.html");
  WriteFileBytes(page, "imgurl:\"" + image + "\" imgurl:\"" + missing + "\"");
  server.holdImages = true;

  auto cli = Start({"--save-dir", SaveDir(), page});
  ASSERT_TRUE(cli->WaitForOutput("All images downloaded, task finished.\n"));
  server.holdImages = false;
  ASSERT_TRUE(cli->Wait());

  EXPECT_EQ(cli->ExitCode(), 3);
  std::vector<std::string> expected = Header(2);
  expected.insert(expected.end(), kClosing.begin(), kClosing.end());
  EXPECT_EQ(Lines(cli->Out(), "\n"), expected);
  EXPECT_EQ(Lines(ReadFileBytes(SaveDir() + "/log.txt"), "\r\n"), expected);
  std::vector<std::string> err = Lines(cli->Err(), "\n");
  ASSERT_EQ(err.size(), 3u) << cli->Err();
  EXPECT_EQ(err[2], "Finished: 1 saved, 1 failed, 0 skipped");
  err.pop_back();
  std::sort(err.begin(), err.end());
  EXPECT_EQ(err,
            (std::vector<std::string>{"T0 " + FileNameFromUrl(image) + ": OK (after the run's end)",
                                      "T1:404 Not Found " + missing + " (after the run's end)"}));
  EXPECT_TRUE(std::filesystem::exists(SaveDir() + "/" + FileNameFromUrl(image)));
}

// Until the downloads start, the main thread fetches, copies and scans the page and may not
// pump for a long time; a signal then ends the program at once, and no run file is left.
TEST_F(PixhaulCliTest, SignalWhileThePageIsCapturedEndsTheProgramAtOnce) {
  // A page served one byte at a time: slow enough to outlast the test by far.
  std::atomic<bool> sending{false};
  Script trickle;
  trickle.ReceiveUntil("\r\n\r\n")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nimgurl:\"")
      .Call([&sending](ScriptedConnection&) { sending = true; });
  for (int i = 0; i < 600; ++i) trickle.Send("x").Pause(100);
  ScriptedServer server({trickle});
  const std::string address = "http://127.0.0.1:" + std::to_string(server.Port()) + "/page";

  // A FIFO whose writer never closes: the copy of the page never ends. The test holds both
  // ends, so opening it never blocks.
  const std::string fifo = work.File("page.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int fifoEnds = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fifoEnds, 0);
  const std::string start = "imgurl:\"http://h/a.jpg\" ";
  ASSERT_EQ(::write(fifoEnds, start.data(), start.size()), static_cast<ssize_t>(start.size()));

  struct Row {
    const char* what;
    std::string page;
    int signal;
    std::function<bool(CliProcess&)> capturing;
  } rows[] = {
      {"page served a byte at a time", address, SIGINT,
       [&sending](CliProcess& cli) {
         return cli.WaitForOutput("Start to get the search result... please wait...\n") &&
                PollUntil([&sending] { return sending.load(); });
       }},
      {"FIFO page that never ends", fifo, SIGTERM,
       [](CliProcess& cli) {
         return cli.WaitForOutput("Start to get the search result... please wait...\n");
       }},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string folder = SaveDir() + std::to_string(n++);
    auto cli = Start({"--save-dir", folder, row.page});
    ASSERT_TRUE(row.capturing(*cli));
    cli->Signal(row.signal);
    ASSERT_TRUE(cli->Wait(std::chrono::seconds(30))) << "the signal must not wait for the page";
    EXPECT_EQ(cli->ExitCode(), 130);
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{});
  }
  ::close(fifoEnds);
}

TEST_F(PixhaulCliTest, ExitCodesAndWhereMessagesGo) {
  DemoServer server(1);
  const std::string missingPage = work.File("no-such-page.html");
  const std::string badFolder = work.Path() + "/no/such/parent";
  struct Row {
    std::vector<std::string> args;
    int exitCode;
    std::string errHas;  // a text standard error must hold
    bool outEmpty;
  } rows[] = {
      {{}, 2, "usage: pixhaul-cli", true},
      {{"--site", "altavista", "p"}, 2, "usage: pixhaul-cli", true},
      {{"a", "b"}, 2, "usage: pixhaul-cli", true},
      {{"--help"}, 0, "", false},
      {{"--save-dir", badFolder, missingPage},
       1,
       "Create directory " + badFolder + " Failed.\n",
       true},
      {{"--list-only", "--save-dir", badFolder, missingPage},
       1,
       "Create directory " + badFolder + " Failed.\n",
       true},
      {{"--save-dir", SaveDir(), missingPage},
       1,
       "Cannot open file " + missingPage + "\nError: can not get document.\n",
       false},
      {{"--list-only", "--save-dir", SaveDir(), work.Path()},
       1,
       "Cannot open file " + work.Path() + "\nError: can not get document.\n",
       true},
      {{"--save-dir", SaveDir(), server.Http("/gone.html")},
       1,
       "404 Not Found\nError: can not get document.\n",
       false},
  };
  for (const Row& row : rows) {
    std::string shown;
    for (const std::string& a : row.args) shown += " " + a;
    SCOPED_TRACE("pixhaul-cli" + shown);
    auto cli = Start(row.args);
    ASSERT_TRUE(cli->Wait());
    EXPECT_EQ(cli->ExitCode(), row.exitCode);
    EXPECT_NE(cli->Err().find(row.errHas), std::string::npos) << cli->Err();
    if (row.outEmpty) {
      EXPECT_EQ(cli->Out(), "");
    }
  }
  EXPECT_FALSE(std::filesystem::exists(work.Path() + "/no"));
}

}  // namespace
}  // namespace pixhaul::test
