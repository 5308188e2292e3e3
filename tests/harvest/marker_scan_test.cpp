// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/marker_scan.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "tests/harvest/marker_edge_cases.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/raised.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

std::string JoinEntries(const std::vector<std::string>& entries) {
  std::string bytes;
  for (const auto& entry : entries) bytes += entry + "\r\n";
  return bytes;
}

// Writes `page`, extracts with `site` (reading `chunkBytes` at a time when not 0) and checks
// the list file holds exactly `expected`.
void ExpectExtraction(int site, const std::string& page, const std::vector<std::string>& expected,
                      size_t chunkBytes = 0) {
  TempDir dir;
  WriteFileBytes(dir.File("result_content.txt"), page);
  const std::string pageFile = dir.File("result_content.txt");
  const std::string listFile = dir.File("url_list.txt");
  const int count = chunkBytes == 0 ? ExtractImageUrls(pageFile, listFile, SiteOfRow(site))
                                    : detail::ExtractImageUrlsChunked(pageFile, listFile,
                                                                      SiteOfRow(site), chunkBytes);
  EXPECT_EQ(count, static_cast<int>(expected.size()));
  EXPECT_EQ(ReadFileBytes(dir.File("url_list.txt")), JoinEntries(expected));
}

TEST(ExtractImageUrls, FindsTheAddressesEachSiteMarkerNames) {
  for (const auto& c : EdgeCases()) {
    SCOPED_TRACE("site " + std::to_string(c.site) + ", page [" + c.page + "]");
    ExpectExtraction(c.site, c.page, c.entries);
  }
}

// A page that is missing, or a folder in its place, raises the open error; the list an earlier
// run left stays as it was.
TEST(ExtractImageUrls, MissingOrUnreadablePageRaisesOpenErrorAndLeavesTheListAlone) {
  for (const bool folder : {false, true}) {
    TempDir dir;
    const std::string page = dir.File(folder ? "a-folder" : "absent.txt");
    if (folder) std::filesystem::create_directory(page);
    const std::string list = dir.File("url_list.txt");
    WriteFileBytes(list, "old\r\n");
    EXPECT_EQ(Raised([&] { ExtractImageUrls(page, list, SiteOfRow(0)); }),
              "EFOpenError: Cannot open file " + page);
    EXPECT_EQ(ReadFileBytes(list), "old\r\n");
  }
}

TEST(ExtractImageUrls, UncreatableListRaisesCreateError) {
  TempDir dir;
  WriteFileBytes(dir.File("page.txt"), R"(imgurl:"/a")");
  const std::string list = dir.File("missing-folder/url_list.txt");
  EXPECT_EQ(Raised([&] { ExtractImageUrls(dir.File("page.txt"), list, SiteOfRow(0)); }),
            "EFCreateError: Cannot create file " + list);
}

// A list the disk cannot take raises the write error, and the list an earlier run left stays
// as it was: no list stands half-written under its name.
TEST(ExtractImageUrls, ListThatCannotBeWrittenRaisesWriteErrorAndKeepsTheEarlierList) {
  TempDir dir;
  std::string page;
  for (int i = 0; i < 2000; ++i) page += "imgurl:\"/image/" + std::to_string(i) + ".jpg\" ";
  WriteFileBytes(dir.File("page.txt"), page);
  WriteFileBytes(dir.File("url_list.txt"), "earlier\r\n");
  {
    const FileSizeLimit limit(4096, FileSizeLimit::kIgnoreSignal);
    EXPECT_EQ(Raised([&] {
                ExtractImageUrls(dir.File("page.txt"), dir.File("url_list.txt"), SiteOfRow(0));
              }),
              "EWriteError: Stream write error");
  }
  EXPECT_EQ(ReadFileBytes(dir.File("url_list.txt")), "earlier\r\n");
  EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"page.txt", "url_list.txt"}));
}

TEST(ExtractImageUrls, ListFileIsReplacedEvenWhenNothingIsFound) {
  TempDir dir;
  WriteFileBytes(dir.File("page.txt"), "nothing");
  WriteFileBytes(dir.File("url_list.txt"), "left over from an earlier run\r\n");
  EXPECT_EQ(ExtractImageUrls(dir.File("page.txt"), dir.File("url_list.txt"), SiteOfRow(0)), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.File("url_list.txt")));
  EXPECT_EQ(ReadFileBytes(dir.File("url_list.txt")), "");
}

TEST(FindImageUrls, ScansTheTextAsGivenWithoutNormalisingIt) {
  using namespace std::string_literals;
  const ExtractionCase rows[] = {
      {0, "imgurl:\"/x\nb\"", {"/x\nb"}},    // a bare LF stays
      {0, "imgurl:\"/a\0b\""s, {"/a\0b"s}},  // a NUL does not end the text
      {0, "imgurl:", {""}},                  // no CR LF is added at the end
      {1, "\"ou\":\"http", {""}},
      {2, "", {}},
      {7, "imgurl:\"/a\"", {}},
  };
  for (const ExtractionCase& row : rows) {
    EXPECT_EQ(FindImageUrls(row.page, SiteOfRow(row.site)).Lines(), row.entries)
        << "site " << row.site << ", text [" << row.page << "]";
  }
}

// However far the next marker is - across any border of the search's internal steps - it is
// found, for the short and the long markers alike.
TEST(FindImageUrls, FindsMarkersAtEveryDistance) {
  const std::pair<int, std::string> markers[] = {
      {0, "imgurl:\""}, {1, "\"ou\":\"http"}, {2, "\"objURL\":\"http"}};
  for (const auto& [site, marker] : markers) {
    for (size_t gap = 0; gap < 3000; ++gap) {
      const std::string text = "imgurl:\"/0\"" + std::string(gap, 'x') + marker + "/a\"";
      const std::vector<std::string> found = FindImageUrls(text, SiteOfRow(site)).Lines();
      ASSERT_FALSE(found.empty()) << "site " << site << ", gap " << gap;
      ASSERT_EQ(found.back(), site == 0 ? "/a" : "http/a") << "site " << site << ", gap " << gap;
    }
  }
}

// A million markers and not one quote. A scan that looked for the closing quote from every
// marker again would read terabytes here and run into the test timeout; a linear one takes
// well under a second.
TEST(ExtractImageUrls, ManyMarkersWithoutQuotesStayLinear) {
  std::string page;
  for (int line = 0; line < 10000; ++line) {
    for (int i = 0; i < 100; ++i) page += "imgurl: ";  // 8 bytes: exactly the skip after a hit
    page += '\n';
  }
  std::vector<std::string> expected(1000000, "");
  ExpectExtraction(0, page, expected);
}

// ---- A large page checked against a literal transcription of the scan ----

// The substring rule: 1-based start, count; out-of-range starts and counts give empty text.
// The result goes to `out` (not `s`), so a caller can keep reusing two buffers.
void CopyInto(const std::string& s, int64_t start, int64_t count, std::string& out) {
  const int64_t length = static_cast<int64_t>(s.size());
  if (start > length || count < 1) {
    out.clear();
    return;
  }
  if (start < 1) start = 1;
  out.assign(s, static_cast<size_t>(start - 1),
             static_cast<size_t>(std::min(count, length - start + 1)));
}

std::string Copy(const std::string& s, int64_t start, int64_t count) {
  std::string out;
  CopyInto(s, start, count, out);
  return out;
}

// 1-based position of the first `what` in `s`; 0 when absent or when `what` is empty.
int64_t Pos(const std::string& what, const std::string& s) {
  if (what.empty()) return 0;
  const size_t at = s.find(what);
  return at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1;
}

// Line breaks CR, LF, CR LF each end a line; a NUL ends the text; each line gets CR LF.
std::string NormaliseLines(const std::string& bytes) {
  std::string text;
  std::string line;
  bool pending = false;
  for (size_t i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      text += line + "\r\n";
      line.clear();
      pending = false;
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      line += c;
      pending = true;
    }
  }
  if (pending) text += line + "\r\n";
  return text;
}

// The scan exactly as stated: the working text is replaced by a copy of its rest after every
// hit. The copy goes to a second buffer that is then swapped in, so no megabyte-sized buffer is
// allocated per hit (that alone made this test take minutes under AddressSanitizer).
std::vector<std::string> ReferenceExtract(const std::string& pageBytes, int site) {
  std::string marker;
  int64_t offset = 0;
  if (site == 0) marker = "imgurl:", offset = 7;
  if (site == 1) marker = "\"ou\":\"http", offset = 5;
  if (site == 2) marker = "\"objURL\":\"http", offset = 9;
  std::string text = NormaliseLines(pageBytes);
  std::vector<std::string> entries;
  std::string rest;
  int64_t p = Pos(marker, text);
  while (p > 0) {
    const int64_t length = static_cast<int64_t>(text.size());
    CopyInto(text, p + offset + 1, length - p - offset, rest);
    text.swap(rest);
    const int64_t q = Pos("\"", text);
    entries.push_back(Copy(text, 1, q - 1));
    p = Pos(marker, text);
  }
  return entries;
}

// A few MB of markup mixing all three markers with near misses, every kind of line break,
// missing quotes, character references and JSON escapes.
std::string GeneratePage(uint32_t seed, size_t targetSize) {
  std::mt19937 rng(seed);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  const char* const fillers[] = {
      "<div class=\"img\">",   "</div>",  " data-x=\"1\"", "text ", "imgurl", "\"ou\":",
      "\"objURL\":\"htt",      ":\"http", "&quot;",        "\\/",   "\"",     "    ",
      "{\"ou\":\"ftp://h/\"}", "imgURL:", "\"OU\":\"http", "m=",    "\t",     "\xC3\xA9",
  };
  const char* const markers[] = {"imgurl:", "\"ou\":\"http", "\"objURL\":\"http"};
  const char* const breaks[] = {"\n", "\r\n", "\r", "\r\r\n", "\n\n"};
  std::string page;
  while (page.size() < targetSize) {
    switch (pick(6)) {
      case 0:
      case 1:
        page += fillers[pick(std::size(fillers))];
        break;
      case 2:
        page += breaks[pick(std::size(breaks))];
        break;
      case 3: {
        page += markers[pick(3)];
        if (pick(2)) page += "\"";
        page += "://h" + std::to_string(pick(1000)) + "/p/" + std::to_string(rng()) + ".jpg";
        if (pick(10) != 0) page += "\"";  // one in ten has no closing quote
        break;
      }
      case 4:
        page += markers[pick(3)];
        page += breaks[pick(std::size(breaks))];
        break;
      default:
        page += std::string(1 + pick(40), static_cast<char>('a' + pick(26)));
        break;
    }
  }
  return page;
}

TEST(ExtractImageUrls, LargePageMatchesTheLiteralScanForEverySite) {
  const std::string page = GeneratePage(20240607, 2 * 1024 * 1024);
  TempDir dir;
  WriteFileBytes(dir.File("page.txt"), page);
  for (int site : {-1, 0, 1, 2, 3}) {
    SCOPED_TRACE("site " + std::to_string(site));
    const std::vector<std::string> expected = ReferenceExtract(page, site);
    if (site >= 0 && site <= 2) {
      EXPECT_GT(expected.size(), 500u);  // the page has many hits
    }
    const int count =
        ExtractImageUrls(dir.File("page.txt"), dir.File("url_list.txt"), SiteOfRow(site));
    EXPECT_EQ(count, static_cast<int>(expected.size()));
    EXPECT_TRUE(ReadFileBytes(dir.File("url_list.txt")) == JoinEntries(expected));
  }
}

TEST(ExtractImageUrls, NulInsideLargePageEndsTheScanThere) {
  std::string page = GeneratePage(7, 300 * 1024);
  page.insert(page.size() / 2, 1, '\0');
  TempDir dir;
  WriteFileBytes(dir.File("page.txt"), page);
  const std::vector<std::string> expected = ReferenceExtract(page, 0);
  EXPECT_EQ(ExtractImageUrls(dir.File("page.txt"), dir.File("url_list.txt"), SiteOfRow(0)),
            static_cast<int>(expected.size()));
  EXPECT_TRUE(ReadFileBytes(dir.File("url_list.txt")) == JoinEntries(expected));
}

// ---- The page read in chunks: borders anywhere change nothing ----

constexpr size_t kChunkSizes[] = {1, 2, 3, 7, 64, 1 << 20};

TEST(ExtractImageUrlsChunked, EdgeCasesGiveTheSameListForEveryChunkSize) {
  for (size_t chunk : kChunkSizes) {
    for (const auto& c : EdgeCases()) {
      SCOPED_TRACE("chunk " + std::to_string(chunk) + ", site " + std::to_string(c.site) +
                   ", page [" + c.page + "]");
      ExpectExtraction(c.site, c.page, c.entries, chunk);
    }
  }
}

// Line breaks of every kind, markers of every site, addresses running across breaks and
// holding markers, a long address, and ends of every kind; read with every chunk size up to
// beyond a marker's length, so each border falls inside a CR LF, a marker, an address, a skip.
TEST(ExtractImageUrlsChunked, EveryBorderPositionMatchesTheLiteralScan) {
  std::string base = "a\r\nimgurl:\"/one\"\r\nx\rimgurl:\"/t\rw\no\"\n\r\n\r\r\n";
  base += "{\"ou\":\"http://g/1\"}\r\n\"objURL\":\"http://b/1\"\r\r\n\n";
  base += "imgurl:imgurl:\"/z\" \"ou\":\"http\"ou\":\"http://g/2\"\n";
  base += "imgurl:\"" + std::string(3000, 'L') + "imgurl:\"/in\r\nner\"\r\n";
  base += "\"objURL\":\"http" + std::string(500, 'B') + "\"objURL\":\"http://b/2\"\r";
  using namespace std::string_literals;
  const std::string pages[] = {
      base,
      base + "\0imgurl:\"/after-nul\"\r\n"s,
      base + "imgurl:\"/a\r\0\nimgurl:\"/b\""s,
      base + "imgurl:\"/no-quote\r\nimgurl:",
      base + "tail without a break",
      base + "\"ou\":\"http",
  };
  for (size_t p = 0; p < std::size(pages); ++p) {
    for (int site : {0, 1, 2}) {
      const std::vector<std::string> expected = ReferenceExtract(pages[p], site);
      ASSERT_GE(expected.size(), 3u) << "page " << p << ", site " << site;
      for (size_t chunk = 1; chunk <= 40; ++chunk) {
        SCOPED_TRACE("page " + std::to_string(p) + ", site " + std::to_string(site) + ", chunk " +
                     std::to_string(chunk));
        ExpectExtraction(site, pages[p], expected, chunk);
      }
    }
  }
}

TEST(ExtractImageUrlsChunked, LargePageMatchesTheLiteralScanForEveryChunkSize) {
  std::string page = GeneratePage(99, 1024 * 1024);
  TempDir dir;
  WriteFileBytes(dir.File("page.txt"), page);
  for (int site : {0, 1, 2}) {
    const std::string expected = JoinEntries(ReferenceExtract(page, site));
    for (size_t chunk : kChunkSizes) {
      SCOPED_TRACE("site " + std::to_string(site) + ", chunk " + std::to_string(chunk));
      detail::ExtractImageUrlsChunked(dir.File("page.txt"), dir.File("url_list.txt"),
                                      SiteOfRow(site), chunk);
      EXPECT_TRUE(ReadFileBytes(dir.File("url_list.txt")) == expected);
    }
  }
}

// Short pages built from pieces of markers, line breaks, quotes and NULs, where chunk borders
// fall everywhere and the pieces meet in every order.
TEST(ExtractImageUrlsChunked, RandomShortPagesMatchTheLiteralScan) {
  const char* const pieces[] = {
      "imgurl:", "imgu", "rl:", "\"ou\":\"http", "\"ou\":", "\"http", "\"objURL\":\"http", "objURL",
      "\"",      "\r",   "\n",  "\r\n",          "x",       "/p.jpg"};
  std::mt19937 rng(4711);
  TempDir dir;
  for (int round = 0; round < 300; ++round) {
    std::string page;
    const int count = static_cast<int>(rng() % 40);
    for (int i = 0; i < count; ++i) page += pieces[rng() % std::size(pieces)];
    if (rng() % 8 == 0) page.insert(rng() % (page.size() + 1), 1, '\0');
    WriteFileBytes(dir.File("page.txt"), page);
    const int site = static_cast<int>(rng() % 3);
    const size_t chunk = 1 + rng() % 16;
    const std::vector<std::string> expected = ReferenceExtract(page, site);
    const int found = detail::ExtractImageUrlsChunked(
        dir.File("page.txt"), dir.File("url_list.txt"), SiteOfRow(site), chunk);
    ASSERT_EQ(found, static_cast<int>(expected.size()))
        << "site " << site << ", chunk " << chunk << ", page [" << page << "]";
    ASSERT_EQ(ReadFileBytes(dir.File("url_list.txt")), JoinEntries(expected))
        << "site " << site << ", chunk " << chunk << ", page [" << page << "]";
  }
}

// An address longer than several chunks is kept whole, with markers inside it found again.
TEST(ExtractImageUrlsChunked, AddressLongerThanManyChunksIsKeptWhole) {
  const std::string longAddress = "/" + std::string(3 * 1024 * 1024, 'a') + "imgurl:xyz";
  const std::string page = "imgurl:\"" + longAddress + "\" imgurl:\"/b\"\n";
  for (size_t chunk : {size_t{64 * 1024}, size_t{1} << 20}) {
    SCOPED_TRACE("chunk " + std::to_string(chunk));
    ExpectExtraction(0, page, {longAddress, "yz", "/b"}, chunk);
  }
}

}  // namespace
}  // namespace pixhaul::test
