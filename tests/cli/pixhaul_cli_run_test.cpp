// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// pixhaul-cli end to end, whole runs: the log lines, the run files, the saved images, the progress
// line and the certificates checked on the way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli/terminal_progress.h"
#include "download/file_naming.h"
#include "loopback/loopback_server.h"
#include "loopback/self_signed_certificate.h"
#include "tests/cli/pixhaul_cli_support.h"
#include "tests/support/image_bytes.h"

namespace pixhaul::test {
namespace {

using loopback::HttpRequest;
using loopback::LoopbackHttpServer;

// One run per site and layout: the described markers on the described pages, the rules on
// today's. Google's pages are given as saved files, the others by address.
TEST_F(PixhaulCliTest, WholeRunForEachSiteAndLayout) {
  DemoServer server(8);
  const char* const kSiteNames[] = {"bing", "google", "baidu"};
  const char* const kLabels[] = {"www.bing.com", "images.google.com", "image.baidu.com"};
  for (const bool today : {false, true}) {
    for (int site = 0; site < 3; ++site) {
      SCOPED_TRACE(std::string(kSiteNames[site]) + (today ? ", today's layout" : ""));
      const std::string folder = SaveDir() + (today ? "-today" : "") + std::to_string(site);
      const std::string pageBytes =
          today ? server.Site().TodaysPage(site) : server.Site().Page(site);
      std::string page = today ? server.TodaysPageAddress(site) : server.PageAddress(site);
      if (site == 1) {
        page = work.File(today ? "google-today.html" : "google-results.html");
        WriteFileBytes(page, pageBytes);
      }
      auto cli = Start({"--site", kSiteNames[site], "--save-dir", folder, page});
      ASSERT_TRUE(cli->Wait());

      EXPECT_EQ(cli->ExitCode(), 0);
      const std::vector<std::string> addresses =
          today ? server.Site().TodaysImageAddresses(site) : server.Site().ImageAddresses();
      const std::string note =
          today ? std::string("pixhaul-cli: Addresses found by the current-layout rules for ") +
                      kLabels[site] + "\n"
                : "";
      EXPECT_EQ(cli->Err(), note + "Finished: " + std::to_string(addresses.size()) +
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

      // log.txt holds what was printed, with CR LF endings.
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
      if (!today) {
        EXPECT_EQ(ReadFileBytes(folder + "/result_content.txt"), pageBytes + "\r\n");
      }
    }
  }
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

// Certificates are not verified unless --verify-tls asks for it; then the page's server and
// every image's must show a certificate the trust store vouches for (here the test's own, given
// through OpenSSL's SSL_CERT_FILE in place of the system's file), naming the host reached.
TEST_F(PixhaulCliTest, VerifyTlsChecksThePagesAndTheImagesCertificates) {
  std::atomic<int> httpsPort{0};
  LoopbackHttpServer server([&httpsPort](const HttpRequest& r) {
    const std::string named = "https://localhost:" + std::to_string(httpsPort.load());
    const std::string dotted = "https://127.0.0.1:" + std::to_string(httpsPort.load());
    if (r.target == "/page") return loopback::OkReply("imgurl:\"" + named + "/a.png\"");
    if (r.target == "/dotted") return loopback::OkReply("imgurl:\"" + dotted + "/b.png\"");
    return loopback::OkReply("image " + r.target, "image/png");
  });
  httpsPort = server.HttpsPort();
  const std::string port = std::to_string(server.HttpsPort());
  const std::string page = "https://localhost:" + port + "/page";
  const std::string saved =
      "T0 " + FileNameFromUrl("https://localhost:" + port + "/a.png") + ": OK";
  const std::string trusted = "SSL_CERT_FILE=" + work.File("trusted.pem");
  WriteFileBytes(work.File("trusted.pem"), loopback::SelfSignedCertificatePem());
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
  loopback::RefusingPort refusing;
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

// Hosts answer image addresses with pages, icons and second copies. Documents are never kept,
// with the options off too; the size and duplicate options keep what the user asked for. Each
// body not kept says why in its line, leaves no file, and is counted by its class.
TEST_F(PixhaulCliTest, WhatIsKeptIsSaidPerImageAndCounted) {
  const std::string photo = PngBytes(300, 300);
  const std::string old = JpegBytes(800, 600, 1000);
  struct Path {
    const char* path;
    loopback::HttpReply reply;
    int delayMs = 0;
  };
  const std::vector<Path> paths = {
      {"/photo.jpg", loopback::OkReply(JpegBytes(640, 480), "image/jpeg")},
      {"/photo.png", loopback::OkReply(photo, "image/png")},
      {"/icon.png", loopback::OkReply(PngBytes(16, 16), "image/png")},
      {"/hotlink.jpg", loopback::OkReply("<p>Hotlinking is not allowed</p>")},
      {"/error.jpg", loopback::OkReply("{\"error\":\"denied\"}", "application/json")},
      {"/old.jpg", loopback::OkReply(old, "image/jpeg")},
      {"/drawing.svg", loopback::OkReply("<svg width=\"400\" height=\"400\"/>", "image/svg+xml")},
      {"/gone.png", loopback::HttpReply{404, "Not Found", {}, "", false}},
      // The copy comes last, so which of the two is the first is known.
      {"/mirror.png", loopback::OkReply(photo, "application/octet-stream"), 150},
  };
  LoopbackHttpServer server([&](const HttpRequest& request) {
    for (const Path& path : paths) {
      if (request.target != path.path) continue;
      std::this_thread::sleep_for(std::chrono::milliseconds(path.delayMs));
      return path.reply;
    }
    return loopback::HttpReply{404, "Not Found", {}, "", false};
  });
  std::string list;
  for (const Path& path : paths) list += "imgurl:\"" + server.HttpBase() + path.path + "\" ";
  const std::string page = work.File("page.html");
  WriteFileBytes(page, list);
  const auto url = [&](const char* path) { return server.HttpBase() + path; };
  const auto name = [&](const char* path) { return FileNameFromUrl(url(path)); };

  // Options off: everything but the documents and the missing image.
  auto plain = Start({"--save-dir", SaveDir() + "-plain", page});
  ASSERT_TRUE(plain->Wait());
  EXPECT_EQ(plain->ExitCode(), 3);
  EXPECT_EQ(plain->Err(), "Finished: 6 saved, 1 failed, 2 not images, 0 skipped\n");
  std::vector<std::string> lines = Lines(plain->Out(), "\n");
  for (const std::string& expected :
       {"T3:Not an image (text/html). " + url("/hotlink.jpg"),
        "T4:Not an image (application/json). " + url("/error.jpg"),
        "T1 " + name("/photo.png") + ": OK", "T8 " + name("/mirror.png") + ": OK"}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  }
  EXPECT_FALSE(std::filesystem::exists(SaveDir() + "-plain/" + name("/hotlink.jpg")));
  EXPECT_FALSE(std::filesystem::exists(SaveDir() + "-plain/" + name("/error.jpg")));

  // Both filters, over a folder that already holds one of the images under another name.
  std::filesystem::create_directory(SaveDir());
  WriteFileBytes(SaveDir() + "/kept-before.jpg", old);
  WriteFileBytes(SaveDir() + "/other.jpg", old.substr(1) + "x");  // same size, other bytes
  auto filtered =
      Start({"--save-dir", SaveDir(), "--min-size", "200x200", "--skip-duplicates", page});
  ASSERT_TRUE(filtered->Wait());
  EXPECT_EQ(filtered->ExitCode(), 3);
  EXPECT_EQ(filtered->Err(),
            "Finished: 3 saved, 1 failed, 2 not images, 1 filtered, 2 duplicates, 0 skipped\n");
  lines = Lines(filtered->Out(), "\n");
  for (const std::string& expected :
       {"T0 " + name("/photo.jpg") + ": OK", "T2:Smaller than 200x200 (16x16). " + url("/icon.png"),
        "T5:Same image as kept-before.jpg. " + url("/old.jpg"),
        "T6 " + name("/drawing.svg") + ": OK",
        "T8:Same image as " + name("/photo.png") + ". " + url("/mirror.png")}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  }
  std::vector<std::string> kept{"kept-before.jpg",    "log.txt",          "other.jpg",
                                name("/drawing.svg"), name("/photo.jpg"), name("/photo.png"),
                                "result_content.txt", "url_list.txt"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(FolderEntries(SaveDir()), kept);
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

}  // namespace
}  // namespace pixhaul::test
