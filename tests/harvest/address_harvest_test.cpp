// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The address list of a run: the site's marker first, the current-layout rules only on a page
// where the marker cuts no address, and what becomes of a rule that stops at the engine's
// limits.
#include "harvest/address_harvest.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "framework/posix_file.h"
#include "framework/string_list.h"
#include "harvest/marker_scan.h"
#include "harvest/rule_book.h"
#include "harvest/rules_scan.h"
#include "harvest/site_table.h"
#include "tests/harvest/marker_edge_cases.h"
#include "tests/harvest/todays_pages.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

std::string CrLfJoined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

struct Harvested {
  HarvestResult result;
  std::string list;
};

// A page that every site's marker finds an address in.
const std::string kDecoyPage =
    "imgurl:\"http://decoy.example/b.jpg\" \"ou\":\"http://decoy.example/g.jpg\" "
    "\"objURL\":\"http://decoy.example/d.jpg\"";

// With `byDescriptor` the page is read through a descriptor of the file written, and another
// page has taken its name meanwhile (as another process could do): the written page counts.
Harvested Harvest(const std::string& page, int site, RuleBook& book, size_t chunkBytes = 0,
                  bool byDescriptor = false) {
  TempDir dir;
  const std::string path = dir.File("result_content.txt");
  WriteFileBytes(path, page);
  FileDescriptor written(byDescriptor ? OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC) : -1);
  if (byDescriptor) {
    WriteFileBytes(dir.File("decoy.txt"), kDecoyPage);
    std::filesystem::rename(dir.File("decoy.txt"), path);
  }
  const PageFile pageFile(path, written.Get());
  Harvested h;
  h.result = chunkBytes == 0
                 ? HarvestImageUrls(pageFile, dir.File("url_list.txt"), SiteOfRow(site), book)
                 : detail::HarvestImageUrlsChunked(pageFile, dir.File("url_list.txt"),
                                                   SiteOfRow(site), book, chunkBytes);
  h.list = ReadFileBytes(dir.File("url_list.txt"));
  return h;
}

struct TodaysCase {
  std::string what;
  int site;
  std::string page;
  std::vector<std::string> expected;
};

std::vector<TodaysCase> TodaysCases() {
  using demo::BaiduCipherText;
  using demo::JsonStringText;
  const std::string baiduOld =
      "<ul><li class=\"imgitem\" data-objurl=\"http://example.org/old1.jpg?a=1&amp;b=2\" "
      "data-thumburl=\"https://img0.baidu.com/it/u=1\"></li>\n"
      "<li class=\"imgitem\" data-objurl=\"https://example.org/old2.png\" "
      "data-thumburl=\"https://img0.baidu.com/it/u=2\"></li></ul>";
  const std::string baiduThumbsOnly =
      R"x({"data":[{"thumbURL":"https:\/\/img1.baidu.com\/it\/u=7,8&fm=253","objURL":"ippr_z2C"},)x"
      R"x({"thumbURL":"https:\/\/img2.baidu.com\/it\/u=9,1&fm=253","objURL":"ippr_z2D"}]})x";
  return {
      {"Bing: murl with &amp;, thumbnails left out, a repeat dropped",
       0,
       TodaysBingPage({"https://example.org/a.jpg?w=1&h=2", "http://example.com/b/c.png",
                       "https://example.org/a.jpg?w=1&h=2", "https://example.net/%E5%9B%BE.jpg"}),
       {"https://example.org/a.jpg?w=1&h=2", "http://example.com/b/c.png",
        "https://example.net/%E5%9B%BE.jpg"}},
      {"Bing: the m attribute with plain quotes (another source's markup)",
       0,
       R"x(<a m='{"murl":"https:\/\/example.org\/q.jpg","turl":"https://tse3.mm.bing.net/th?id=1"}'>)x"
       R"x(<a m='{"murl":"https://tse3.mm.bing.net/th?id=2"}'>)x",
       {"https://example.org/q.jpg"}},
      {"Bing: the earlier attribute, imgurl:&quot;...&quot; with unquoted keys",
       0,
       EarlierBingPage({"http://example.org/a.jpg", "http://example.com/b.png?x=1&y=2",
                        "http://ts2.mm.bing.net/th?id=H.1", "http://example.org/a.jpg"}),
       {"http://example.org/a.jpg", "http://example.com/b.png?x=1&y=2"}},
      {"Google: \\u003d, \\u0026 and \\/ decoded; logos, icons, previews and thumbnails left out",
       1,
       TodaysGooglePage({R"x(https://example.org/full.jpg?x\u003d1\u0026y\u003d2)x",
                         R"x(https:\/\/cdn.example.com\/p\/2.jpg)x",
                         R"x(https://example.org/full.jpg?x\u003d1\u0026y\u003d2)x",
                         R"x(http://example.com/\u00e9t\u00e9.jpg)x",
                         R"x(https://lh3.googleusercontent.com/blog/4.jpg)x"}),
       {"https://example.org/full.jpg?x=1&y=2", "https://cdn.example.com/p/2.jpg",
        "http://example.com/\xC3\xA9t\xC3\xA9.jpg",
        "https://lh3.googleusercontent.com/blog/4.jpg"}},
      {"Google's lite layout: data-ou decoded; data-ru, thumbnails and a repeat left out",
       1,
       TodaysGoogleLitePage({"https://example.org/full.jpg?x=1&y=2", "http://example.com/b/c.png",
                             "https://example.org/full.jpg?x=1&y=2",
                             "https://lh3.googleusercontent.com/blog/4.jpg",
                             "https://example.net/%E5%9B%BE.jpg"}),
       {"https://example.org/full.jpg?x=1&y=2", "http://example.com/b/c.png",
        "https://lh3.googleusercontent.com/blog/4.jpg", "https://example.net/%E5%9B%BE.jpg"}},
      {"Baidu: the enciphered objURL deciphered, not replaceUrl's alternates",
       2,
       TodaysBaiduPage(
           {{BaiduCipherText("http://example.org/orig1.jpg"),
             "http://img0.imgtn.bdimg.com/it/u=1&fm=214", "https://img1.baidu.com/it/u=1"},
            {BaiduCipherText("https://cdn.example.com/p/orig2.png?s=9"),
             "http://mirror.example.net/orig2.png", "https://img1.baidu.com/it/u=2"},
            {BaiduCipherText("http://example.org/orig1.jpg"), "", "https://img1.baidu.com/it/u=3"},
            {BaiduCipherText("http://example.net/orig4.jpeg"), "",
             "https://img1.baidu.com/it/u=4"}}),
       {"http://example.org/orig1.jpg", "https://cdn.example.com/p/orig2.png?s=9",
        "http://example.net/orig4.jpeg"}},
      {"Baidu: plain objURL addresses with \\/ escapes",
       2,
       TodaysBaiduPage(
           {{JsonStringText("http://example.org/plain1.jpg"), "", "https://img1.baidu.com/it/u=1"},
            {JsonStringText("https://example.org/plain2.png"),
             "http://mirror.example.net/plain2.png", "https://img1.baidu.com/it/u=2"}}),
       {"http://example.org/plain1.jpg", "https://example.org/plain2.png"}},
      {"Baidu: no objURL, so replaceUrl's ObjURL",
       2,
       TodaysBaiduPage({{"", "http://example.org/orig1.jpg", "https://img1.baidu.com/it/u=1"},
                        {"", "", "https://img1.baidu.com/it/u=2"},
                        {"", "https://example.org/orig3.jpg", "https://img1.baidu.com/it/u=3"}}),
       {"http://example.org/orig1.jpg", "https://example.org/orig3.jpg"}},
      {"Baidu: the older layout's data-objurl",
       2,
       baiduOld,
       {"http://example.org/old1.jpg?a=1&b=2", "https://example.org/old2.png"}},
      {"Baidu: no original anywhere, so Baidu's middle-size copies",
       2,
       TodaysBaiduPage({{"", "", "https://img1.baidu.com/it/u=1,2&fm=253"},
                        {"", "", "https://img1.baidu.com/it/u=3"}}),
       {"https://img1.baidu.com/it/u=1,2&fm=253", "https://img1.baidu.com/it/u=3"}},
      {"Baidu: thumbnails only, objURL values that decipher to no address",
       2,
       baiduThumbsOnly,
       {"https://img1.baidu.com/it/u=7,8&fm=253", "https://img2.baidu.com/it/u=9,1&fm=253"}},
      {"no result at all", 0, "<body><p>No results</p></body>", {}},
      {"a Google page scanned as Bing finds nothing",
       0,
       TodaysGooglePage({"https://example.org/g.jpg"}),
       {}},
  };
}

TEST(HarvestImageUrls, TodaysPagesGiveTheDecodedFullSizeAddressesInPageOrder) {
  RuleBook book;
  for (const TodaysCase& c : TodaysCases()) {
    for (const bool byDescriptor : {false, true}) {
      SCOPED_TRACE(c.what + (byDescriptor ? ", read through its descriptor" : ""));
      const Harvested h = Harvest(c.page, c.site, book, 0, byDescriptor);
      EXPECT_EQ(h.list, CrLfJoined(c.expected));
      EXPECT_EQ(h.result.count, static_cast<int>(c.expected.size()));
      EXPECT_EQ(h.result.byRules, !c.expected.empty());
      EXPECT_TRUE(h.result.problems.empty());
    }
  }
}

// Chunk borders anywhere - inside a rule's match, an escape, a CR LF - change nothing.
TEST(HarvestImageUrls, EveryChunkSizeGivesTheSameList) {
  RuleBook book;
  for (const TodaysCase& c : TodaysCases()) {
    std::string page = c.page;
    // Line breaks of every kind between the results.
    for (size_t at = page.find('\n'); at != std::string::npos; at = page.find('\n', at + 3)) {
      page.replace(at, 1, at % 2 ? "\r\n" : "\r");
    }
    for (size_t chunk = 1; chunk <= 48; chunk += (chunk < 16 ? 1 : 7)) {
      SCOPED_TRACE(c.what + ", chunk " + std::to_string(chunk));
      EXPECT_EQ(Harvest(page, c.site, book, chunk).list, CrLfJoined(c.expected));
    }
  }
}

// Today's Bing pages hold the marker in script code: what it cuts there is no address, so the
// rules give the results - decoded, in page order, each once.
TEST(HarvestImageUrls, ScriptTextCutByTheMarkerGivesWayToTheRules) {
  RuleBook book;
  std::vector<std::string> results;
  std::vector<std::string> expected;
  for (int i = 0; i < 44; ++i) {
    const std::string address = "https://example.org/" + std::to_string(i) + ".jpg?w=1&h=2";
    results.push_back(i % 11 == 10 ? results[static_cast<size_t>(i - 3)] : address);
    if (i % 11 != 10) expected.push_back(address);
  }
  ASSERT_EQ(expected.size(), 40u);
  const std::string page = TodaysBingPage(results);
  EXPECT_EQ(FindImageUrls(page, SiteOfRow(0)).Lines(),
            (std::vector<std::string>{"+encodeURIComponent(i));r&&(s=s.replace(",
                                      "+((n===null||n===void 0?void 0:n.murl)||"}));
  const Harvested h = Harvest(page, 0, book);
  EXPECT_EQ(h.list, CrLfJoined(expected));
  EXPECT_EQ(h.result.count, 40);
  EXPECT_TRUE(h.result.byRules);
}

// The marker's list stands, byte for byte, when it cut an address (even one where the rules
// would give fifty), and when it cut none but the rules find nothing either.
TEST(HarvestImageUrls, MarkerListStandsWhenItCutAnAddressOrTheRulesFindNone) {
  RuleBook book;
  std::vector<std::string> fifty;
  for (int i = 0; i < 50; ++i) fifty.push_back("https://example.org/" + std::to_string(i) + ".jpg");
  const std::vector<std::string> fragments = {"+encodeURIComponent(i));r&&(s=s.replace(",
                                              "+((n===null||n===void 0?void 0:n.murl)||"};
  const auto withFragments = [&](std::vector<std::string> more) {
    more.insert(more.begin(), fragments.begin(), fragments.end());
    return more;
  };
  const struct {
    std::string what;
    int site;
    std::string page;
    std::vector<std::string> list;
    bool byRules;
  } rows[] = {
      {"one entry with a scheme in any letter case: the marker's list, fifty murl or not", 0,
       TodaysBingPage(fifty) + "<a data='imgurl:\"hTTp://h/only.jpg\"'>",
       withFragments({"hTTp://h/only.jpg"}), false},
      {"script text, an address without a scheme and an empty entry; nothing for the rules", 0,
       "<body>" + kTodaysBingScript + "imgurl:\"/rel.jpg\" imgurl:",
       withFragments({"/rel.jpg", ""}), false},
      {"without a scheme the rules take over", 0,
       TodaysBingPage(fifty) + "<a data='imgurl:\"/only.jpg\"'>", fifty, true},
      {"a site index outside the table has neither marker nor rules",
       3,
       TodaysBingPage(fifty),
       {},
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const Harvested h = Harvest(row.page, row.site, book);
    EXPECT_EQ(h.list, CrLfJoined(row.list));
    EXPECT_EQ(h.result.count, static_cast<int>(row.list.size()));
    EXPECT_EQ(h.result.byRules, row.byRules);
  }
}

// Every described page keeps the list the marker cuts from it.
TEST(HarvestImageUrls, DescribedPagesKeepTheMarkersListByteForByte) {
  RuleBook book;
  for (const ExtractionCase& c : EdgeCases()) {
    SCOPED_TRACE("site " + std::to_string(c.site) + ", page [" + c.page + "]");
    const Harvested h = Harvest(c.page, c.site, book);
    EXPECT_EQ(h.list, CrLfJoined(c.entries));
    EXPECT_EQ(h.result.count, static_cast<int>(c.entries.size()));
    EXPECT_FALSE(h.result.byRules);
  }
}

// Scripts of today's pages name the rules' keys in code. No built-in rule of any site takes
// anything from them: on the scripts alone every rule finds nothing, and on the whole pages
// each rule lists only result addresses.
TEST(HarvestImageUrls, NoBuiltInRuleTakesScriptText) {
  const std::string scripts =
      "<body>" + kTodaysBingScript + kTodaysBaiduScript + TodaysGooglePage({}) + "</body>";
  const std::vector<std::string> bing = {"https://example.org/b1.jpg", "http://example.com/b2.png"};
  const std::vector<std::string> google = {"https://example.org/g1.jpg"};
  const std::vector<std::string> baidu = {"http://example.org/d1.jpg",
                                          "https://example.org/d2.jpg"};
  const std::string pages = TodaysBingPage(bing) + TodaysGooglePage(google) +
                            TodaysBaiduPage({{demo::BaiduCipherText(baidu[0]), "", ""},
                                             {demo::JsonStringText(baidu[1]), "", ""}});
  std::vector<std::string> results = bing;
  results.insert(results.end(), google.begin(), google.end());
  results.insert(results.end(), baidu.begin(), baidu.end());
  TempDir dir;
  for (int site = 0; site < kSiteCount; ++site) {
    SiteRules rules = BuiltInRules(*SiteOfRow(site));
    for (size_t n = 0; n < rules.rules.size(); ++n) {
      SCOPED_TRACE(rules.rules[n].name);
      const std::span<AddressRule> one(&rules.rules[n], 1);
      WriteFileBytes(dir.File("page.txt"), scripts);
      WriteFileBytes(dir.File("list.txt"), "");
      EXPECT_EQ(ScanPageWithRules(dir.File("page.txt"), dir.File("list.txt"), one, 4096).count, 0);
      WriteFileBytes(dir.File("page.txt"), pages);
      ScanPageWithRules(dir.File("page.txt"), dir.File("list.txt"), one, 4096);
      TStringList listed;
      listed.LoadFromFile(dir.File("list.txt"));
      for (const std::string& address : listed.Lines()) {
        EXPECT_NE(std::find(results.begin(), results.end(), address), results.end()) << address;
      }
    }
  }
}

// A rules file's expression that stops at the engine's limits or at the time limit is
// reported, its site goes back to the built-in rules for good (until the file changes), and the
// page is scanned with them, in a pass of their own.
TEST(HarvestImageUrls, FileRuleStoppedAtTheLimitsFallsBackToBuiltInRules) {
  TempDir dir;
  const std::string rules = dir.File("rules.ini");
  WriteFileBytes(rules, "[www.bing.com]\r\nRule1=(?:x+x+)+y(h.*)\r\n");
  RuleBook book;
  ASSERT_TRUE(book.Refresh({rules, true}).empty());
  ASSERT_TRUE(book.ForSite(*SiteOfRow(0)).fromFile);

  // Runs of x long enough that one attempt goes far past the match limit, and what the rule
  // needs after them at the end, so no start-up check of the engine can skip the runs.
  const auto withRuns = [](std::string page) {
    for (int i = 0; i < 2000; ++i) page += std::string(40, 'x') + "z\n";
    return page + "yh";
  };
  const Harvested h = Harvest(withRuns(TodaysBingPage({"https://example.org/a.jpg"})), 0, book);
  ASSERT_EQ(h.result.problems.size(), 1u);
  EXPECT_EQ(h.result.problems[0],
            rules +
                ": [www.bing.com] Rule1: the expression stopped at the regular-expression "
                "engine's limits (match limit exceeded) on this page; the built-in rules are "
                "used for www.bing.com");
  EXPECT_EQ(h.list, "https://example.org/a.jpg\r\n");
  EXPECT_TRUE(h.result.byRules);
  EXPECT_FALSE(book.ForSite(*SiteOfRow(0)).fromFile);
  EXPECT_TRUE(book.Refresh({rules, true}).empty()) << "an unchanged file is not read again";
  EXPECT_FALSE(book.ForSite(*SiteOfRow(0)).fromFile);

  // The same for an exclusion: the rule's list is abandoned whole.
  WriteFileBytes(
      rules, "[www.bing.com]\r\nRule1=(h\\S+?)&quot;\r\nExclude1.1=(?:(h|t)+)+j\r\n; changed\r\n");
  ASSERT_TRUE(book.Refresh({rules, true}).empty());
  ASSERT_TRUE(book.ForSite(*SiteOfRow(0)).fromFile);
  const std::string longAddress = "https://example.org/" + std::string(3000, 'h') + ".jpg";
  const Harvested e = Harvest(TodaysBingPage({longAddress}), 0, book);
  ASSERT_EQ(e.result.problems.size(), 1u);
  EXPECT_EQ(e.result.problems[0].rfind(rules + ": [www.bing.com] Exclude1.1: ", 0), 0u)
      << e.result.problems[0];
  EXPECT_EQ(e.list, longAddress + "\r\n");

  // With nothing for the built-in rules either, the marker's script fragments stand.
  WriteFileBytes(rules, "[www.bing.com]\r\nRule1=(?:x+x+)+y(h.*)\r\n; again\r\n");
  ASSERT_TRUE(book.Refresh({rules, true}).empty());
  const std::string bare = withRuns("<body>" + kTodaysBingScript);
  const Harvested b = Harvest(bare, 0, book);
  EXPECT_EQ(b.result.problems.size(), 1u);
  EXPECT_EQ(b.list, CrLfJoined(FindImageUrls(bare, SiteOfRow(0)).Lines()));
  EXPECT_EQ(b.result.count, 2);
  EXPECT_FALSE(b.result.byRules);

  // Out of time: the file's rule stops, then the first built-in rule in the pass of their own,
  // and the others are not tried; the marker's script fragments stand.
  WriteFileBytes(rules, "[www.bing.com]\r\nRule1=(h\\S+)\r\n; timed\r\n");
  ASSERT_TRUE(book.Refresh({rules, true}).empty());
  const std::string page = TodaysBingPage({"https://example.org/a.jpg"});
  WriteFileBytes(dir.File("page.txt"), page);
  const HarvestResult t =
      detail::HarvestImageUrlsChunked(dir.File("page.txt"), dir.File("list.txt"), SiteOfRow(0),
                                      book, detail::kPageChunkBytes, std::chrono::milliseconds(0));
  const std::string stopped =
      ": the expression stopped at the time limit of the rules (0 s) on this page; ";
  EXPECT_EQ(t.problems,
            (std::vector<std::string>{
                rules + ": [www.bing.com] Rule1" + stopped +
                    "the built-in rules are used for www.bing.com",
                "built-in rule 1 for www.bing.com" + stopped + "the rule is passed over"}));
  EXPECT_EQ(ReadFileBytes(dir.File("list.txt")),
            CrLfJoined(FindImageUrls(page, SiteOfRow(0)).Lines()));
  EXPECT_FALSE(t.byRules);
  EXPECT_FALSE(book.ForSite(*SiteOfRow(0)).fromFile);
}

}  // namespace
}  // namespace pixhaul::test
