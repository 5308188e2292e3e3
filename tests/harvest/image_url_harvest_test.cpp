// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The address list of a run: the site's marker first, the current-layout rules only on a page
// where the marker finds nothing, and what becomes of a rule that stops at the engine's limits.
#include "harvest/image_url_harvest.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/posix_file.h"
#include "harvest/image_url_extraction.h"
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
  h.result = chunkBytes == 0 ? HarvestImageUrls(pageFile, dir.File("url_list.txt"), site, book)
                             : detail::HarvestImageUrlsChunked(pageFile, dir.File("url_list.txt"),
                                                               site, book, chunkBytes);
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
  using namespace test;
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
      {"Google: \\u003d, \\u0026 and \\/ decoded, gstatic thumbnails left out",
       1,
       TodaysGooglePage({R"x(https://example.org/full.jpg?x\u003d1\u0026y\u003d2)x",
                         R"x(https:\/\/cdn.example.com\/p\/2.jpg)x",
                         R"x(https://example.org/full.jpg?x\u003d1\u0026y\u003d2)x",
                         R"x(http://example.com/\u00e9t\u00e9.jpg)x"}),
       {"https://example.org/full.jpg?x=1&y=2", "https://cdn.example.com/p/2.jpg",
        "http://example.com/\xC3\xA9t\xC3\xA9.jpg"}},
      {"Baidu: replaceUrl's ObjURL, the obfuscated objURL ignored",
       2,
       TodaysBaiduPage({"http://example.org/orig1.jpg", "", "https://example.org/orig3.jpg"},
                       {"https://img1.baidu.com/it/u=1", "https://img1.baidu.com/it/u=2",
                        "https://img1.baidu.com/it/u=3"}),
       {"http://example.org/orig1.jpg", "https://example.org/orig3.jpg"}},
      {"Baidu: the older layout's data-objurl",
       2,
       baiduOld,
       {"http://example.org/old1.jpg?a=1&b=2", "https://example.org/old2.png"}},
      {"Baidu: no original anywhere, so Baidu's middle-size copies",
       2,
       TodaysBaiduPage({},
                       {"https://img1.baidu.com/it/u=1,2&fm=253", "https://img1.baidu.com/it/u=3"}),
       {"https://img1.baidu.com/it/u=1,2&fm=253", "https://img1.baidu.com/it/u=3"}},
      {"Baidu: thumbnails only",
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

// The described marker keeps its result whenever it finds anything, even one address where
// the current layout would give fifty.
TEST(HarvestImageUrls, MarkerResultStandsWhenTheMarkerFindsAnything) {
  RuleBook book;
  std::vector<std::string> fifty;
  for (int i = 0; i < 50; ++i) fifty.push_back("https://example.org/" + std::to_string(i) + ".jpg");
  const std::string page = TodaysBingPage(fifty) + "<a m=\"x\" data='imgurl:\"/only.jpg\"'>";
  Harvested h = Harvest(page, 0, book);
  EXPECT_EQ(h.list, "/only.jpg\r\n");
  EXPECT_EQ(h.result.count, 1);
  EXPECT_FALSE(h.result.byRules);

  // An empty entry is still an entry the marker found.
  h = Harvest(TodaysBingPage(fifty) + "imgurl:", 0, book);
  EXPECT_EQ(h.result.count, 1);
  EXPECT_FALSE(h.result.byRules);

  // A site index outside the table has neither marker nor rules.
  h = Harvest(TodaysBingPage(fifty), 3, book);
  EXPECT_EQ(h.result.count, 0);
  EXPECT_EQ(h.list, "");
}

// A rules file's expression that stops at the engine's limits is reported, its site goes back
// to the built-in rules for good (until the file changes), and the page is scanned with them.
TEST(HarvestImageUrls, FileRuleStoppedByTheEngineLimitsFallsBackToBuiltInRules) {
  TempDir dir;
  const std::string rules = dir.File("rules.ini");
  WriteFileBytes(rules, "[www.bing.com]\r\nRule1=(?:x+x+)+y(h.*)\r\n");
  RuleBook book;
  ASSERT_TRUE(book.Refresh({rules, true}).empty());
  ASSERT_TRUE(book.ForSite(0).fromFile);

  // Runs of x long enough that one attempt goes far past the match limit, and what the rule
  // needs after them at the end, so no start-up check of the engine can skip the runs.
  std::string page = TodaysBingPage({"https://example.org/a.jpg"});
  for (int i = 0; i < 2000; ++i) page += std::string(40, 'x') + "z\n";
  page += "yh";
  const Harvested h = Harvest(page, 0, book);
  ASSERT_EQ(h.result.problems.size(), 1u);
  EXPECT_EQ(h.result.problems[0],
            rules +
                ": [www.bing.com] Rule1: the expression stopped at the regular-expression "
                "engine's limits (match limit exceeded) on this page; the built-in rules are "
                "used for www.bing.com");
  EXPECT_EQ(h.list, "https://example.org/a.jpg\r\n");
  EXPECT_TRUE(h.result.byRules);
  EXPECT_FALSE(book.ForSite(0).fromFile);
  EXPECT_TRUE(book.Refresh({rules, true}).empty()) << "an unchanged file is not read again";
  EXPECT_FALSE(book.ForSite(0).fromFile);

  // The same for an exclusion: the rule's list is abandoned whole.
  WriteFileBytes(
      rules, "[www.bing.com]\r\nRule1=(h\\S+?)&quot;\r\nExclude1.1=(?:(h|t)+)+j\r\n; changed\r\n");
  ASSERT_TRUE(book.Refresh({rules, true}).empty());
  ASSERT_TRUE(book.ForSite(0).fromFile);
  const std::string longAddress = "https://example.org/" + std::string(3000, 'h') + ".jpg";
  const Harvested e = Harvest(TodaysBingPage({longAddress}), 0, book);
  ASSERT_EQ(e.result.problems.size(), 1u);
  EXPECT_EQ(e.result.problems[0].rfind(rules + ": [www.bing.com] Exclude1.1: ", 0), 0u)
      << e.result.problems[0];
  EXPECT_EQ(e.list, longAddress + "\r\n");
}

}  // namespace
}  // namespace pixhaul::test
