// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The rules file: what it replaces, every fault it can hold (each reported once, naming file,
// section and key, with the site left on its built-in rules), its place beside the settings,
// and the rule book that reads it again only when it changes.
#include "harvest/rules_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "framework/ini_file.h"
#include "harvest/address_decoding.h"
#include "harvest/address_harvest.h"
#include "harvest/marker_scan.h"
#include "harvest/rule_book.h"
#include "harvest/rules_file_text.h"
#include "harvest/rules_pass_deadline.h"
#include "tests/harvest/todays_pages.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

// Which sites a loaded file gives rules for, as a text like "-G-".
std::string SitesFromFile(const RulesFileContent& content) {
  std::string sites;
  for (int s = 0; s < kSiteCount; ++s) {
    sites += content.sites[static_cast<size_t>(s)] ? "BGD"[s] : '-';
  }
  return sites;
}

TEST(RulesFile, NamedSitesAreReplacedAndTheOthersKeepTheirBuiltInRules) {
  TempDir dir;
  const std::string path = dir.File("rules.ini");
  WriteFileBytes(
      path,
      "; my rules\r\n[images.google.com]\r\nrule1 = data-full=\"([^\"]+)\"\r\n"
      "Exclude1.1=/small/\r\nExclude1.2=\\.gif$\r\nRule2=<b>(h[^<]+)</b>\r\nDECODING2=html\r\n");
  const RulesFileContent content = LoadRulesFile({path, false});
  EXPECT_TRUE(content.problems.empty()) << content.problems[0];
  ASSERT_EQ(SitesFromFile(content), "-G-");
  const SiteRules& google = *content.sites[1];
  ASSERT_EQ(google.rules.size(), 2u);
  EXPECT_TRUE(google.fromFile);
  EXPECT_EQ(google.rules[0].name, path + ": [images.google.com] Rule1");
  EXPECT_EQ(google.rules[0].decoding, AddressDecoding::kNone);
  EXPECT_EQ(google.rules[0].exclusionNames,
            (std::vector<std::string>{path + ": [images.google.com] Exclude1.1",
                                      path + ": [images.google.com] Exclude1.2"}));
  EXPECT_EQ(google.rules[1].decoding, AddressDecoding::kHtml);

  // In a run: Google takes the file's rules (the second, as the first finds only excluded
  // addresses), Bing still its built-in ones.
  RuleBook book;
  ASSERT_TRUE(book.Refresh({path, false}).empty());
  WriteFileBytes(dir.File("page.txt"),
                 "<i data-full=\"http://h/small/1.jpg\"></i><i data-full=\"http://h/2.gif\"></i>"
                 "<b>http://h/3.jpg?a=1&amp;b=2</b>" +
                     TodaysGooglePage({"https://example.org/g.jpg"}));
  HarvestResult r =
      HarvestImageUrls(dir.File("page.txt"), dir.File("list.txt"), SiteOfRow(1), book);
  EXPECT_EQ(ReadFileBytes(dir.File("list.txt")), "http://h/3.jpg?a=1&b=2\r\n");
  EXPECT_TRUE(r.byRules);
  WriteFileBytes(dir.File("page.txt"), TodaysBingPage({"https://example.org/b.jpg"}));
  r = HarvestImageUrls(dir.File("page.txt"), dir.File("list.txt"), SiteOfRow(0), book);
  EXPECT_EQ(ReadFileBytes(dir.File("list.txt")), "https://example.org/b.jpg\r\n");
}

TEST(RulesFile, EveryFaultIsReportedAndKeepsItsSiteOnTheBuiltInRules) {
  const std::string bing = "[www.bing.com]\n";
  const std::string longExpression = "(h" + std::string(2100, 'x') + ")";
  const struct {
    std::string file;
    std::vector<std::string> problems;  // after "PATH: "
    std::string sitesFromFile;
  } rows[] = {
      {bing + "Rule1=(unclosed\n",
       {"[www.bing.com] Rule1: invalid expression: missing closing parenthesis (at character "
        "10)"},
       "---"},
      {bing + "Rule1=no group\n",
       {"[www.bing.com] Rule1: the expression must have exactly one capture group (the address), "
        "it has 0; write (?:...) for a group that captures nothing"},
       "---"},
      {bing + "Rule1=(a)(b)\n",
       {"[www.bing.com] Rule1: the expression must have exactly one "
        "capture group (the address), it has 2; write (?:...) for a "
        "group that captures nothing"},
       "---"},
      {bing + "Rule1=\n", {"[www.bing.com] Rule1: the expression is empty"}, "---"},
      {bing + "Rule1=(*UTF)(x)\n",
       {"[www.bing.com] Rule1: invalid expression: using UTF is disabled by the application "
        "(at character 7)"},
       "---"},
      {bing + "Rule1=(x)\nDecoding1=xml\n",
       {"[www.bing.com] Decoding1: unknown decoding \"xml\" (none, html, json or baidu)"},
       "---"},
      {bing + "Rule1=(x)\nExclude1.1=[\n",
       {"[www.bing.com] Exclude1.1: invalid expression: missing terminating ] for character "
        "class (at character 2)"},
       "---"},
      {bing + "Rule1=(x)\nExclude1.1=\n",
       {"[www.bing.com] Exclude1.1: the expression is empty"},
       "---"},
      {bing + "Rule1=(x)\nRule3=(y)\n",
       {"[www.bing.com] Rule3: Rule2 is missing (numbers run 1, 2, 3... without gaps)"},
       "---"},
      {bing + "Rule1=(x)\nExclude1.2=y\n",
       {"[www.bing.com] Exclude1.2: Exclude1.1 is missing (numbers run 1, 2, 3... without gaps)"},
       "---"},
      {bing + "Rule1=(x)\nDecoding2=html\nExclude3.1=z\n",
       {"[www.bing.com] Decoding2: there is no Rule2",
        "[www.bing.com] Exclude3.1: there is no Rule3"},
       "---"},
      {bing + "Decoding1=html\n", {"[www.bing.com] Decoding1: there is no Rule1"}, "---"},
      {bing + "Rule1=(x)\nRUlE1=(y)\n",
       {"[www.bing.com] RUlE1: the key is given more than once"},
       "---"},
      {bing + "Rule1=(x)\nRule01=(y)\nRul2=(z)\nExclude1=w\nRule1.1=v\n",
       {"[www.bing.com] Rule01: unknown key (keys are RuleN, DecodingN and ExcludeN.M)",
        "[www.bing.com] Rul2: unknown key (keys are RuleN, DecodingN and ExcludeN.M)",
        "[www.bing.com] Exclude1: unknown key (keys are RuleN, DecodingN and ExcludeN.M)",
        "[www.bing.com] Rule1.1: unknown key (keys are RuleN, DecodingN and ExcludeN.M)"},
       "---"},
      {bing + "Rule65=(x)\n", {"[www.bing.com] Rule65: at most 64 rules per site"}, "---"},
      {bing + "Rule1=(x)\nExclude1.65=y\n",
       {"[www.bing.com] Exclude1.65: at most 64 exclusions per rule"},
       "---"},
      {bing + "Rule1=" + longExpression + "\n",
       {"[www.bing.com] Rule1: the value is too long (at most 2046 characters)"},
       "---"},
      // Faults in two sites; the third, valid, is taken; a section without keys names nothing.
      {"[image.baidu.com]\nRule1=(x\n[images.google.com]\nRule1=(g)\n[www.bing.com]\n; none\n",
       {"[image.baidu.com] Rule1: invalid expression: missing closing parenthesis (at "
        "character 3)"},
       "-G-"},
  };
  TempDir dir;
  const std::string path = dir.File("rules.ini");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file.substr(0, 200));
    WriteFileBytes(path, row.file);
    const RulesFileContent content = LoadRulesFile({path, false});
    std::vector<std::string> expected;
    for (const std::string& p : row.problems) {
      const std::string site = p.substr(1, p.find(']') - 1);
      expected.push_back(path + ": " + p + "; the built-in rules are used for " + site);
    }
    EXPECT_EQ(content.problems, expected);
    EXPECT_EQ(SitesFromFile(content), row.sitesFromFile);
  }
}

// Faults of the file's shape name their line: a NUL byte (the rest would go unread), a site's
// section given twice, a section that names no site. A byte-order mark is no fault.
TEST(RulesFile, FaultsOfTheFilesShapeNameTheLine) {
  const std::string bom = "\xEF\xBB\xBF";
  const struct {
    std::string file;
    std::vector<std::string> problems;  // after "PATH: "
    std::string sitesFromFile;
  } rows[] = {
      {bom + "[www.bing.com]\nRule1=(x)\n", {}, "B--"},
      {std::string("[www.bing.com]\nRule1=(x)\r\n\r\nRule2=(y)\0\n", 39),
       {"line 4: the rules file holds a NUL byte; the built-in rules are used for every site"},
       "---"},
      {std::string("\0[www.bing.com]\nRule1=(x)\n", 26),
       {"line 1: the rules file holds a NUL byte; the built-in rules are used for every site"},
       "---"},
      {"[www.bing.com]\nRule1=(x)\n[images.google.com]\nRule1=(g)\n [WWW.BING.COM] \n"
       "Rule2=(y)\n",
       {"line 5: [WWW.BING.COM] is given a second time (first on line 1); the built-in rules "
        "are used for www.bing.com"},
       "-G-"},
      {bom + "[image.baidu.com]\r\nRule1=(b)\r\n\r[image.baidu.com]\r\n",
       {"line 4: [image.baidu.com] is given a second time (first on line 1); the built-in rules "
        "are used for image.baidu.com"},
       "---"},
      {"[www.bing.co]\nRule1=(x)\n[images.google.com]\nRule1=(g)\n[]\n",
       {"line 1: unknown section [www.bing.co] (the sections are [www.bing.com], "
        "[images.google.com] and [image.baidu.com]); its keys are not used",
        "line 5: unknown section [] (the sections are [www.bing.com], [images.google.com] and "
        "[image.baidu.com]); its keys are not used"},
       "-G-"},
  };
  TempDir dir;
  const std::string path = dir.File("rules.ini");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    WriteFileBytes(path, row.file);
    const RulesFileContent content = LoadRulesFile({path, false});
    std::vector<std::string> expected;
    for (const std::string& p : row.problems) expected.push_back(path + ": " + p);
    EXPECT_EQ(content.problems, expected);
    EXPECT_EQ(SitesFromFile(content), row.sitesFromFile);
  }
}

TEST(RulesFile, MissingOrUnreadableFile) {
  TempDir dir;
  const std::string missing = dir.File("rules.ini");
  // No file where the program looks by itself: nothing to say.
  RulesFileContent content = LoadRulesFile({missing, false});
  EXPECT_TRUE(content.problems.empty());
  EXPECT_EQ(SitesFromFile(content), "---");
  EXPECT_TRUE(LoadRulesFile({"", true}).problems.empty()) << "no location at all";
  // A file the user named must be there.
  content = LoadRulesFile({missing, true});
  EXPECT_EQ(
      content.problems,
      std::vector<std::string>{missing + ": the rules file cannot be read (No such file or "
                                         "directory); the built-in rules are used for every site"});
  // A folder in its place is reported wherever it is found.
  std::filesystem::create_directory(missing);
  content = LoadRulesFile({missing, false});
  EXPECT_EQ(content.problems, std::vector<std::string>{
                                  missing + ": the rules file cannot be read (Is a directory); the "
                                            "built-in rules are used for every site"});
}

// Only a regular file of at most 1 MiB is read, once: a pipe (which would wait for a writer), a
// device (which never ends) or a larger file is a fault of the whole file.
TEST(RulesFile, OnlyARegularFileOfAtMostOneMebibyteIsRead) {
  TempDir dir;
  const std::string path = dir.File("rules.ini");
  const auto onlyProblem = [&](const std::string& what) {
    return std::vector<std::string>{path + ": " + what +
                                    "; the built-in rules are used for every site"};
  };
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  RulesFileContent content = LoadRulesFile({path, false});
  EXPECT_EQ(content.problems, onlyProblem("the rules file is not a regular file"));
  std::filesystem::remove(path);
  std::filesystem::create_symlink("/dev/zero", path);
  EXPECT_EQ(LoadRulesFile({path, true}).problems,
            onlyProblem("the rules file is not a regular file"));
  std::filesystem::remove(path);

  // Exactly 1 MiB, most of it a comment, is read; one byte more is refused.
  const std::string rules = "[www.bing.com]\nRule1=(h\\S+)\n;";
  std::string file = rules + std::string(kMaxRulesFileBytes - rules.size() - 1, 'c') + "\n";
  WriteFileBytes(path, file);
  content = LoadRulesFile({path, true});
  EXPECT_TRUE(content.problems.empty());
  EXPECT_EQ(SitesFromFile(content), "B--");
  WriteFileBytes(path, file + "\n");
  content = LoadRulesFile({path, true});
  EXPECT_EQ(content.problems, onlyProblem("the rules file is larger than 1 MiB"));
  EXPECT_EQ(SitesFromFile(content), "---");
}

// A section full of faults reports the first twenty and counts the rest.
TEST(RulesFile, ManyFaultsInASectionAreCounted) {
  TempDir dir;
  const std::string path = dir.File("rules.ini");
  std::string file = "[images.google.com]\nRule1=(x)\n";
  for (int i = 0; i < 1000; ++i) file += "Key" + std::to_string(i) + "=v\n";
  WriteFileBytes(path, file + "[www.bing.com]\nRule1=(b)\n");
  const RulesFileContent content = LoadRulesFile({path, false});
  ASSERT_EQ(content.problems.size(), 21u);
  EXPECT_EQ(content.problems[19],
            path +
                ": [images.google.com] Key19: unknown key (keys are RuleN, DecodingN and "
                "ExcludeN.M); the built-in rules are used for images.google.com");
  EXPECT_EQ(content.problems[20], path +
                                      ": [images.google.com]: 980 more faults; the built-in "
                                      "rules are used for images.google.com");
  EXPECT_EQ(SitesFromFile(content), "B--");
}

// A Bing section of `rules` rules with 64 exclusions each, every exclusion a short expression
// that compiles to 36 KiB.
std::string CostlyBingRules(int rules) {
  std::string file = "[www.bing.com]\n";
  for (int n = 1; n <= rules; ++n) {
    file += RuleKey(n) + "=(b)\n";
    for (int m = 1; m <= 64; ++m) file += ExclusionKey(n, m) + "=(?:\\w+\\d+[^x]*){3000}\n";
  }
  return file;
}

// A short expression can compile to tens of kilobytes; the file's expressions together may take
// 16 MiB, and a file beyond that leaves every site on its built-in rules.
TEST(RulesFile, ExpressionsThatCompileTooLargeAreAFaultOfTheWholeFile) {
  TempDir dir;
  const std::string path = dir.File("rules.ini");
  WriteFileBytes(path, "[images.google.com]\nRule1=(g)\n" + CostlyBingRules(8));
  const RulesFileContent content = LoadRulesFile({path, true});
  EXPECT_EQ(content.problems, std::vector<std::string>{
                                  path + ": the expressions take more than 16 MiB once "
                                         "compiled; the built-in rules are used for every site"});
  EXPECT_EQ(SitesFromFile(content), "---");
}

// Loads the rules file with room for a few of the 36 KiB expressions beyond what the process
// holds now, and exits with 0 when the load reported `expected`.
[[noreturn]] void LoadWithLittleMemoryAndExit(const std::string& path,
                                              const std::vector<std::string>& expected) {
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t limit = static_cast<rlim_t>(pages) * 4096 + (4u << 20);
  const rlimit bound{limit, limit};
  ::setrlimit(RLIMIT_AS, &bound);
  bool ok = false;
  try {
    ok = LoadRulesFile({path, true}).problems == expected;
  } catch (...) {
  }
  std::_Exit(ok ? 0 : 1);
}

// Memory that runs out while the rules compile is a fault of the file, never an exception.
// (An address-sanitized process reserves far more address space than any limit would allow.)
TEST(RulesFile, LackOfMemoryIsAFaultOfTheWholeFile) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "address space limits do not work under a sanitizer";
#endif
  TempDir dir;
  const std::string path = dir.File("rules.ini");
  WriteFileBytes(path, CostlyBingRules(6));
  const std::vector<std::string> expected = {
      path +
      ": there is not enough memory for the rules; the built-in rules are used for every "
      "site"};
  // The child runs in a fresh process, so that no memory freed by earlier tests is there for
  // the taking.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(LoadWithLittleMemoryAndExit(path, expected), ::testing::ExitedWithCode(0), "");
}

TEST(RulesFile, LivesBesideTheSettingsFile) {
  const std::pair<std::string, std::string> rows[] = {
      {"/opt/pixhaul/ini/config.ini", "/opt/pixhaul/ini/rules.ini"},
      {"/home/ann/.config/pixhaul/config.ini", "/home/ann/.config/pixhaul/rules.ini"},
      {"config.ini", "rules.ini"},
      {"", ""},
  };
  for (const auto& [settings, rules] : rows) {
    EXPECT_EQ(RulesFileBesideSettings(settings), rules) << "[" << settings << "]";
  }
}

// The example the manual and --help show is a valid rules file that reproduces the built-in
// rules exactly.
TEST(RulesFile, BuiltInRulesWrittenAsAFileLoadAsTheSameRules) {
  TempDir dir;
  const std::string path = dir.File("rules.ini");
  WriteFileBytes(path, BuiltInRulesFileText());
  const RulesFileContent content = LoadRulesFile({path, true});
  EXPECT_TRUE(content.problems.empty()) << content.problems[0];
  for (int site = 0; site < kSiteCount; ++site) {
    ASSERT_TRUE(content.sites[static_cast<size_t>(site)].has_value());
    const SiteRules& fromFile = *content.sites[static_cast<size_t>(site)];
    const std::span<const RuleText> builtIn = BuiltInRuleTexts(*SiteOfRow(site));
    ASSERT_EQ(fromFile.rules.size(), builtIn.size());
    for (size_t n = 0; n < builtIn.size(); ++n) {
      EXPECT_EQ(fromFile.rules[n].decoding, builtIn[n].decoding);
      EXPECT_EQ(fromFile.rules[n].exclusions.size(), builtIn[n].exclusions.size());
      EXPECT_EQ(TIniFile(path).ReadString(SiteLabel(*SiteOfRow(site)), RuleKey(n + 1), ""),
                builtIn[n].expression);
    }
  }
}

// The user manual shows the built-in rules as its example; it must show them as they are, and
// the limits a rule runs within and the marker's list keeps to.
TEST(RulesFile, UserManualShowsTheBuiltInRules) {
  const std::string manual = ReadFileBytes(PIXHAUL_SOURCE_DIR "/app/help/help.html");
  const std::string open = "<pre id=\"built-in-rules\">\n";
  const size_t begin = manual.find(open);
  ASSERT_NE(begin, std::string::npos);
  const size_t end = manual.find("</pre>", begin);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(DecodeHtmlReferences(manual.substr(begin + open.size(), end - begin - open.size())),
            BuiltInRulesFileText());

  // The manual and the manual page state the time limit of the rules as the program has it.
  const std::string seconds = std::to_string(kRulesPassTimeLimit.count() / 1000);
  EXPECT_NE(manual.find("have taken " + seconds + " seconds on the page"), std::string::npos);
  const std::string manualPage = ReadFileBytes(PIXHAUL_SOURCE_DIR "/cli/pixhaul-cli.1.in");
  EXPECT_NE(manualPage.find("have taken " + seconds + " s on the page"), std::string::npos);
  // And the bound of the marker's list.
  const std::string bound = "cut at " + std::to_string(kListBytesPerPageByte) + " times the page's";
  EXPECT_NE(manual.find(bound), std::string::npos);
  EXPECT_NE(manualPage.find(bound), std::string::npos);
}

TEST(RuleBook, ReadsTheFileAgainOnlyWhenItChanges) {
  TempDir dir;
  const std::string path = dir.File("rules.ini");
  RuleBook book;
  for (int site = 0; site < kSiteCount; ++site) {
    EXPECT_FALSE(book.ForSite(*SiteOfRow(site)).fromFile);
    EXPECT_EQ(book.ForSite(*SiteOfRow(site)).rules.size(),
              BuiltInRuleTexts(*SiteOfRow(site)).size());
  }
  EXPECT_TRUE(book.Refresh({path, false}).empty()) << "no file";

  WriteFileBytes(path, "[www.bing.com]\nRule1=(\n[image.baidu.com]\nRule1=(h\\S+)\n");
  EXPECT_EQ(book.Refresh({path, false}).size(), 1u);
  EXPECT_TRUE(book.Refresh({path, false}).empty()) << "reported once";
  EXPECT_FALSE(book.ForSite(*SiteOfRow(0)).fromFile);
  EXPECT_TRUE(book.ForSite(*SiteOfRow(2)).fromFile);

  // Back on the built-in rules after a failure, until the file changes.
  book.UseBuiltIn(*SiteOfRow(2));
  EXPECT_FALSE(book.ForSite(*SiteOfRow(2)).fromFile);
  EXPECT_TRUE(book.Refresh({path, false}).empty());
  EXPECT_FALSE(book.ForSite(*SiteOfRow(2)).fromFile);

  WriteFileBytes(path, "[www.bing.com]\nRule1=(h\\S+)\n");
  EXPECT_TRUE(book.Refresh({path, false}).empty());
  EXPECT_TRUE(book.ForSite(*SiteOfRow(0)).fromFile);
  EXPECT_FALSE(book.ForSite(*SiteOfRow(2)).fromFile);

  // The same file named by the user is a new location: read again.
  WriteFileBytes(path, "[www.bing.com]\nRule1=(\n");
  EXPECT_EQ(book.Refresh({path, false}).size(), 1u);
  EXPECT_EQ(book.Refresh({path, true}).size(), 1u);

  // Gone: every site on its built-in rules, nothing to report unless the user named it.
  std::filesystem::remove(path);
  EXPECT_TRUE(book.Refresh({path, false}).empty());
  for (int site = 0; site < kSiteCount; ++site)
    EXPECT_FALSE(book.ForSite(*SiteOfRow(site)).fromFile);
  EXPECT_EQ(book.Refresh({path, true}).size(), 1u);
}

}  // namespace
}  // namespace pixhaul::test
