// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// pixhaul-cli end to end, the page given, the rules file, --list-only and the help texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "download/file_naming.h"
#include "tests/cli/pixhaul_cli_support.h"
#include "tests/support/real_proxy.h"

namespace pixhaul::test {
namespace {

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
  EXPECT_LE(lines.size(), 56u) << cli->Out();
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_EQ(cli->Out().find("Rule1="), std::string::npos) << "the rules are not in --help";
  EXPECT_NE(cli->Out().find("pixhaul-cli --help-rules"), std::string::npos);
  EXPECT_NE(cli->Out().find("3 at least one download failed or was not an image; 130 stopped"),
            std::string::npos);
  EXPECT_EQ(cli->Out().rfind(
                "usage: pixhaul-cli [--site bing|google|baidu|0|1|2] [--save-dir DIR]\n"
                "                   [--rules FILE] [--list-only] [--verify-tls]\n"
                "                   [--min-size WxH] [--skip-duplicates] [--max-images N]\n"
                "                   [--retries N] [--failed-list FILE] [--proxy URL|none] PAGE\n",
                0),
            0u);
  EXPECT_EQ(cli->Err(), "");
}

// The page fetched for PAGE and every image go the same way: through the proxy that the
// environment names as curl reads it, or that --proxy names over it, or direct with --proxy none.
TEST_F(PixhaulCliTest, ThePageAndTheImagesGoThroughTheProxyChosen) {
  DemoServer server(3);
  RealProxy tinyproxy(RealProxy::Kind::kTinyproxy);
  RealProxy microsocks(RealProxy::Kind::kMicrosocks);
  const std::string dead = [] {
    RealProxy gone(RealProxy::Kind::kMicrosocks);
    return gone.Address("http");
  }();
  const std::string page = server.PageAddress(0);
  const std::string hostPort = server.Http("").substr(std::string("http://").size());
  struct Row {
    std::string name;
    std::vector<std::string> environment;
    std::string proxyOption;
    RealProxy* proxy;    // the one that must have carried the page, none: direct
    std::string logged;  // what it logged of the page's request
  };
  const std::vector<Row> rows = {
      {"http_proxy and https_proxy: tinyproxy",
       {"http_proxy=" + tinyproxy.Address(), "https_proxy=" + tinyproxy.Address()},
       "",
       &tinyproxy,
       "GET " + page + " HTTP/1.1"},
      {"all_proxy: microsocks, socks5h",
       {"all_proxy=" + microsocks.Address("socks5h")},
       "",
       &microsocks,
       "connected to " + hostPort},
      {"--proxy over a dead http_proxy",
       {"http_proxy=" + dead, "HTTPS_PROXY=" + dead},
       tinyproxy.Address(),
       &tinyproxy,
       "GET " + page + " HTTP/1.1"},
      {"--proxy none over a dead all_proxy", {"ALL_PROXY=" + dead}, "none", nullptr, ""},
      {"no_proxy sends the loopback host direct",
       {"all_proxy=" + dead, "no_proxy=localhost, 127.0.0.1"},
       "",
       nullptr,
       ""},
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.name);
    std::vector<std::string> environment = {
        kFastTimings, "http_proxy=", "https_proxy=", "HTTPS_PROXY=",
        "all_proxy=", "ALL_PROXY=",  "no_proxy=",    "NO_PROXY="};
    environment.insert(environment.end(), row.environment.begin(), row.environment.end());
    std::vector<std::string> args = {"--save-dir", SaveDir() + std::to_string(i), page};
    if (!row.proxyOption.empty()) args.insert(args.begin(), {"--proxy", row.proxyOption});
    const size_t tinyLogged = tinyproxy.Log().size();
    const size_t socksLogged = microsocks.Log().size();
    auto cli = Start(args, {environment});
    ASSERT_TRUE(cli->Wait());
    EXPECT_EQ(cli->ExitCode(), 0) << cli->Out();
    EXPECT_EQ(cli->Err(), "Finished: " + std::to_string(server.Site().ImageAddresses().size()) +
                              " saved, 0 failed, 0 skipped\n");
    const std::string tinyNew = tinyproxy.Log().substr(tinyLogged);
    const std::string socksNew = microsocks.Log().substr(socksLogged);
    // Every image came through the proxy too: one request (at least) for each beside the page's.
    const auto count = [](const std::string& text, const std::string& word) {
      size_t n = 0;
      for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
      return n;
    };
    const size_t requests = 1 + server.Site().ImageAddresses().size();
    if (row.proxy == &tinyproxy) {
      EXPECT_NE(tinyNew.find(row.logged), std::string::npos) << tinyNew;
      EXPECT_GE(count(tinyNew, "]: Request ("), requests) << tinyNew;
    } else if (row.proxy == &microsocks) {
      EXPECT_NE(socksNew.find(row.logged), std::string::npos) << socksNew;
      EXPECT_GE(count(socksNew, ": connected to "), requests) << socksNew;
    } else {
      EXPECT_EQ(tinyNew.find("Request"), std::string::npos) << tinyNew;
      EXPECT_EQ(socksNew, "");
    }
  }
}

}  // namespace
}  // namespace pixhaul::test
