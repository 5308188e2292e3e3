// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// What the pixhaul-cli end-to-end suites share: the demo site on a loopback server, the fixture
// that starts the built program, the log's fixed lines and a way to split and poll output.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "demo/demo_site.h"
#include "loopback/loopback_server.h"
#include "tests/support/cli_process.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {

inline const std::string kFastTimings = "PIXHAUL_TEST_TIMINGS=5,50,100,300,200";

// The demo site on a loopback server, with image replies that a test can hold back.
class DemoServer {
 public:
  explicit DemoServer(int images)
      : site_(demo::DemoSite::Options{images, 16, 16}),
        server_([this](const loopback::HttpRequest& r) {
          const bool image =
              r.target.rfind("/img/", 0) == 0 || r.target.rfind("/redirect/", 0) == 0;
          if (image) {
            ++imageRequests;
            {
              std::lock_guard lock(mutex_);
              const size_t slash = r.target.rfind('/');
              requestedImages_.insert(std::stoi(r.target.substr(slash + 1)));
            }
            for (int i = 0; i < 10000 && holdImages; ++i) {
              std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
          } else {
            ++otherRequests;
          }
          return site_.Handle(r);
        }) {
    site_.SetBases(server_.HttpBase(), server_.HttpsBase());
  }
  ~DemoServer() {
    holdImages = false;
    server_.Stop();
  }

  const demo::DemoSite& Site() const { return site_; }
  std::string PageAddress(int site) const {
    return server_.HttpBase() + demo::DemoSite::PagePath(site);
  }
  std::string TodaysPageAddress(int site) const {
    return server_.HttpBase() + demo::DemoSite::TodaysPagePath(site);
  }
  std::string Http(const std::string& path) const { return server_.HttpBase() + path; }

  std::atomic<bool> holdImages{false};
  std::atomic<int> imageRequests{0};
  std::atomic<int> otherRequests{0};
  // The distinct images asked for, over all hops.
  std::set<int> RequestedImages() {
    std::lock_guard lock(mutex_);
    return requestedImages_;
  }

 private:
  std::mutex mutex_;
  std::set<int> requestedImages_;
  demo::DemoSite site_;
  loopback::LoopbackHttpServer server_;
};

inline std::vector<std::string> Lines(const std::string& text, const std::string& separator) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos;
       start = end + separator.size()) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text does not end with a line ending";
  return lines;
}

inline std::vector<std::string> Header(int count) {
  return {"Log:", "Start to get the search result... please wait...",
          "",     "Successful to get the search result.",
          "",     "Now to get the url list...",
          "",     "Got the url list successfully.",
          "",     "Total url count:" + std::to_string(count),
          "",     "Now start to download these images.",
          ""};
}
inline const std::vector<std::string> kStopLines = {
    "", "Task will be terminated by user. please wait some seconds...", ""};
inline const std::vector<std::string> kClosing = {"", "All images downloaded, task finished."};

// Polls `done` until it holds (true) or a generous bound passes (false).
inline bool PollUntil(const std::function<bool()>& done, unsigned timeoutMs = 20000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class PixhaulCliTest : public ::testing::Test {
 protected:
  // Starts `program` with `args`; its output is captured.
  static std::unique_ptr<CliProcess> Start(const std::vector<std::string>& args,
                                           CliProcess::Options options = {{kFastTimings}},
                                           const std::string& program = PIXHAUL_CLI_PATH) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<CliProcess>(std::move(argv), std::move(options));
  }
  std::string SaveDir() const { return work.Path() + "/images"; }

  TempDir work;  // save folders and page files
};

}  // namespace pixhaul::test
