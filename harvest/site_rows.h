// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The site table's rows: the sites the program knows, in selector order, with their markers
// and built-in current-layout rules. Adding a site is one row here and its rules; everything
// else - the count, the selector, --site, the rules file's sections - follows from the table.
//
// Tests: tests/harvest/site_table_test.cpp and tests/harvest/address_harvest_test.cpp.
#pragma once

#include <string_view>

#include "harvest/site.h"

namespace pixhaul::site_rows {

// The built-in rules follow the result pages the sites serve today.
//
// A JSON string's body is (?:[^"\\]++|\\.)*+: it ends at the first quote that is not escaped,
// and being possessive it never backtracks, however long it is. An attribute's address runs to
// its closing quote (&quot; inside Bing's JSON) and is at most 4096 bytes long.

// Bing's own thumbnails, on its image hosts of every generation.
inline constexpr std::string_view kBingThumbnails[] = {
    R"re(^https?://(?:tse?\d*\.mm\.bing\.net|th\.bing\.com)/th)re",
};

// Bing: the m attribute's JSON, quotes written &quot; in the markup (its key "murl" is the only
// one ending so, and a literal start lets the engine skip ahead quickly); then the same JSON
// with plain quotes, as a page from another source may hold it; then the attribute of the
// earlier server-rendered pages, whose keys are not quoted.
inline constexpr RuleText kBingRules[] = {
    {R"re(murl&quot;:&quot;(https?://[^"<>]{1,4096}?)&quot;)re", AddressDecoding::kHtml,
     kBingThumbnails},
    {R"re("murl"\s*:\s*"(https?:(?:[^"\\]++|\\.)*+)")re", AddressDecoding::kJson, kBingThumbnails},
    {R"re(imgurl:&quot;(https?://[^"<>]{1,4096}?)&quot;)re", AddressDecoding::kHtml,
     kBingThumbnails},
};

// The same arrays as Google's results carry the site's logos, the source pages' icons and their
// previews, all on Google's own hosts (gstatic.com, google.com and its country domains).
inline constexpr std::string_view kGoogleOwnImages[] = {
    R"re(^https?://[^/]*\bgstatic\.com/)re",
    R"re(^https?://(?:[^/?#]*\.)?google(?:\.[a-z]{2,3}){1,2}[/?#:])re",
};

// Google: ["address",height,width] for the thumbnail, then for the full-size image; then the
// lite layout served to some clients, one element a result with the full-size address in its
// data-ou attribute (the thumbnail is an inner <img>, the source page data-ru).
inline constexpr RuleText kGoogleRules[] = {
    {R"re(\["(https?:(?:[^"\\]++|\\.)*+)",\d{1,6},\d{1,6}\])re", AddressDecoding::kJson,
     kGoogleOwnImages},
    {R"re(data-ou="(https?://[^"<>]{1,4096})")re", AddressDecoding::kHtml, kGoogleOwnImages},
};

// Baidu: the original image, enciphered in "objURL" on most pages (plain on some); the original
// or an alternate in replaceUrl; the older layout's attribute; then Baidu's own copies.
inline constexpr RuleText kBaiduRules[] = {
    {R"re("objURL"\s*:\s*"((?:[^"\\]++|\\.)*+)")re", AddressDecoding::kBaidu, {}},
    {R"re("ObjURL"\s*:\s*"(https?:(?:[^"\\]++|\\.)*+)")re", AddressDecoding::kJson, {}},
    {R"re(data-objurl="(https?://[^"<>]{1,4096})")re", AddressDecoding::kHtml, {}},
    {R"re("middleURL"\s*:\s*"(https?:(?:[^"\\]++|\\.)*+)")re", AddressDecoding::kJson, {}},
    {R"re("thumbURL"\s*:\s*"(https?:(?:[^"\\]++|\\.)*+)")re", AddressDecoding::kJson, {}},
};

// The markers: Bing's drops the one byte after "imgurl:" (the opening quote); Google's and
// Baidu's keep the "http" they end with as the address's start.
inline constexpr Site kSites[] = {
    // Bing's "See more images" link.
    {"bing",
     "www.bing.com",
     "http://www.bing.com/images",
     {"imgurl:", 8},
     kBingRules,
     "a.btn_seemore"},
    {"google",
     "images.google.com",
     "http://images.google.com",
     {"\"ou\":\"http", 6},
     kGoogleRules,
     "input.mye4qd"},  // Google's "Show more results" button
    {"baidu",
     "image.baidu.com",
     "http://image.baidu.com",
     {"\"objURL\":\"http", 10},
     kBaiduRules,
     ""},  // Baidu keeps adding results as the page scrolls
};

}  // namespace pixhaul::site_rows
