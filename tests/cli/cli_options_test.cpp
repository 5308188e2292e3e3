// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Command-line parsing of pixhaul-cli and its hidden test settings: table-driven.
#include "cli/cli_options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace pixhaul::cli {
namespace {

std::string Joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) text += "[" + a + "]";
  return text;
}

TEST(ParseCommandLineTest, AcceptedLines) {
  struct Row {
    std::vector<std::string> args;
    int site;
    std::string folder;
    bool listOnly;
    std::string page;
    std::string rulesFile = "";
    bool verifyTls = false;
    std::string proxy = "";
  } rows[] = {
      {{"page.html"}, 0, "/home/ann/images_download", false, "page.html"},
      {{"--site", "google", "p"}, 1, "/home/ann/images_download", false, "p"},
      {{"--site", "2", "p"}, 2, "/home/ann/images_download", false, "p"},
      {{"--site=baidu", "p"}, 2, "/home/ann/images_download", false, "p"},
      {{"--site", "0", "--site", "bing", "p"}, 0, "/home/ann/images_download", false, "p"},
      {{"--save-dir", "/tmp/x y", "p"}, 0, "/tmp/x y", false, "p"},
      {{"--save-dir", "", "p"}, 0, "", false, "p"},  // as typed, even empty
      {{"p", "--list-only"}, 0, "/home/ann/images_download", true, "p"},
      {{"--", "--odd-name"}, 0, "/home/ann/images_download", false, "--odd-name"},
      {{"HTTPS://h/x?q=1"}, 0, "/home/ann/images_download", false, "HTTPS://h/x?q=1"},
      {{"-"}, 0, "/home/ann/images_download", false, "-"},
      {{"--rules", "my rules.ini", "p"},
       0,
       "/home/ann/images_download",
       false,
       "p",
       "my rules.ini"},
      {{"p", "--rules=/etc/r.ini"}, 0, "/home/ann/images_download", false, "p", "/etc/r.ini"},
      {{"--verify-tls", "p"}, 0, "/home/ann/images_download", false, "p", "", true},
      {{"--proxy", "none", "p"}, 0, "/home/ann/images_download", false, "p", "", false, "none"},
      {{"--proxy=socks5h://u:p@[::1]:9050", "p"},
       0,
       "/home/ann/images_download",
       false,
       "p",
       "",
       false,
       "socks5h://u:p@[::1]:9050"},
      {{"--proxy", "p:3128", "p"}, 0, "/home/ann/images_download", false, "p", "", false, "p:3128"},
  };
  for (const Row& row : rows) {
    const ParseResult r = ParseCommandLine(row.args, "/home/ann");
    SCOPED_TRACE(Joined(row.args));
    ASSERT_EQ(r.kind, ParseResult::Kind::kRun) << r.error;
    EXPECT_EQ(r.options.site.Row(), row.site);
    EXPECT_EQ(r.options.saveFolder, row.folder);
    EXPECT_EQ(r.options.listOnly, row.listOnly);
    EXPECT_EQ(r.options.page, row.page);
    EXPECT_EQ(r.options.rulesFile, row.rulesFile);
    EXPECT_EQ(r.options.verifyTls, row.verifyTls);
    EXPECT_EQ(r.options.proxy, row.proxy);
  }
}

TEST(ParseCommandLineTest, UsageErrors) {
  const std::vector<std::vector<std::string>> rows = {
      {},
      {"--site", "bing"},
      {"a", "b"},
      {"--site"},
      {"--site", "yahoo", "p"},
      {"--site", "3", "p"},
      {"--site", "Bing", "p"},
      {"--save-dir"},
      {"--verbose", "p"},
      {"-x", "p"},
      {"--list-only=yes", "p"},
      {"--verify-tls=yes", "p"},
      {"--version=1"},
      {"--rules"},
      {"--rules", "", "p"},
      {"--rules=", "p"},
      {"--proxy"},
      {"--proxy", "", "p"},
      {"--proxy", "https://p:443", "p"},
      {"--proxy", "socks4://p", "p"},
      {"--proxy", "http://p:99999", "p"},
  };
  for (const auto& args : rows) {
    const ParseResult r = ParseCommandLine(args, "/home/ann");
    EXPECT_EQ(r.kind, ParseResult::Kind::kUsageError) << Joined(args);
    EXPECT_FALSE(r.error.empty()) << Joined(args);
  }
}

TEST(ParseCommandLineTest, HelpAndVersionWinOverEverythingBeforeThem) {
  using Kind = ParseResult::Kind;
  EXPECT_EQ(ParseCommandLine({"--help"}, "/h").kind, Kind::kHelp);
  EXPECT_EQ(ParseCommandLine({"--site", "1", "--help"}, "/h").kind, Kind::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}, "/h").kind, Kind::kVersion);
  EXPECT_EQ(ParseCommandLine({"p", "--list-only", "--version"}, "/h").kind, Kind::kVersion);
  EXPECT_EQ(ParseCommandLine({"--version", "--help"}, "/h").kind, Kind::kVersion);
  EXPECT_EQ(ParseCommandLine({"--", "--version"}, "/h").kind, Kind::kRun);
  EXPECT_EQ(ParseCommandLine({"p", "--help-rules"}, "/h").kind, Kind::kHelpRules);
  EXPECT_EQ(ParseCommandLine({"--help-rules=x"}, "/h").kind, Kind::kUsageError);
  EXPECT_NE(HelpText().find(UsageText()), std::string::npos);
}

// The file named on the command line must be there; otherwise rules.ini is read, when it
// exists, from where the desktop program keeps config.ini: ini/ beside a program that may
// write its folder, the user's configuration folder otherwise.
TEST(RulesFileForTest, NamedFileOrTheOneBesideTheSettings) {
  char folder[] = "/tmp/pixhaul-rules-for-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string writable = std::string(folder) + "/";
  ::setenv("XDG_CONFIG_HOME", "/home/ann/.config", 1);
  CliOptions options;
  RulesFileLocation where = RulesFileFor(options, writable);
  EXPECT_EQ(where.path, writable + "ini/rules.ini");
  EXPECT_FALSE(where.required);
  EXPECT_EQ(RulesFileFor(options, "/nonexistent-pixhaul/bin/").path,
            "/home/ann/.config/pixhaul/rules.ini");
  EXPECT_EQ(RulesFileFor(options, "").path, "");
  options.rulesFile = "mine.ini";
  where = RulesFileFor(options, writable);
  EXPECT_EQ(where.path, "mine.ini");
  EXPECT_TRUE(where.required);
  ::unsetenv("XDG_CONFIG_HOME");
  ::rmdir(folder);
}

TEST(IsWebAddressTest, SchemeInAnyLetterCase) {
  struct Row {
    const char* page;
    bool web;
  } rows[] = {{"http://h/", true},   {"HTTPS://h/", true}, {"hTtP://", true},
              {"https:/h", false},   {"ftp://h/", false},  {"page.html", false},
              {"./http://x", false}, {"", false},          {"http:", false}};
  for (const Row& row : rows) EXPECT_EQ(IsWebAddress(row.page), row.web) << row.page;
}

}  // namespace
}  // namespace pixhaul::cli
