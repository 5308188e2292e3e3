// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The current-layout scan streamed through the page window, checked against the same rules run
// over the whole text at once: lookbehinds, word boundaries, line anchors, empty matches and
// escapes across every chunk border; repeats, the order of rules, over-long matches.
#include "harvest/rules_scan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "framework/string_list.h"
#include "harvest/rule_book.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

AddressRule MakeRule(const std::string& expression,
                     AddressDecoding decoding = AddressDecoding::kNone,
                     const std::vector<std::string>& exclusions = {}) {
  std::string error;
  std::optional<RegexPattern> pattern = CompileRuleExpression(expression, error);
  if (!pattern) throw std::runtime_error(expression + ": " + error);
  AddressRule rule{std::move(*pattern), decoding, {}, "rule " + expression, {}};
  for (const std::string& e : exclusions) {
    rule.exclusions.push_back(*CompileExclusion(e, error));
    rule.exclusionNames.push_back("exclusion " + e);
  }
  return rule;
}

std::string CrLfJoined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// The rule over the page's whole text in one search after another: what the streamed scan
// must give.
std::vector<std::string> WholeTextScan(const std::string& pageBytes, AddressRule& rule) {
  TStringList lines;
  lines.SetText(pageBytes);
  const std::string text = lines.Text();
  std::vector<std::string> found;
  std::set<std::string> seen;
  for (size_t pos = 0; pos <= text.size();) {
    const RegexPattern::Result r = rule.expression.Search(text, pos, false, true);
    if (r.outcome != RegexPattern::Outcome::kMatch) break;
    if (r.groupEnd > r.groupStart) {
      const CaptureVerdict v = JudgeCapture(
          rule, std::string_view(text).substr(r.groupStart, r.groupEnd - r.groupStart));
      if (v.kind == CaptureVerdict::Kind::kKeep && seen.insert(v.address).second) {
        found.push_back(v.address);
      }
    }
    pos = std::max(pos + 1, r.end);
  }
  return found;
}

struct Scanned {
  RulesScanResult result;
  std::string list;
};

// Scans page.txt into list.txt, which is emptied first unless `keepList` (a scan that finds
// nothing leaves the list file as it was).
Scanned Scan(const TempDir& dir, std::span<AddressRule> rules, size_t chunk,
             bool keepList = false) {
  if (!keepList) WriteFileBytes(dir.File("list.txt"), "");
  Scanned s;
  s.result = ScanPageWithRules(dir.File("page.txt"), dir.File("list.txt"), rules, chunk);
  s.list = ReadFileBytes(dir.File("list.txt"));
  return s;
}

// Rules that look before their start, at line ends and at word edges, match empty text, and
// run on through escapes; each with something on the pages below to find.
std::vector<AddressRule> TrickyRules() {
  std::vector<AddressRule> rules;
  rules.push_back(MakeRule(R"x((?<=href=")(https?://[^"]*)")x"));
  rules.push_back(MakeRule(R"x(\burl\b\s*=\s*'(http[^']{0,200})')x"));
  rules.push_back(MakeRule(R"x((?m)^img (\S+)$)x"));
  rules.push_back(MakeRule(R"x("u":"(https?:(?:[^"\\]|\\.)*)")x", AddressDecoding::kJson,
                           {"/skip/", "^https?://[^/]*ads\\."}));
  rules.push_back(MakeRule(R"x((?=(https?://[a-z0-9./]{3,30}\.png)))x"));
  rules.push_back(MakeRule(R"x(src=&quot;(h.*?)&quot;\s*$)x", AddressDecoding::kHtml));
  return rules;
}

std::string RandomPage(std::mt19937& rng, size_t pieces) {
  const char* const parts[] = {
      "<a href=\"http://h/a.png\">",
      "href=\"https://h/b\"",
      "hrefx=\"http://no/\"",
      "url='http://h/c'",
      "myurl='http://no/'",
      " url = 'https://h/d' ",
      "img http://h/e.png",
      "img http://h/f g",
      "img  http://no/",
      "\"u\":\"http:\\/\\/h\\/g\"",
      "\"u\":\"http://h/skip/x\"",
      "\"u\":\"https://ads.h/y\"",
      "\"u\":\"http://h/\\u0041\\\"q\"",
      "\"u\":\"ftp://no\"",
      "http://h/x.png",
      "src=&quot;http://h/&amp;z&quot;",
      "\r\n",
      "\n",
      "\r",
      "\r\r\n",
      "\"",
      "'",
      "=",
      " ",
      "xxxxxxxxxxxxxxxx",
      "h",
      "http",
      "u",
      "img",
  };
  std::string page;
  for (size_t i = 0; i < pieces; ++i) page += parts[rng() % std::size(parts)];
  if (rng() % 10 == 0) page.insert(rng() % (page.size() + 1), 1, '\0');
  return page;
}

TEST(ScanPageWithRules, StreamedScanMatchesTheWholeTextScanAtEveryChunkSize) {
  std::vector<AddressRule> rules = TrickyRules();
  std::mt19937 rng(20250301);
  TempDir dir;
  for (int round = 0; round < 60; ++round) {
    const std::string page = RandomPage(rng, 5 + rng() % 60);
    WriteFileBytes(dir.File("page.txt"), page);
    for (size_t r = 0; r < rules.size(); ++r) {
      const std::vector<std::string> expected = WholeTextScan(page, rules[r]);
      for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{8}, size_t{13},
                           size_t{64}, size_t{1} << 20}) {
        const Scanned s = Scan(dir, std::span(rules).subspan(r, 1), chunk);
        ASSERT_EQ(s.list, CrLfJoined(expected))
            << "rule " << r << ", chunk " << chunk << ", page [" << page << "]";
        ASSERT_EQ(s.result.count, static_cast<int>(expected.size()));
        ASSERT_EQ(s.result.ruleIndex, expected.empty() ? -1 : 0);
        ASSERT_FALSE(s.result.failure.has_value());
      }
    }
  }
}

// A page of a few megabytes, every address in it different, for each tricky rule.
std::string LargePageOfDistinctAddresses(std::mt19937& rng) {
  const char* const parts[] = {
      "<a href=\"http://h/%u.png\">",
      " url = 'https://h/d%u' ",
      "\r\nimg http://h/e%u.png\r\n",
      "\"u\":\"http:\\/\\/h\\/g%u\"",
      "\"u\":\"http://h/%u\\u0041\\\"q\"",
      "x http://h/x%u.png ",
      "src=&quot;http://h/&amp;z%u&quot;\n",
      "\"",
      " ",
      "xxxxxxxx",
      "\r",
  };
  std::string page;
  char piece[128];
  for (unsigned n = 0; page.size() < (4u << 20); ++n) {
    const int length = std::snprintf(piece, sizeof piece, parts[rng() % std::size(parts)], n);
    page.append(piece, static_cast<size_t>(length));
  }
  return page;
}

// Read in large chunks, the bulk of each window is searched the fast way (where no match can
// depend on the text still to come) and only its end the careful way; the list is still exactly
// the whole-text scan's, matches across every window border included.
TEST(ScanPageWithRules, LargePageInLargeChunksMatchesTheWholeTextScan) {
  std::vector<AddressRule> rules = TrickyRules();
  std::mt19937 rng(77);
  const std::string page = LargePageOfDistinctAddresses(rng);
  TempDir dir;
  WriteFileBytes(dir.File("page.txt"), page);
  size_t local = 0;
  for (size_t r = 0; r < rules.size(); ++r) {
    if (rules[r].expression.MatchesAreLocal()) ++local;
    const std::vector<std::string> expected = WholeTextScan(page, rules[r]);
    if (r + 1 < rules.size()) {
      EXPECT_GT(expected.size(), 10000u) << "rule " << r;
    }
    for (size_t chunk : {size_t{100} << 10, size_t{1} << 20}) {
      const Scanned s = Scan(dir, std::span(rules).subspan(r, 1), chunk);
      EXPECT_TRUE(s.list == CrLfJoined(expected))
          << "rule " << r << ", chunk " << chunk << ": " << s.result.count << " addresses, "
          << expected.size() << " expected";
    }
  }
  EXPECT_GE(local, 4u) << "most of the rules take the fast way";
}

// Long stretches without any match, then one across the border of two windows (a page without
// line breaks is read in windows that end at exact multiples of the chunk size): the fast
// search of a window's bulk must leave such a match to the careful search of its end.
TEST(ScanPageWithRules, MatchAcrossAWindowBorderAfterALongStretchIsFound) {
  std::vector<AddressRule> rules = TrickyRules();
  for (size_t chunk : {size_t{100} << 10, size_t{1} << 20}) {
    std::string page(3u << 20, 'x');
    std::vector<std::string> expected;
    for (size_t border = chunk, n = 0; border + 100 < page.size(); border += chunk, ++n) {
      const std::string entry = "<a href=\"http://h/" + std::to_string(n) + ".png\">";
      page.replace(border - 1 - n % entry.size(), entry.size(), entry);
      expected.push_back("http://h/" + std::to_string(n) + ".png");
    }
    TempDir dir;
    WriteFileBytes(dir.File("page.txt"), page);
    ASSERT_EQ(WholeTextScan(page, rules[0]), expected);
    const Scanned s = Scan(dir, std::span(rules).first(1), chunk);
    EXPECT_EQ(s.list, CrLfJoined(expected)) << "chunk " << chunk;
  }
}

TEST(ScanPageWithRules, FirstRuleThatFindsAnythingGivesTheWholeList) {
  TempDir dir;
  std::vector<AddressRule> rules;
  rules.push_back(MakeRule(R"x(first="(.*?)")x"));
  rules.push_back(MakeRule(R"x(second="(.*?)")x", AddressDecoding::kNone, {"drop"}));
  rules.push_back(MakeRule(R"x(third="(.*?)")x"));

  const struct {
    std::string what;
    std::string page;
    std::string list;  // the list file after the scan; it held "old" before
    int ruleIndex;
    int count;
  } rows[] = {
      {"the first rule's captures are no addresses and the second's are all excluded: the third",
       "first=\"/rel\" second=\"http://h/drop\" third=\"http://h/3\" first=\"mailto:x\"",
       "http://h/3\r\n", 2, 1},
      {"the second gives its one address; the third is never asked",
       "third=\"http://h/3\" second=\"HTTPS://h/2\" second=\"http://h/drop\"", "HTTPS://h/2\r\n", 1,
       1},
      {"nothing anywhere: the list file is left as it was, for the caller's own list to stand",
       "nothing here", "old\r\n", -1, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    WriteFileBytes(dir.File("list.txt"), "old\r\n");
    WriteFileBytes(dir.File("page.txt"), row.page);
    const Scanned s = Scan(dir, rules, 1 << 20, true);
    EXPECT_EQ(s.list, row.list);
    EXPECT_EQ(s.result.ruleIndex, row.ruleIndex);
    EXPECT_EQ(s.result.count, row.count);
  }
}

// An address with a line break or another control byte in it (after decoding) could not be one
// line of the list file; it is left out, and so is one without http:// or https:// and a host.
TEST(ScanPageWithRules, DecodedControlBytesAndOtherSchemesAreLeftOut) {
  TempDir dir;
  std::vector<AddressRule> rules;
  rules.push_back(MakeRule(R"x("u":"(.*?)")x", AddressDecoding::kJson));
  WriteFileBytes(
      dir.File("page.txt"),
      R"x("u":"http://h/a\r\nb" "u":"http://h/\u0000" "u":"http://h/t\tab" "u":"http://h/\u007f")x"
      R"x("u":"//h/rel" "u":"javascript:x" "u":"httpx://h" "u":"http://h/ok" "u":"http:\/\/h\/ok")x"
      // A scheme without a host, as a script that builds an address leaves it.
      R"x("u":"https://" "u":"http:///x" "u":"HTTP://?q" "u":"https://#f" "u":"http://x")x");
  EXPECT_EQ(Scan(dir, rules, 1 << 20).list, "http://h/ok\r\nhttp://x\r\n");
}

// Many distinct addresses, repeats far apart: once the list has gone to the file the repeats
// are still recognised, and every distinct address is kept once in page order.
TEST(ScanPageWithRules, RepeatsAreDroppedAcrossTheWholeList) {
  TempDir dir;
  std::vector<AddressRule> rules;
  rules.push_back(MakeRule(R"x('(http[^']*)')x"));
  std::string page;
  std::vector<std::string> expected;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 20000; ++i) {
      const std::string address = "http://h/" + std::to_string(i * 7919 % 20000) + ".jpg";
      page += "'" + address + "' ";
      if (round == 0) expected.push_back(address);
    }
  }
  WriteFileBytes(dir.File("page.txt"), page);
  const Scanned s = Scan(dir, rules, 4096);
  EXPECT_EQ(s.result.count, 20000);
  EXPECT_TRUE(s.list == CrLfJoined(expected));
}

// A match longer than the limit is not taken, whether the page's text around it is read at
// once or in small pieces: the scan goes on from the byte after its start and finds what
// follows. An attempt is given little more text than that: a look ahead past it finds nothing,
// however much of the page the window holds.
TEST(ScanPageWithRules, MatchLongerThanTheLimitIsSkipped) {
  const std::string runaway = "\"u\":\"http" + std::string(kMaxMatchBytes + 10, 'x');
  const std::string longest = "http://" + std::string(kMaxMatchBytes - 100, 'y');
  const auto quoteAfter = [](size_t bytes) {
    return "http://h/1" + std::string(bytes, 'x') + "\"";
  };
  const struct {
    std::string what;
    std::string expression;
    std::string page;
    std::string list;
  } rows[] = {
      {"one too long between two", R"x("u":"(http[^"]*)")x",
       "\"u\":\"http://h/1\" " + runaway + "\"u\":\"http://h/2\"", "http://h/1\r\nhttp://h/2\r\n"},
      {"just inside the limit: an address like any other", R"x("u":"(http[^"]*)")x",
       "\"u\":\"" + longest + "\"", longest + "\r\n"},
      {"a look ahead within the limit", R"x((http://h/\d)(?=[^"]*"))x",
       quoteAfter(kMaxMatchBytes - 100), "http://h/1\r\n"},
      {"a look ahead far past it", R"x((http://h/\d)(?=[^"]*"))x", quoteAfter(3 * kMaxMatchBytes),
       ""},
  };
  TempDir dir;
  for (const auto& row : rows) {
    std::vector<AddressRule> rules;
    rules.push_back(MakeRule(row.expression));
    WriteFileBytes(dir.File("page.txt"), row.page);
    for (size_t chunk : {size_t{4096}, size_t{1} << 20}) {
      SCOPED_TRACE(row.what + ", chunk " + std::to_string(chunk));
      EXPECT_TRUE(Scan(dir, rules, chunk).list == row.list);
    }
  }
}

// A rule stopped by the engine's limits or by the time limit of the pass ends the scan, and
// the list file is left as it was; the limits hold whatever the expression says of them.
TEST(ScanPageWithRules, RuleStoppedAtTheLimitsLeavesTheListFileAlone) {
  using std::chrono::milliseconds;
  const milliseconds kEnough = kRulesPassTimeLimit;
  // What the expressions below need after the run of a's is there, so no start-up check of the
  // engine can skip the run.
  const std::string runOfA = "/http://h/1 " + std::string(60, 'a') + "c bhttp://x";
  const std::string matchLimit = "the regular-expression engine's limits (match limit exceeded)";
  const struct {
    std::string what;
    std::string expression;  // the second of three rules; the third would find http://h/1
    std::string page;
    milliseconds timeLimit;
    int stoppedRule;     // -1: none stopped
    std::string reason;  // after "the expression stopped at "
    std::string list;    // the list file after the scan; it held "old" before
  } rows[] = {
      {"nested repetition", R"x((?:a+a+)+b(http\S*))x", runOfA, kEnough, 1, matchLimit, "old\r\n"},
      {"an expression cannot raise the limits",
       R"x((*LIMIT_MATCH=1000000000)(*LIMIT_DEPTH=1000000000)(*LIMIT_HEAP=1000000000))x"
       R"x((?:a+a+)+b(http\S*))x",
       runOfA, kEnough, 1, matchLimit, "old\r\n"},
      {"but can lower them", R"x((*LIMIT_MATCH=10)(?:a\w?)+c b(http\S*))x", runOfA, kEnough, 1,
       matchLimit, "old\r\n"},
      {"which the same expression does not reach without that", R"x((?:a\w?)+c b(http\S*))x",
       runOfA, kEnough, -1, "", "http://x\r\n"},
      {"no time at all: the first rule stops before it starts", R"x((http\S*))x", runOfA,
       milliseconds(0), 0, "the time limit of the rules (0 s)", "old\r\n"},
      // Every start is the beginning of a match that runs on to the end of the text: such
      // expressions cost each start the most text an attempt is given, and the pass its time.
      {"a match running on through 1.4 MB", R"x((https?://\S+)(?="))x",
       [] {
         std::string page;
         while (page.size() < 1'400'000) page += "http://x";
         return page;
       }(),
       milliseconds(500), 1, "the time limit of the rules (500 ms)", "old\r\n"},
      {"one through 1 MiB, and a look ahead for what is not there", R"x((a+)(?=b))x",
       std::string(1 << 20, 'a'), milliseconds(500), 1, "the time limit of the rules (500 ms)",
       "old\r\n"},
  };
  TempDir dir;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<AddressRule> rules;
    rules.push_back(MakeRule(R"x('(http[^']*)')x"));
    rules.push_back(MakeRule(row.expression));
    rules.push_back(MakeRule(R"x(/(http\S*))x"));
    WriteFileBytes(dir.File("list.txt"), "old\r\n");
    WriteFileBytes(dir.File("page.txt"), row.page);
    const RulesScanResult result =
        ScanPageWithRules(dir.File("page.txt"), dir.File("list.txt"), rules, 1 << 20,
                          RulesPassDeadline(row.timeLimit));
    EXPECT_EQ(ReadFileBytes(dir.File("list.txt")), row.list);
    if (row.stoppedRule < 0) {
      EXPECT_FALSE(result.failure.has_value()) << result.failure->what;
      continue;
    }
    ASSERT_TRUE(result.failure.has_value());
    EXPECT_EQ(result.failure->ruleIndex, static_cast<size_t>(row.stoppedRule));
    EXPECT_EQ(result.failure->what,
              rules[result.failure->ruleIndex].name + ": the expression stopped at " + row.reason);
    EXPECT_EQ(result.count, 0);
  }

  // Time that runs out between the exclusions of an address stops at the next one, named.
  AddressRule excluding = MakeRule(R"x((h\S+))x", AddressDecoding::kNone, {"x", "y"});
  const RulesPassDeadline passed(std::chrono::milliseconds(0));
  CaptureVerdict verdict;
  JudgeCapture(excluding, "http://h/", verdict, &passed);
  EXPECT_EQ(verdict.kind, CaptureVerdict::Kind::kFailed);
  EXPECT_EQ(verdict.failure,
            "exclusion x: the expression stopped at the time limit of the rules (0 s)");
}

TEST(ScanPageWithRules, UnreadablePageRaisesOpenError) {
  TempDir dir;
  std::vector<AddressRule> rules;
  rules.push_back(MakeRule(R"x('(http[^']*)')x"));
  EXPECT_THROW(ScanPageWithRules(dir.File("absent.txt"), dir.File("list.txt"), rules, 64),
               EFOpenError);
}

}  // namespace
}  // namespace pixhaul::test
