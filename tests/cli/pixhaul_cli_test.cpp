// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// pixhaul-cli end to end: the built program runs against the demo site on loopback servers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/terminal_progress.h"
#include "demo/demo_site.h"
#include "download/file_naming.h"
#include "loopback/loopback_server.h"
#include "loopback/self_signed_certificate.h"
#include "tests/support/cli_process.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

using demo::DemoSite;
using demo::HttpReply;
using demo::HttpRequest;
using demo::LoopbackHttpServer;

const std::string kFastTimings = "PIXHAUL_TEST_TIMINGS=5,50,100,300,200";

// The demo site on a loopback server, with image replies that a test can hold back.
class DemoServer {
 public:
  explicit DemoServer(int images)
      : site_(DemoSite::Options{images, 16, 16}), server_([this](const HttpRequest& r) {
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

  const DemoSite& Site() const { return site_; }
  std::string PageAddress(int site) const { return server_.HttpBase() + DemoSite::PagePath(site); }
  std::string TodaysPageAddress(int site) const {
    return server_.HttpBase() + DemoSite::TodaysPagePath(site);
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
  DemoSite site_;
  LoopbackHttpServer server_;
};

std::vector<std::string> Lines(const std::string& text, const std::string& separator) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos;
       start = end + separator.size()) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text does not end with a line ending";
  return lines;
}

std::vector<std::string> Header(int count) {
  return {"Log:", "Start to get the search result... please wait...",
          "",     "Successful to get the search result.",
          "",     "Now to get the url list...",
          "",     "Got the url list successfully.",
          "",     "Total url count:" + std::to_string(count),
          "",     "Now start to download these images.",
          ""};
}
const std::vector<std::string> kStopLines = {
    "", "Task will be terminated by user. please wait some seconds...", ""};
const std::vector<std::string> kClosing = {"", "All images downloaded, task finished."};

// Polls `done` until it holds (true) or a generous bound passes (false).
bool PollUntil(const std::function<bool()>& done, unsigned timeoutMs = 20000) {
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

TEST_F(PixhaulCliTest, WholeRunForEachSiteMarker) {
  DemoServer server(8);
  const char* const kSiteNames[] = {"bing", "google", "baidu"};
  for (int site = 0; site < 3; ++site) {
    SCOPED_TRACE(kSiteNames[site]);
    const std::string folder = SaveDir() + std::to_string(site);
    // Google's page is given as a saved file, the others by address.
    std::string page = server.PageAddress(site);
    if (site == 1) {
      page = work.File("google-results.html");
      WriteFileBytes(page, server.Site().Page(1));
    }
    auto cli = Start({"--site", kSiteNames[site], "--save-dir", folder, page});
    ASSERT_TRUE(cli->Wait());

    EXPECT_EQ(cli->ExitCode(), 0);
    EXPECT_EQ(cli->Err(), "Finished: 8 saved, 0 failed, 0 skipped\n");
    const std::vector<std::string> addresses = server.Site().ImageAddresses();
    std::vector<std::string> lines = Lines(cli->Out(), "\n");
    ASSERT_EQ(lines.size(), 13 + addresses.size() + 2) << cli->Out();
    std::vector<std::string> workerLines(lines.begin() + 13, lines.end() - 2);
    std::sort(workerLines.begin(), workerLines.end());
    std::vector<std::string> expected;
    for (size_t i = 0; i < addresses.size(); ++i) {
      expected.push_back("T" + std::to_string(i) + " " + FileNameFromUrl(addresses[i]) + ": OK");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(workerLines, expected);
    lines.erase(lines.begin() + 13, lines.end() - 2);
    std::vector<std::string> frame = Header(static_cast<int>(addresses.size()));
    frame.insert(frame.end(), kClosing.begin(), kClosing.end());
    EXPECT_EQ(lines, frame);

    // log.txt holds what was printed, with CR LF endings.
    const std::string log = ReadFileBytes(folder + "/log.txt");
    EXPECT_EQ(Lines(log, "\r\n"), Lines(cli->Out(), "\n"));
    for (size_t i = 0; i < addresses.size(); ++i) {
      EXPECT_EQ(ReadFileBytes(folder + "/" + FileNameFromUrl(addresses[i])),
                server.Site().Image(static_cast<int>(i)))
          << addresses[i];
    }
    EXPECT_EQ(FolderEntries(folder).size(), addresses.size() + 3) << "no temporary files left";
    std::string list;
    for (const std::string& a : addresses) list += a + "\r\n";
    EXPECT_EQ(ReadFileBytes(folder + "/url_list.txt"), list);
    EXPECT_EQ(ReadFileBytes(folder + "/result_content.txt"), server.Site().Page(site) + "\r\n");
  }
}

// Pages in the layouts the sites serve today: the current-layout rules give the decoded
// addresses, and the run is otherwise the described one, every image saved under the name its
// decoded address gives.
TEST_F(PixhaulCliTest, WholeRunForEachTodaysLayout) {
  DemoServer server(8);
  const char* const kSiteNames[] = {"bing", "google", "baidu"};
  const char* const kLabels[] = {"www.bing.com", "images.google.com", "image.baidu.com"};
  for (int site = 0; site < 3; ++site) {
    SCOPED_TRACE(kSiteNames[site]);
    const std::string folder = SaveDir() + "-today" + std::to_string(site);
    std::string page = server.TodaysPageAddress(site);
    if (site == 1) {
      page = work.File("google-today.html");
      WriteFileBytes(page, server.Site().TodaysPage(1));
    }
    auto cli = Start({"--site", kSiteNames[site], "--save-dir", folder, page});
    ASSERT_TRUE(cli->Wait());

    EXPECT_EQ(cli->ExitCode(), 0);
    const std::vector<std::string> addresses = server.Site().TodaysImageAddresses(site);
    EXPECT_EQ(cli->Err(),
              std::string("pixhaul-cli: Addresses found by the current-layout rules for ") +
                  kLabels[site] + "\nFinished: " + std::to_string(addresses.size()) +
                  " saved, 0 failed, 0 skipped\n");
    std::vector<std::string> lines = Lines(cli->Out(), "\n");
    ASSERT_EQ(lines.size(), 13 + addresses.size() + 2) << cli->Out();
    std::vector<std::string> workerLines(lines.begin() + 13, lines.end() - 2);
    std::sort(workerLines.begin(), workerLines.end());
    std::vector<std::string> expected;
    for (size_t i = 0; i < addresses.size(); ++i) {
      expected.push_back("T" + std::to_string(i) + " " + FileNameFromUrl(addresses[i]) + ": OK");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(workerLines, expected);
    lines.erase(lines.begin() + 13, lines.end() - 2);
    std::vector<std::string> frame = Header(static_cast<int>(addresses.size()));
    frame.insert(frame.end(), kClosing.begin(), kClosing.end());
    EXPECT_EQ(lines, frame);
    EXPECT_EQ(Lines(ReadFileBytes(folder + "/log.txt"), "\r\n"), Lines(cli->Out(), "\n"));
    for (size_t i = 0; i < addresses.size(); ++i) {
      EXPECT_EQ(ReadFileBytes(folder + "/" + FileNameFromUrl(addresses[i])),
                server.Site().Image(static_cast<int>(i)))
          << addresses[i];
    }
    EXPECT_EQ(FolderEntries(folder).size(), addresses.size() + 3) << "no temporary files left";
    std::string list;
    for (const std::string& a : addresses) list += a + "\r\n";
    EXPECT_EQ(ReadFileBytes(folder + "/url_list.txt"), list);
  }
}

TEST_F(PixhaulCliTest, ListOnlyPrintsTheDecodedAddressesOfATodaysPage) {
  DemoServer server(5);
  auto cli = Start(
      {"--list-only", "--site", "google", "--save-dir", SaveDir(), server.TodaysPageAddress(1)});
  ASSERT_TRUE(cli->Wait());

  EXPECT_EQ(cli->ExitCode(), 0);
  std::string printed;
  for (const std::string& a : server.Site().TodaysImageAddresses(1)) printed += a + "\n";
  EXPECT_EQ(cli->Out(), printed);
  EXPECT_EQ(cli->Err(),
            "pixhaul-cli: Addresses found by the current-layout rules for images.google.com\n");
  EXPECT_EQ(server.imageRequests, 0);
}

// A rules file named with --rules replaces the rules of the sites it names; a faulty section is
// reported on standard error, its site keeps the built-in rules, the run is still made, and the
// exit status says something was wrong.
TEST_F(PixhaulCliTest, RulesFileReplacesTheSitesItNamesAndItsFaultsAreReported) {
  DemoServer server(3);
  const std::string rules = work.File("rules.ini");
  WriteFileBytes(rules,
                 "[images.google.com]\r\nRule1=<b class=\"full\">(http[^<]+)</b>\r\n"
                 "[www.bing.com]\r\nRule1=murl(\r\nDecoding1=xml\r\n");
  const std::string page = work.File("page.html");
  WriteFileBytes(page, "<b class=\"full\">" + server.Http("/img/0.png") + "</b>" +
                           server.Site().TodaysPage(1));

  auto google =
      Start({"--list-only", "--rules", rules, "--site", "google", "--save-dir", SaveDir(), page});
  ASSERT_TRUE(google->Wait());
  EXPECT_EQ(google->Out(), server.Http("/img/0.png") + "\n");
  EXPECT_EQ(google->ExitCode(), 1);
  const std::string faults =
      rules +
      ": [www.bing.com] Rule1: invalid expression: missing closing parenthesis (at "
      "character 6); the built-in rules are used for www.bing.com\n" +
      rules +
      ": [www.bing.com] Decoding1: unknown decoding \"xml\" (none, html, json or baidu); the "
      "built-in rules are used for www.bing.com\n";
  EXPECT_EQ(google->Err(), faults +
                               "pixhaul-cli: Addresses found by the current-layout rules for "
                               "images.google.com\n");

  // A whole run on today's Bing page with the same file: the built-in rules, every image.
  auto bing =
      Start({"--rules=" + rules, "--save-dir", SaveDir() + "-bing", server.TodaysPageAddress(0)});
  ASSERT_TRUE(bing->Wait());
  EXPECT_EQ(bing->ExitCode(), 1);
  EXPECT_EQ(bing->Err(), faults +
                             "pixhaul-cli: Addresses found by the current-layout rules for "
                             "www.bing.com\nFinished: 3 saved, 0 failed, 0 skipped\n");
  const std::vector<std::string> lines = Lines(bing->Out(), "\n");
  ASSERT_EQ(lines.size(), 13u + 3u + 2u) << bing->Out();
  EXPECT_EQ(lines.back(), "All images downloaded, task finished.");
  for (const std::string& a : server.Site().TodaysImageAddresses(0)) {
    EXPECT_TRUE(std::filesystem::exists(SaveDir() + "-bing/" + FileNameFromUrl(a))) << a;
  }

  // A file the user named must be there.
  auto missing = Start({"--list-only", "--rules", work.File("none.ini"), "--save-dir", SaveDir(),
                        server.TodaysPageAddress(2), "--site", "baidu"});
  ASSERT_TRUE(missing->Wait());
  EXPECT_EQ(missing->ExitCode(), 1);
  EXPECT_EQ(
      missing->Err().rfind(work.File("none.ini") + ": the rules file cannot be read (No such "
                                                   "file or directory); the built-in rules are "
                                                   "used for every site\n",
                           0),
      0u)
      << missing->Err();
  EXPECT_EQ(Lines(missing->Out(), "\n").size(), 3u);
}

// Without --rules the program reads ini/rules.ini beside itself, where a run from a build
// folder keeps its settings.
TEST_F(PixhaulCliTest, RulesFileBesideTheProgramIsRead) {
  DemoServer server(2);
  TempDir program;
  const std::string copy = program.File("pixhaul-cli");
  std::filesystem::copy_file(PIXHAUL_CLI_PATH, copy);
  std::filesystem::create_directory(program.File("ini"));
  WriteFileBytes(program.File("ini/rules.ini"),
                 "[image.baidu.com]\nRule1=\"thumbURL\":\"(http[^\"]+)\"\nDecoding1=json\n");
  auto cli = Start(
      {"--list-only", "--site", "baidu", "--save-dir", SaveDir(), server.TodaysPageAddress(2)},
      {{kFastTimings}}, copy);
  ASSERT_TRUE(cli->Wait());
  EXPECT_EQ(cli->ExitCode(), 0) << cli->Err();
  // The file's rule takes Baidu's thumbnails, where the built-in rules take the originals.
  EXPECT_EQ(cli->Out(), server.Http("/thumb/0.png") + "\n" + server.Http("/thumb/1.png") + "\n");
}

TEST_F(PixhaulCliTest, SecondRunSkipsEveryFile) {
  DemoServer server(6);
  auto first = Start({"--save-dir", SaveDir(), server.PageAddress(0)});
  ASSERT_TRUE(first->Wait());
  ASSERT_EQ(first->ExitCode(), 0);
  const int imageRequests = server.imageRequests;
  EXPECT_GE(imageRequests, 6);

  auto second = Start({"--save-dir", SaveDir(), server.PageAddress(0)});
  ASSERT_TRUE(second->Wait());

  EXPECT_EQ(second->ExitCode(), 0);
  EXPECT_EQ(second->Err(), "Nothing new: 6 already in the folder\n")
      << "no progress line unless standard error is a terminal";
  std::vector<std::string> expected = Header(6);
  expected.insert(expected.end(), kClosing.begin(), kClosing.end());
  EXPECT_EQ(Lines(second->Out(), "\n"), expected);
  EXPECT_EQ(server.imageRequests, imageRequests) << "no image may be fetched again";
}

// The first SIGINT or SIGTERM takes the stop path; the workers already out finish. With every
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

// Certificates are not verified unless --verify-tls asks for it; then the page's server and
// every image's must show a certificate the trust store vouches for (here the test's own, given
// through OpenSSL's SSL_CERT_FILE in place of the system's file), naming the host reached.
TEST_F(PixhaulCliTest, VerifyTlsChecksThePagesAndTheImagesCertificates) {
  std::atomic<int> httpsPort{0};
  LoopbackHttpServer server([&httpsPort](const HttpRequest& r) {
    const std::string named = "https://localhost:" + std::to_string(httpsPort.load());
    const std::string dotted = "https://127.0.0.1:" + std::to_string(httpsPort.load());
    if (r.target == "/page") return demo::OkReply("imgurl:\"" + named + "/a.png\"");
    if (r.target == "/dotted") return demo::OkReply("imgurl:\"" + dotted + "/b.png\"");
    return demo::OkReply("image " + r.target, "image/png");
  });
  httpsPort = server.HttpsPort();
  const std::string port = std::to_string(server.HttpsPort());
  const std::string page = "https://localhost:" + port + "/page";
  const std::string saved =
      "T0 " + FileNameFromUrl("https://localhost:" + port + "/a.png") + ": OK";
  const std::string trusted = "SSL_CERT_FILE=" + work.File("trusted.pem");
  WriteFileBytes(work.File("trusted.pem"), demo::SelfSignedCertificatePem());
  auto failed = [](int reason) {
    return std::string("Certificate verify failed: ") + X509_verify_cert_error_string(reason) + ".";
  };
  struct Row {
    const char* what;
    std::vector<std::string> args;
    std::vector<std::string> environment;
    int exitCode;
    std::string err;
    std::string logged;  // a line of standard output
  } rows[] = {
      {"not verified by default", {page}, {}, 0, "Finished: 1 saved, 0 failed, 0 skipped\n", saved},
      {"untrusted page",
       {"--verify-tls", page},
       {},
       1,
       failed(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT) + "\nError: can not get document.\n",
       ""},
      {"trusted page and image",
       {"--verify-tls", page},
       {trusted},
       0,
       "Finished: 1 saved, 0 failed, 0 skipped\n",
       saved},
      {"image whose certificate does not name its host",
       {"--verify-tls", "https://localhost:" + port + "/dotted"},
       {trusted},
       3,
       "Finished: 0 saved, 1 failed, 0 skipped\n",
       "T0:" + failed(X509_V_ERR_IP_ADDRESS_MISMATCH) + " https://127.0.0.1:" + port + "/b.png"},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string folder = SaveDir() + std::to_string(n++);
    std::vector<std::string> args = {"--save-dir", folder};
    args.insert(args.end(), row.args.begin(), row.args.end());
    std::vector<std::string> environment = {kFastTimings};
    environment.insert(environment.end(), row.environment.begin(), row.environment.end());
    auto cli = Start(args, {environment});
    ASSERT_TRUE(cli->Wait());
    EXPECT_EQ(cli->ExitCode(), row.exitCode);
    EXPECT_EQ(cli->Err(), row.err);
    if (!row.logged.empty()) {
      const std::vector<std::string> lines = Lines(cli->Out(), "\n");
      EXPECT_NE(std::find(lines.begin(), lines.end(), row.logged), lines.end()) << cli->Out();
    }
  }
  EXPECT_EQ(
      ReadFileBytes(SaveDir() + "2/" + FileNameFromUrl("https://localhost:" + port + "/a.png")),
      "image /a.png");
}

TEST_F(PixhaulCliTest, FailedDownloadsArePrintedAsThePaneShowsThem) {
  DemoServer server(1);
  demo::RefusingPort refusing;
  const std::string refused = "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/r.png";
  const std::string missing = server.Http("/img/999.png");
  const std::string page = work.File("page.html");
  WriteFileBytes(page, "imgurl:\"" + refused + "\" imgurl:\"" + missing + "\"");

  auto cli = Start({"--save-dir", SaveDir(), page});
  ASSERT_TRUE(cli->Wait());

  EXPECT_EQ(cli->ExitCode(), 3);
  EXPECT_EQ(cli->Err(), "Finished: 0 saved, 2 failed, 0 skipped\n");
  const std::vector<std::string> lines = Lines(cli->Out(), "\n");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "T0:Socket Error # 10061"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Connection refused. " + refused), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "T1:404 Not Found " + missing), lines.end());
  EXPECT_EQ(FolderEntries(SaveDir()),
            (std::vector<std::string>{"log.txt", "result_content.txt", "url_list.txt"}));
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

// A pseudo-terminal in raw mode: the test reads from its master side everything the program
// writes to the terminal, byte for byte.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    path_ = ::ptsname(master_);
    // Held open so that the terminal outlives the child and raw mode sticks.
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
    termios mode{};
    if (slave_ < 0 || ::tcgetattr(slave_, &mode) != 0) throw std::runtime_error("no terminal");
    ::cfmakeraw(&mode);
    ::tcsetattr(slave_, TCSANOW, &mode);
    reader_ = std::thread([this] {
      char buffer[4096];
      for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;) {
        std::lock_guard lock(mutex_);
        bytes_.append(buffer, static_cast<size_t>(n));
      }
    });
  }
  ~PseudoTerminal() {
    CloseSlave();
    reader_.join();
    ::close(master_);
  }
  const std::string& Path() const { return path_; }
  // Once the child has ended: everything it wrote.
  std::string Finish() {
    CloseSlave();  // the master's reads end when no slave is open
    reader_.join();
    reader_ = std::thread([] {});
    std::lock_guard lock(mutex_);
    return bytes_;
  }

 private:
  void CloseSlave() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
  }
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::mutex mutex_;
  std::string bytes_;
  std::thread reader_;
};

// On a terminal, standard error keeps one progress line, redrawn in place at each change and
// left standing with the run's final counts; standard output is the log as always.
TEST_F(PixhaulCliTest, ProgressLineIsDrawnOnlyOnATerminal) {
  DemoServer server(4);
  std::vector<std::string> addresses = server.Site().ImageAddresses();
  addresses.push_back(server.Http("/img/999.png"));  // not found
  std::string page;
  for (const std::string& a : addresses) page += "imgurl:\"" + a + "\" ";
  WriteFileBytes(work.File("page.html"), page);
  std::filesystem::create_directories(SaveDir());
  WriteFileBytes(SaveDir() + "/" + FileNameFromUrl(addresses[2]), "present");

  PseudoTerminal terminal;
  auto cli = Start({"--save-dir", SaveDir(), work.File("page.html")},
                   {.environment = {kFastTimings}, .errDevice = terminal.Path()});
  ASSERT_TRUE(cli->Wait());
  std::string shown = terminal.Finish();

  EXPECT_EQ(cli->ExitCode(), 3);
  // The summary follows the line left standing.
  const std::string summary = "Finished: 3 saved, 1 failed, 1 skipped\n";
  ASSERT_GT(shown.size(), summary.size()) << shown;
  EXPECT_EQ(shown.substr(shown.size() - summary.size()), summary) << shown;
  shown.resize(shown.size() - summary.size());
  const std::vector<std::string> lines = Lines(cli->Out(), "\n");
  ASSERT_EQ(lines.size(), 13u + 4u + 2u) << cli->Out();  // 4 workers' lines
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "T4:404 Not Found " + addresses[4]), 1);

  // Every draw goes back to the line's start and clears it; the last one ends the line.
  const std::string erase = "\r\x1b[K";
  const std::vector<std::string> draws = Lines(shown.substr(0, shown.size() - 1) + erase, erase);
  ASSERT_FALSE(draws.empty());
  EXPECT_EQ(shown.substr(0, erase.size()), erase);
  EXPECT_EQ(shown.back(), '\n');
  // First the bare list, then one change per draw: 4 starts, 4 ends, 1 skip, and the end.
  EXPECT_EQ(draws[1], cli::ProgressLineText(RunProgress{5, 0, 0, 0, 0, true}));
  EXPECT_EQ(draws.back(), cli::ProgressLineText(RunProgress{5, 4, 3, 1, 1, false}));
  EXPECT_EQ(draws.back(),
            "[####################] 5 addresses \u00b7 4 started \u00b7 3 saved "
            "\u00b7 1 failed \u00b7 1 skipped");
  EXPECT_EQ(draws.size(), 1u + 1u + 4u + 4u + 1u + 1u) << shown;
}

TEST_F(PixhaulCliTest, ListOnlyWritesTheListAndDownloadsNothing) {
  DemoServer server(5);
  auto cli =
      Start({"--list-only", "--site", "baidu", "--save-dir", SaveDir(), server.PageAddress(2)});
  ASSERT_TRUE(cli->Wait());

  EXPECT_EQ(cli->ExitCode(), 0);
  EXPECT_EQ(cli->Err(), "");
  std::string printed, listed;
  for (const std::string& a : server.Site().ImageAddresses()) {
    printed += a + "\n";
    listed += a + "\r\n";
  }
  EXPECT_EQ(cli->Out(), printed);
  EXPECT_EQ(ReadFileBytes(SaveDir() + "/url_list.txt"), listed);
  EXPECT_EQ(ReadFileBytes(SaveDir() + "/result_content.txt"), server.Site().Page(2) + "\r\n");
  EXPECT_EQ(FolderEntries(SaveDir()),
            (std::vector<std::string>{"result_content.txt", "url_list.txt"}));
  EXPECT_EQ(server.imageRequests, 0);
}

// A saved page reaches result_content.txt byte for byte - every kind of line break, a NUL and
// what follows it - with the CR LF that saving it as a line list adds; the list holds what the
// page's lines, read as a line list reads them, yield; --list-only prints it with LF endings.
TEST_F(PixhaulCliTest, SavedPageBytesReachTheRunFilesAsTheyStand) {
  struct Row {
    const char* what;
    std::string page;
    std::string list;     // url_list.txt
    std::string printed;  // standard output of --list-only
  } rows[] = {
      {"LF", "<p>\nimgurl:\"http://h/1.jpg\"\nimgurl:\"http://h/2.jpg\"",
       "http://h/1.jpg\r\nhttp://h/2.jpg\r\n", "http://h/1.jpg\nhttp://h/2.jpg\n"},
      {"CR LF", "imgurl:\"http://h/1.jpg\"\r\n\r\nimgurl:\"http://h/2.jpg\"\r\n",
       "http://h/1.jpg\r\nhttp://h/2.jpg\r\n", "http://h/1.jpg\nhttp://h/2.jpg\n"},
      {"lone CR, an address across a line end",
       "imgurl:\"http://h/open\rimgurl:\"http://h/2.jpg\"\r",
       "http://h/open\r\nimgurl:\r\nhttp://h/2.jpg\r\n",
       "http://h/open\nimgurl:\nhttp://h/2.jpg\n"},
      {"NUL", std::string("imgurl:\"http://h/1.jpg\"\0imgurl:\"http://h/2.jpg\"\r\n", 49),
       "http://h/1.jpg\r\n", "http://h/1.jpg\n"},
      {"LF CR, CR CR LF, an empty address", "imgurl:\"\"\n\rimgurl:x/a.jpg\"\r\r\n",
       "\r\n/a.jpg\r\n", "\n/a.jpg\n"},
      {"empty page", "", "", ""},
      // The list keeps an address's bytes; what is printed shows its controls as the log does.
      {"terminal controls in an address",
       "imgurl:\"http://h/\x1b]0;owned\x07\x1b[2J\tx\xc2\x9b"
       "1m.jpg\"",
       "http://h/\x1b]0;owned\x07\x1b[2J\tx\xc2\x9b"
       "1m.jpg\r\n",
       "http://h/\\x1b]0;owned\\x07\\x1b[2J\\tx\\u009b1m.jpg\n"},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string page = work.File("page" + std::to_string(n) + ".html");
    WriteFileBytes(page, row.page);
    const std::string folder = SaveDir() + std::to_string(n++);

    auto cli = Start({"--list-only", "--save-dir", folder, page});
    ASSERT_TRUE(cli->Wait());

    EXPECT_EQ(cli->ExitCode(), 0);
    EXPECT_EQ(cli->Err(), "");
    EXPECT_EQ(cli->Out(), row.printed);
    EXPECT_EQ(ReadFileBytes(folder + "/result_content.txt"), row.page + "\r\n");
    EXPECT_EQ(ReadFileBytes(folder + "/url_list.txt"), row.list);
  }

  // A whole run writes its page file the same way (the address after the NUL is not seen).
  const std::string nulPage("<p>\r\n\0imgurl:\"http://h/x.jpg\"\n", 30);
  WriteFileBytes(work.File("nul.html"), nulPage);
  auto run = Start({"--save-dir", SaveDir() + "run", work.File("nul.html")});
  ASSERT_TRUE(run->Wait());
  EXPECT_EQ(run->ExitCode(), 0);
  EXPECT_NE(run->Out().find("Total url count:0\n"), std::string::npos) << run->Out();
  EXPECT_EQ(ReadFileBytes(SaveDir() + "run/result_content.txt"), nulPage + "\r\n");
  EXPECT_EQ(ReadFileBytes(SaveDir() + "run/url_list.txt"), "");
}

// The page given may be the result_content.txt of its own save folder: it is not emptied by
// being written onto itself, but ends up as any other page would, with CR LF added.
TEST_F(PixhaulCliTest, PageThatIsTheRunsOwnPageFileKeepsItsBytes) {
  const std::string page = "<p>imgurl:\"http://h/a.jpg\"</p>\n";
  std::filesystem::create_directories(SaveDir());
  WriteFileBytes(SaveDir() + "/result_content.txt", page);

  auto cli = Start({"--list-only", "--save-dir", SaveDir(), SaveDir() + "/result_content.txt"});
  ASSERT_TRUE(cli->Wait());

  EXPECT_EQ(cli->ExitCode(), 0);
  EXPECT_EQ(ReadFileBytes(SaveDir() + "/result_content.txt"), page + "\r\n");
  EXPECT_EQ(cli->Out(), "http://h/a.jpg\n");
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

// --help fits a screen and says where the rest is; --help-rules gives the rules file's format
// and the built-in rules, as a rules file would hold them.
TEST_F(PixhaulCliTest, HelpListsTheUsageOnStandardOutput) {
  auto rules = Start({"--help-rules"});
  ASSERT_TRUE(rules->Wait());
  EXPECT_EQ(rules->ExitCode(), 0);
  EXPECT_EQ(rules->Err(), "");
  EXPECT_NE(rules->Out().find("ExcludeN.M"), std::string::npos) << rules->Out();
  EXPECT_NE(rules->Out().find("[images.google.com]\n"), std::string::npos) << rules->Out();
  EXPECT_NE(rules->Out().find("\nRule1="), std::string::npos) << rules->Out();

  auto cli = Start({"--help"});
  ASSERT_TRUE(cli->Wait());
  EXPECT_EQ(cli->ExitCode(), 0);
  const std::vector<std::string> lines = Lines(cli->Out(), "\n");
  EXPECT_LE(lines.size(), 32u) << cli->Out();
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_EQ(cli->Out().find("Rule1="), std::string::npos) << "the rules are not in --help";
  EXPECT_NE(cli->Out().find("pixhaul-cli --help-rules"), std::string::npos);
  EXPECT_NE(cli->Out().find("3 at least one download failed; 130 stopped by a signal."),
            std::string::npos);
  EXPECT_EQ(
      cli->Out().rfind("usage: pixhaul-cli [--site bing|google|baidu|0|1|2] [--save-dir DIR]\n"
                       "                   [--rules FILE] [--list-only] [--verify-tls] PAGE\n",
                       0),
      0u);
  EXPECT_EQ(cli->Err(), "");
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
