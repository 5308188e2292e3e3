// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// pixhaul-cli end to end, hostile save folders and pages, and the limits a run keeps to.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "download/file_naming.h"
#include "tests/cli/pixhaul_cli_support.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

// A server of 40 images that counts the requests for each; `failing` answer 404.
class CountingServer {
 public:
  explicit CountingServer(std::set<int> failing)
      : failing_(std::move(failing)), server_([this](const loopback::HttpRequest& r) {
          const int image = std::stoi(r.target.substr(r.target.rfind('/') + 1));
          {
            std::lock_guard lock(mutex_);
            ++requests_[image];
          }
          if (failing_.count(image)) return loopback::HttpReply{404, "Not Found", {}, "", false};
          return loopback::OkReply("image " + std::to_string(image), "image/png");
        }) {}
  std::string Address(int image) const {
    return server_.HttpBase() + "/img/" + std::to_string(image);
  }
  std::string Page(int count) const {
    std::string page;
    for (int i = 0; i < count; ++i) page += "imgurl:\"" + Address(i) + "\" ";
    return page;
  }
  std::map<int, int> Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  std::set<int> failing_;
  std::mutex mutex_;
  std::map<int, int> requests_;
  loopback::LoopbackHttpServer server_;
};

// --max-images: the run ends with exactly N images when the list has them, failures making
// room for the next addresses and files already in the folder counting; addresses never
// started get no line; the summary says the limit was reached.
TEST_F(PixhaulCliTest, MaxImagesEndsWithThatManyImages) {
  struct Row {
    const char* name;
    std::set<int> failing;
    int before;  // images already in the folder (the first ones of the list)
    int max;
    int saved;
    std::set<int> requested;
    const char* summary;
  } rows[] = {
      {"two fail",
       {2, 6},
       0,
       10,
       10,
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
       "Finished: 10 saved, 2 failed, 0 skipped (limit of 10 reached, 28 not started)"},
      {"six already there",
       {},
       6,
       10,
       4,
       {6, 7, 8, 9},
       "Finished: 4 saved, 0 failed, 6 skipped (limit of 10 reached, 30 not started)"},
      {"fewer good than asked", {}, 0, 50, 40, {}, "Finished: 40 saved, 0 failed, 0 skipped"},
  };
  int round = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CountingServer server(row.failing);
    const std::string folder = SaveDir() + std::to_string(round++);
    std::filesystem::create_directories(folder);
    for (int i = 0; i < row.before; ++i)
      WriteFileBytes(folder + "/" + FileNameFromUrl(server.Address(i)), "earlier");
    const std::string page = work.File("counted.html");
    WriteFileBytes(page, server.Page(40));

    auto cli = Start({"--save-dir", folder, "--max-images", std::to_string(row.max), page});
    ASSERT_TRUE(cli->Wait());

    EXPECT_EQ(cli->ExitCode(), row.failing.empty() ? 0 : 3);
    EXPECT_EQ(cli->Err(), std::string(row.summary) + "\n");
    const std::map<int, int> requests = server.Requests();
    std::set<int> requested;
    for (const auto& [image, count] : requests) {
      requested.insert(image);
      EXPECT_EQ(count, 1) << image;
    }
    if (!row.requested.empty()) {
      EXPECT_EQ(requested, row.requested);
    }
    EXPECT_EQ(static_cast<int>(std::count_if(requested.begin(), requested.end(),
                                             [&](int image) { return !row.failing.count(image); })),
              row.saved);
    const std::vector<std::string> lines = Lines(cli->Out(), "\n");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                              return line.size() > 1 && line[0] == 'T' && std::isdigit(line[1]);
                            }),
              static_cast<long>(requested.size()));
  }
}

// --failed-list writes the addresses not saved (failed or not images), one a line; --retries 0
// is one request, as a run without the option.
TEST_F(PixhaulCliTest, FailedListNamesWhatFailed) {
  CountingServer server({1, 3});
  const std::string page = work.File("counted.html");
  WriteFileBytes(page, server.Page(5));
  auto cli = Start(
      {"--save-dir", SaveDir(), "--retries", "0", "--failed-list", work.File("failed.txt"), page});
  ASSERT_TRUE(cli->Wait());
  EXPECT_EQ(cli->ExitCode(), 3);
  const std::string listed = ReadFileBytes(work.File("failed.txt"));
  EXPECT_TRUE(listed == server.Address(1) + "\n" + server.Address(3) + "\n" ||
              listed == server.Address(3) + "\n" + server.Address(1) + "\n")
      << listed;
  EXPECT_EQ(server.Requests(), (std::map<int, int>{{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}}));

  auto bad = Start({"--failed-list", work.Path() + "/no-such-folder/f.txt", "--save-dir",
                    SaveDir() + "2", page});
  ASSERT_TRUE(bad->Wait());
  EXPECT_EQ(bad->ExitCode(), 1);
  EXPECT_NE(bad->Err().find("Cannot create file"), std::string::npos) << bad->Err();
}

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

// The list is what --list-only makes: a list that cannot reach standard output (a full disk)
// fails with its reason and exit 1, while a reader that takes its fill and goes away leaves no
// word. The list is larger than a pipe holds, so the second row's writes meet the closed pipe.
TEST_F(PixhaulCliTest, ListOnlyThatCannotWriteItsListSaysSo) {
  std::string page;
  for (int i = 0; i < 20000; ++i) page += "imgurl:\"http://h/a" + std::to_string(i) + ".jpg\" ";
  WriteFileBytes(work.File("page.html"), page);
  struct Row {
    const char* name;
    const char* shell;
    int exitCode;
    std::string err;
    std::string out;
  };
  const Row rows[] = {
      {"full disk", "exec \"$@\" > /dev/full", 1,
       std::string("pixhaul-cli: cannot write standard output: ") + std::strerror(ENOSPC) + "\n",
       ""},
      {"reader gone", "set -o pipefail; \"$@\" | head -n 1", 0, "", "http://h/a0.jpg\n"},
  };
  for (const Row& row : rows) {
    auto cli = Start({"-c", row.shell, "bash", PIXHAUL_CLI_PATH, "--list-only", "--save-dir",
                      SaveDir(), work.File("page.html")},
                     {{kFastTimings}}, "/bin/bash");
    ASSERT_TRUE(cli->Wait()) << row.name;
    EXPECT_EQ(cli->ExitCode(), row.exitCode) << row.name;
    EXPECT_EQ(cli->Err(), row.err) << row.name;
    EXPECT_EQ(cli->Out(), row.out) << row.name;
  }
}

// Each marker's address runs to the page's one quote, so entry k holds every later marker: the
// described list of these 2,500 markers would be 22 MB. It is cut at 16 times the page's size,
// after whole entries that are the described ones byte for byte, and the note says so on
// standard error (the window shows it as its list note).
TEST_F(PixhaulCliTest, MarkersRunningIntoEachOtherCutTheListAtItsBound) {
  const std::string unit = "imgurl:x";
  const int markers = 2500;
  std::string page;
  for (int i = 0; i < markers; ++i) page += unit;
  page += "\"";
  WriteFileBytes(work.File("page.html"), page);
  auto cli =
      Start({"--list-only", "--save-dir", SaveDir(), work.File("page.html")}, {{kFastTimings}});
  ASSERT_TRUE(cli->Wait());
  EXPECT_EQ(cli->ExitCode(), 0);
  const uint64_t bound = 16 * page.size();
  std::string described;
  int kept = 0;
  for (int k = 0; k < markers; ++k) {
    std::string entry;
    for (int i = k + 1; i < markers; ++i) entry += unit;
    if (described.size() + entry.size() + 2 > bound) break;
    described += entry + "\r\n";
    ++kept;
  }
  ASSERT_GT(kept, 10);
  ASSERT_LT(kept, markers);
  EXPECT_EQ(ReadFileBytes(SaveDir() + "/url_list.txt"), described);
  EXPECT_EQ(cli->Err(),
            "pixhaul-cli: The address list was cut at 16 times the page's size, after " +
                std::to_string(kept) +
                " entries: the page's addresses hold the site's marker again\n");
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
