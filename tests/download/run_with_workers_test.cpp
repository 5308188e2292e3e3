// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// Whole runs of the controller with real download workers against a loopback server: the
// live-worker limit holds while the server keeps replies back, every image lands, and the
// controller outlives its workers, and the run's files stay in the folder it locked.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "download/file_naming.h"
#include "download/run_controller.h"
#include "framework/thread.h"
#include "loopback/loopback_server.h"
#include "tests/download/fake_run_window.h"
#include "tests/download/fake_workers.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

using namespace std::chrono_literals;
using loopback::HttpReply;
using loopback::HttpRequest;
using loopback::LoopbackHttpServer;

// Answers /n.png with "image n", holding every reply while `hold` is set (at most 10 s).
class HoldingServer {
 public:
  HoldingServer()
      : server_([this](const HttpRequest& r) {
          for (int i = 0; i < 10000 && hold; ++i) std::this_thread::sleep_for(1ms);
          return HttpReply{200, "OK", {}, "image " + r.target, false};
        }) {}
  ~HoldingServer() {
    hold = false;
    server_.Stop();
  }
  LoopbackHttpServer& Server() { return server_; }
  std::atomic<bool> hold{false};

 private:
  LoopbackHttpServer server_;
};

std::string BingPage(const std::vector<std::string>& urls) {
  std::string page;
  for (const std::string& url : urls) page += "imgurl:\"" + url + "\"\n";
  return page;
}

TEST(RunWithWorkersTest, AtMostFiftyOneWorkersAreLiveWhileRepliesAreHeld) {
  TempDir dir;
  HoldingServer server;
  server.hold = true;
  std::vector<std::string> urls;
  for (int i = 0; i < 55; ++i)
    urls.push_back(server.Server().HttpBase() + "/" + std::to_string(i) + ".png");
  FakeRunWindow window;
  window.folderText = dir.Path();
  window.markup = BingPage(urls);
  const ThrottleTimings timings{2, 50, 200, 300, 100};
  {
    TRunController controller(window, timings);
    // Once 51 requests are in, hold them for 700 ms (more than three throttle periods) and
    // note how many requests arrived meanwhile: none may, the 52nd worker has to wait.
    int seenAtLimit = -1;
    int seenAfterHold = -1;
    std::thread watcher([&] {
      const auto limit = std::chrono::steady_clock::now() + 10s;
      while (server.Server().RequestCount() < 51 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(1ms);
      }
      seenAtLimit = server.Server().RequestCount();
      std::this_thread::sleep_for(700ms);
      seenAfterHold = server.Server().RequestCount();
      server.hold = false;
    });

    controller.ButtonStartClick();
    watcher.join();

    EXPECT_EQ(seenAtLimit, 51);
    EXPECT_EQ(seenAfterHold, 51);
    EXPECT_EQ(server.Server().PeakConnections(), 51);
    EXPECT_TRUE(PumpUntil([&] { return controller.OutstandingWorkers() == 0; }, 20000));
    EXPECT_EQ(controller.LiveWorkerCount(), 0);
  }
  EXPECT_TRUE(TThread::WaitForAllThreadObjects(10000));
  for (const std::string& url : urls) {
    const std::string target = url.substr(url.rfind('/'));
    EXPECT_EQ(ReadFileBytes(dir.Path() + "/" + FileNameFromUrl(url)), "image " + target);
  }
  // The pane holds one line per image that ended before the run did.
  int okLines = 0;
  for (const std::string& line : window.pane.Lines()) {
    if (line.size() > 4 && line.compare(line.size() - 4, 4, ": OK") == 0) ++okLines;
  }
  EXPECT_EQ(okLines, 55);
}

TEST(RunWithWorkersTest, ControllerOutlivesWorkersStillRunningAfterTheRun) {
  TempDir dir;
  HoldingServer server;
  server.hold = true;
  FakeRunWindow window;
  window.folderText = dir.Path();
  window.markup = BingPage({server.Server().HttpBase() + "/late.png"});
  std::thread releaser;
  {
    TRunController controller(window, ThrottleTimings{1, 50, 50, 50, 50});
    controller.ButtonStartClick();
    ASSERT_EQ(controller.OutstandingWorkers(), 1);  // still held when the run closed
    releaser = std::thread([&server] {
      std::this_thread::sleep_for(200ms);
      server.hold = false;
    });
    // Leaving the scope must wait for the worker's hand-offs instead of leaving it a dangling
    // controller.
  }
  const std::string saved =
      dir.Path() + "/" + FileNameFromUrl(server.Server().HttpBase() + "/late.png");
  EXPECT_TRUE(std::filesystem::exists(saved)) << "the controller went before its worker ended";
  releaser.join();
  EXPECT_TRUE(TThread::WaitForAllThreadObjects(10000));
  EXPECT_EQ(
      ReadFileBytes(dir.Path() + "/" + FileNameFromUrl(server.Server().HttpBase() + "/late.png")),
      "image /late.png");
  // The line came after the run had finished, so it was dropped.
  EXPECT_EQ(window.pane.Lines().back(), "All images downloaded, task finished.");
}

// The run names every file in the folder it opened and locked: renamed in the middle of the
// run with a new folder made under its name, or swapped for a link to another folder, the
// folder keeps the run's page, list, log and images, and the path's new folder gets none.
TEST(RunWithWorkersTest, RunFilesStayInTheFolderTheRunLocked) {
  namespace fs = std::filesystem;
  struct Row {
    const char* what;
    // Moves the folder away while the downloads are held; gives where the files must be and
    // the folder now under the old path (or a link's target) that must stay empty.
    std::function<std::pair<fs::path, fs::path>(const fs::path& folder)> move;
  };
  const std::vector<Row> rows = {
      {"renamed, a new folder made under its name",
       [](const fs::path& folder) {
         fs::rename(folder, folder.string() + ".old");
         fs::create_directory(folder);
         return std::pair{fs::path(folder.string() + ".old"), folder};
       }},
      {"swapped for a link to another folder",
       [](const fs::path& folder) {
         fs::rename(folder, folder.string() + ".real");
         const fs::path elsewhere = folder.parent_path() / "elsewhere";
         fs::create_directory(elsewhere);
         fs::create_directory_symlink(elsewhere, folder);
         return std::pair{fs::path(folder.string() + ".real"), elsewhere};
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    HoldingServer server;
    server.hold = true;
    std::vector<std::string> urls;
    std::vector<std::string> expected = {"log.txt", "result_content.txt", "url_list.txt"};
    for (int i = 0; i < 3; ++i) {
      urls.push_back(server.Server().HttpBase() + "/" + std::to_string(i) + ".png");
      expected.push_back(FileNameFromUrl(urls.back()));
    }
    std::sort(expected.begin(), expected.end());
    const fs::path folder = fs::path(dir.Path()) / "d";
    FakeRunWindow window;
    window.folderText = folder.string() + "/";
    window.markup = BingPage(urls);
    std::pair<fs::path, fs::path> places;
    {
      TRunController controller(window, ThrottleTimings{2, 50, 200, 300, 100});
      std::thread mover([&] {
        const auto limit = std::chrono::steady_clock::now() + 10s;
        while (server.Server().RequestCount() < 3 && std::chrono::steady_clock::now() < limit)
          std::this_thread::sleep_for(1ms);
        places = row.move(folder);
        server.hold = false;
      });
      controller.ButtonStartClick();
      mover.join();
    }
    const auto names = [](const fs::path& at) {
      std::vector<std::string> found;
      for (const auto& entry : fs::directory_iterator(at)) found.push_back(entry.path().filename());
      std::sort(found.begin(), found.end());
      return found;
    };
    EXPECT_EQ(names(places.first), expected);
    EXPECT_EQ(names(places.second), std::vector<std::string>{});
    EXPECT_EQ(ReadFileBytes((places.first / "url_list.txt").string()),
              urls[0] + "\r\n" + urls[1] + "\r\n" + urls[2] + "\r\n");
  }
}

}  // namespace
}  // namespace pixhaul::test
