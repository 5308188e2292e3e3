// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// pixhaul-cli end to end, hostile save folders and pages, and the limits a run keeps to.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "download/file_naming.h"
#include "tests/cli/pixhaul_cli_support.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

// A hostile page cannot have its bytes written through links planted in the save folder under
// the names of the run's files: each file is replaced by the run, and what the links point to
// is left alone.
TEST_F(PixhaulCliTest, LinksPlantedUnderTheRunFilesAreReplacedNotFollowed) {
  const std::string page = "imgurl:\"http://127.0.0.1:1/a.jpg\" stolen";
  WriteFileBytes(work.File("page.html"), page);
  std::filesystem::create_directories(SaveDir());
  const char* const kRunFiles[] = {"result_content.txt", "url_list.txt", "log.txt"};
  for (const char* name : kRunFiles) {
    WriteFileBytes(work.File(std::string("victim-") + name), "precious");
    std::filesystem::create_symlink(work.File(std::string("victim-") + name),
                                    SaveDir() + "/" + name);
  }

  auto cli = Start({"--save-dir", SaveDir(), work.File("page.html")});
  ASSERT_TRUE(cli->Wait());

  // The run is made; its one address points at a closed port.
  EXPECT_EQ(cli->ExitCode(), 3) << cli->Err();
  for (const char* name : kRunFiles) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadFileBytes(work.File(std::string("victim-") + name)), "precious");
    EXPECT_TRUE(
        std::filesystem::is_regular_file(std::filesystem::symlink_status(SaveDir() + "/" + name)));
  }
  EXPECT_EQ(ReadFileBytes(SaveDir() + "/result_content.txt"), page + "\r\n");
  EXPECT_EQ(ReadFileBytes(SaveDir() + "/url_list.txt"), "http://127.0.0.1:1/a.jpg\r\n");
  EXPECT_EQ(Lines(ReadFileBytes(SaveDir() + "/log.txt"), "\r\n"), Lines(cli->Out(), "\n"));
}

// A page file larger than the limit, or a device that never stops producing, is refused: the
// reason on standard error, exit 1, and no run file is left.
TEST_F(PixhaulCliTest, PageLargerThanTheLimitIsRefused) {
  const std::string sparse = work.File("huge.html");
  {
    std::ofstream out(sparse, std::ios::binary);
    out << "imgurl:\"http://h/a.jpg\"";
  }
  std::filesystem::resize_file(sparse, (uint64_t{1} << 30) + 1);
  struct Row {
    const char* what;
    std::string page;
    std::vector<std::string> env;
    std::string message;
  } rows[] = {
      {"a sparse file of 1 GiB and a byte",
       sparse,
       {kFastTimings},
       "Page too large: " + sparse + " holds more than 1073741824 bytes\n"},
      {"a device without end",
       "/dev/zero",
       {kFastTimings, "PIXHAUL_TEST_PAGE_LIMIT_BYTES=65536"},
       "Page too large: /dev/zero holds more than 65536 bytes\n"},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    for (const bool listOnly : {false, true}) {
      const std::string folder = SaveDir() + std::to_string(n++);
      std::vector<std::string> args = {"--save-dir", folder, row.page};
      if (listOnly) args.insert(args.begin(), "--list-only");
      auto cli = Start(args, {row.env});
      ASSERT_TRUE(cli->Wait());
      EXPECT_EQ(cli->ExitCode(), 1);
      EXPECT_NE(cli->Err().find(row.message), std::string::npos) << cli->Err();
      EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{});
    }
  }
}

// `pixhaul-cli ... | head -n 1`: the reader of standard output goes away early. The run goes
// on, writes its log whole and exits as usual, instead of dying of the broken pipe.
TEST_F(PixhaulCliTest, ReaderOfStandardOutputGoingAwayDoesNotEndTheRun) {
  DemoServer server(3);
  auto cli = Start({"-o", "pipefail", "-c", "\"$@\" | head -n 1", "bash", PIXHAUL_CLI_PATH,
                    "--save-dir", SaveDir(), server.PageAddress(0)},
                   {{kFastTimings}}, "/bin/bash");
  ASSERT_TRUE(cli->Wait());

  EXPECT_EQ(cli->ExitCode(), 0) << cli->Err();
  EXPECT_EQ(cli->Out(), "Log:\n");
  const std::vector<std::string> log = Lines(ReadFileBytes(SaveDir() + "/log.txt"), "\r\n");
  ASSERT_EQ(log.size(), 13u + 3u + 2u);
  EXPECT_EQ(log.back(), "All images downloaded, task finished.");
  for (const std::string& address : server.Site().ImageAddresses()) {
    EXPECT_TRUE(std::filesystem::exists(SaveDir() + "/" + FileNameFromUrl(address))) << address;
  }
}

// A page file beyond the process's file size limit fails its write as on a full disk: a
// framework error and exit 1, not the end of the program by SIGXFSZ.
TEST_F(PixhaulCliTest, FileSizeLimitFailsTheWriteInsteadOfEndingTheProgram) {
  WriteFileBytes(work.File("page.html"), "imgurl:\"http://h/a.jpg\"" + std::string(8192, ' '));
  auto cli = Start({"-c", "ulimit -f 4 && exec \"$@\"", "bash", PIXHAUL_CLI_PATH, "--save-dir",
                    SaveDir(), work.File("page.html")},
                   {{kFastTimings}}, "/bin/bash");
  ASSERT_TRUE(cli->Wait());

  EXPECT_EQ(cli->ExitCode(), 1);
  EXPECT_EQ(cli->Err(), "Stream write error\n");
  EXPECT_EQ(FolderEntries(SaveDir()), std::vector<std::string>{});
}

// A server can keep a download alive just above the trickle rate for as long as it likes: the
// download's own time limit (scaled down here with the I/O limits, to 8 s) ends it, well before
// the program would give up waiting for it after the run. Nothing is saved for it and no
// temporary file is left.
TEST_F(PixhaulCliTest, DownloadHeldAboveTheTrickleRateEndsAtItsTimeLimit) {
  Script endless;
  endless.ReceiveUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 400000000\r\n\r\n");
  // 40 KB a second, far above the trickle rate of 1024 bytes in 800 ms, for a minute.
  for (int i = 0; i < 1200; ++i) endless.Send(std::string(2048, 'x')).Pause(50);
  ScriptedServer server({endless});
  const std::string image = "http://127.0.0.1:" + std::to_string(server.Port()) + "/slow.jpg";
  WriteFileBytes(work.File("page.html"), "imgurl:\"" + image + "\"");

  // A long grace period: the download's limit runs out while the run still waits for it.
  auto cli = Start({"--save-dir", SaveDir(), work.File("page.html")},
                   {{"PIXHAUL_TEST_TIMINGS=5,50,100,10000,200", "PIXHAUL_TEST_IO_TIMEOUT_MS=400"}});
  ASSERT_TRUE(cli->Wait(std::chrono::seconds(30))) << "the download must end";

  EXPECT_EQ(cli->Err().find("abandoned"), std::string::npos) << cli->Err();
  const std::vector<std::string> lines = Lines(cli->Out(), "\n");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "T0:Read timed out. " + image), lines.end())
      << cli->Out();
  EXPECT_EQ(FolderEntries(SaveDir()),
            (std::vector<std::string>{"log.txt", "result_content.txt", "url_list.txt"}));
}

}  // namespace
}  // namespace pixhaul::test
