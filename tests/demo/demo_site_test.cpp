// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The demo site that pixhaul-cli is tried and tested on: its PNG encoder writes valid files,
// and each result page yields exactly the site's image addresses with that site's marker.
#include "demo/demo_site.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "demo/png_encoder.h"
#include "framework/string_list.h"
#include "harvest/address_harvest.h"
#include "harvest/marker_scan.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::demo {
namespace {

uint32_t BigEndian(const std::string& bytes, size_t at) {
  return (uint32_t{static_cast<uint8_t>(bytes[at])} << 24) |
         (uint32_t{static_cast<uint8_t>(bytes[at + 1])} << 16) |
         (uint32_t{static_cast<uint8_t>(bytes[at + 2])} << 8) |
         uint32_t{static_cast<uint8_t>(bytes[at + 3])};
}

const uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

TEST(PngEncoderTest, ChecksumsMatchKnownValues) {
  EXPECT_EQ(Crc32(Bytes("123456789"), 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(Bytes(""), 0), 0u);
  EXPECT_EQ(Adler32(Bytes("Wikipedia"), 9), 0x11E60398u);
  EXPECT_EQ(Adler32(Bytes(""), 0), 1u);
}

// Walks the chunks, checks every CRC and undoes the stored deflate blocks.
TEST(PngEncoderTest, FileIsWellFormedAndHoldsThePixels) {
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{1, 1}, {3, 2}, {200, 120}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7 + 3);
    const std::string png = EncodePng(width, height, rgb);

    ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
    std::vector<std::string> types;
    std::string zlib;
    for (size_t at = 8; at < png.size();) {
      const uint32_t length = BigEndian(png, at);
      const std::string type = png.substr(at + 4, 4);
      types.push_back(type);
      EXPECT_EQ(Crc32(Bytes(png) + at + 4, length + 4), BigEndian(png, at + 8 + length)) << type;
      if (type == "IHDR") {
        EXPECT_EQ(BigEndian(png, at + 8), static_cast<uint32_t>(width));
        EXPECT_EQ(BigEndian(png, at + 12), static_cast<uint32_t>(height));
        EXPECT_EQ(png.substr(at + 16, 5), std::string("\x08\x02\x00\x00\x00", 5));
      }
      if (type == "IDAT") zlib += png.substr(at + 8, length);
      at += 12 + length;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

    std::string raw;
    size_t at = 2;
    for (bool last = false; !last;) {
      last = zlib[at] & 1;
      const size_t n =
          static_cast<uint8_t>(zlib[at + 1]) | (static_cast<uint8_t>(zlib[at + 2]) << 8);
      const size_t complement =
          static_cast<uint8_t>(zlib[at + 3]) | (static_cast<uint8_t>(zlib[at + 4]) << 8);
      ASSERT_EQ(n ^ 0xFFFF, complement);
      raw += zlib.substr(at + 5, n);
      at += 5 + n;
    }
    EXPECT_EQ(BigEndian(zlib, at), Adler32(Bytes(raw), raw.size()));
    std::string expected;
    for (int y = 0; y < height; ++y) {
      expected.push_back('\0');
      expected.append(reinterpret_cast<const char*>(rgb.data()) + y * width * 3, width * 3);
    }
    EXPECT_EQ(raw, expected);
  }
  EXPECT_THROW(EncodePng(2, 2, std::vector<uint8_t>(5)), std::invalid_argument);
}

TEST(DemoSiteTest, EachPageListsTheImagesUnderItsOwnMarker) {
  pixhaul::test::TempDir dir;
  DemoSite site(DemoSite::Options{9, 4, 4});
  site.SetBases("http://127.0.0.1:1", "https://127.0.0.1:2");
  const std::vector<std::string> addresses = site.ImageAddresses();
  for (int page = 0; page < 3; ++page) {
    for (int marker = 0; marker < 3; ++marker) {
      SCOPED_TRACE("page " + std::to_string(page) + " marker " + std::to_string(marker));
      pixhaul::test::WriteFileBytes(dir.File("page.html"), site.Page(page));
      const int count =
          ExtractImageUrls(dir.File("page.html"), dir.File("list.txt"), SiteOfRow(marker));
      TStringList list;
      list.LoadFromFile(dir.File("list.txt"));
      if (page == marker) {
        EXPECT_EQ(count, 9);
        EXPECT_EQ(list.Lines(), addresses);
      } else {
        EXPECT_EQ(count, 0);
      }
    }
  }
}

// Today's pages: no marker cuts an address from them (Bing's cuts script text), and only their
// own site's built-in rules find the decoded full-size addresses (never the sites' own
// thumbnails or copies).
TEST(DemoSiteTest, EachTodaysPageIsListedByItsOwnSitesRulesOnly) {
  pixhaul::test::TempDir dir;
  DemoSite site(DemoSite::Options{9, 4, 4});
  site.SetBases("http://127.0.0.1:1", "https://127.0.0.1:2");
  RuleBook rules;
  for (int page = 0; page < 3; ++page) {
    const std::vector<std::string> addresses = site.TodaysImageAddresses(page);
    ASSERT_EQ(addresses.size(), 9u);
    for (int marker = 0; marker < 3; ++marker) {
      SCOPED_TRACE("today's page " + std::to_string(page) + ", site " + std::to_string(marker));
      pixhaul::test::WriteFileBytes(dir.File("page.html"), site.TodaysPage(page));
      const int cut =
          ExtractImageUrls(dir.File("page.html"), dir.File("list.txt"), SiteOfRow(marker));
      EXPECT_EQ(cut, page == 0 && marker == 0 ? 1 : 0);
      EXPECT_EQ(pixhaul::test::ReadFileBytes(dir.File("list.txt")).find("http"), std::string::npos);
      const HarvestResult result =
          HarvestImageUrls(dir.File("page.html"), dir.File("list.txt"), SiteOfRow(marker), rules);
      TStringList list;
      list.LoadFromFile(dir.File("list.txt"));
      if (page == marker) {
        EXPECT_TRUE(result.byRules);
        EXPECT_EQ(list.Lines(), addresses);
      } else {
        EXPECT_EQ(list.Count(), 0);
      }
    }
  }
  EXPECT_NE(site.TodaysImageAddresses(0)[0], site.ImageAddresses()[0]) << "with a query";
}

// A page that grows shows its first batch; with every batch the server gives appended where
// the page's script puts them, each page lists every image once, in order, under the same
// marker or rules as the whole page; past the last batch there is nothing more. Only Google's
// pages carry the "more results" button, and a page with every image shown does not grow.
TEST(DemoSiteTest, GrowingPagesBringEveryResultOnceBatchByBatch) {
  pixhaul::test::TempDir dir;
  DemoSite::Options options{10, 4, 4};
  options.batch = 4;
  DemoSite site(options);
  site.SetBases("http://127.0.0.1:1", "https://127.0.0.1:2");
  ASSERT_EQ(site.FirstBatchCount(), 4);
  RuleBook rules;
  const std::string resultsEnd = "</div>\n<div id=\"results-end\">";
  for (const bool today : {false, true}) {
    for (int page = 0; page < 3; ++page) {
      SCOPED_TRACE(std::string(today ? "today's " : "") + "page " + std::to_string(page));
      const std::string path = today ? DemoSite::TodaysPagePath(page) : DemoSite::PagePath(page);
      const std::vector<std::string> all =
          today ? site.TodaysImageAddresses(page) : site.ImageAddresses();
      loopback::HttpRequest request;
      request.target = path;
      std::string markup = site.Handle(request).body;
      EXPECT_EQ(markup.find("\"mye4qd\"") != std::string::npos, page == 1);
      const auto listed = [&] {
        pixhaul::test::WriteFileBytes(dir.File("page.html"), markup);
        HarvestImageUrls(dir.File("page.html"), dir.File("list.txt"), SiteOfRow(page), rules);
        TStringList list;
        list.LoadFromFile(dir.File("list.txt"));
        return list.Lines();
      };
      EXPECT_EQ(listed(), std::vector<std::string>(all.begin(), all.begin() + 4));
      for (const int from : {4, 8}) {
        request.target = "/more" + path + "?from=" + std::to_string(from);
        const loopback::HttpReply batch = site.Handle(request);
        ASSERT_EQ(batch.status, 200);
        const size_t end = markup.find(resultsEnd);
        ASSERT_NE(end, std::string::npos);
        markup.insert(end, batch.body);
      }
      EXPECT_EQ(listed(), all);
      request.target = "/more" + path + "?from=10";
      EXPECT_EQ(site.Handle(request).body, "");
      request.target = "/more" + path + "?from=9";
      EXPECT_NE(site.Handle(request).body.find("result 9<"), std::string::npos);
    }
  }
  DemoSite whole(DemoSite::Options{10, 4, 4});
  EXPECT_EQ(whole.FirstBatchCount(), 10);
  EXPECT_EQ(whole.Page(1).find("id=\"results-end\""), std::string::npos);
  EXPECT_EQ(whole.TodaysPage(0).find("fetch("), std::string::npos);
}

TEST(DemoSiteTest, RoutesPagesImagesRedirectsAndUnknownPaths) {
  DemoSite site(DemoSite::Options{8, 4, 4});
  site.SetBases("http://127.0.0.1:1", "https://127.0.0.1:2");
  loopback::HttpRequest request;
  request.target = "/img/3.png";
  EXPECT_EQ(site.Handle(request).body, site.Image(3));
  request.target = "/redirect/5.png";
  const loopback::HttpReply redirect = site.Handle(request);
  EXPECT_EQ(redirect.status, 302);
  ASSERT_EQ(redirect.headers.size(), 1u);
  EXPECT_EQ(redirect.headers[0].second, "https://127.0.0.1:2/img/5.png");
  request.target = "/google.html";
  EXPECT_EQ(site.Handle(request).body, site.Page(1));
  request.target = "/today/baidu.html";
  EXPECT_EQ(site.Handle(request).body, site.TodaysPage(2));
  // A query is ignored; thumbnails are the same pictures.
  request.target = "/img/2.png?w=48&h=48";
  EXPECT_EQ(site.Handle(request).body, site.Image(2));
  request.target = "/thumb/7.png";
  EXPECT_EQ(site.Handle(request).body, site.Image(7));
  request.target = "/redirect/5.png?size=48";
  EXPECT_EQ(site.Handle(request).status, 302);
  for (const char* unknown :
       {"/img/8.png", "/img/-1.png", "/img/1.jpg", "/img/.png", "/", "/x", "/thumb/8.png",
        "/today/", "/?/img/1.png", "/more/bing.html?from=1", "/more/today/bing.html"}) {
    request.target = unknown;
    EXPECT_EQ(site.Handle(request).status, 404) << unknown;
  }
  EXPECT_NE(site.Image(0), site.Image(1));
}

}  // namespace
}  // namespace pixhaul::demo
