// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The address harvest: HarvestImageUrls, the address list of a run - the marker scan first,
// then, where that cut no address, the current-layout rules. The site's marker scan
// (ExtractImageUrls, marker_scan.h) writes its list, and that list stands when at least one of
// its entries, as the marker cut it, begins with "http://" or "https://" (any letter case).
// Otherwise - no entry at all, or only script text and other entries without a scheme, as
// today's pages give - the site's current-layout rules (see rules_scan.h) are applied, and
// when they find an address their list replaces the marker's; when they find none, or stop,
// the list file holds the marker's list byte for byte.
//
// A rule from the rules file that stops at the engine's limits, or at the time limit of the
// rules' pass (see rules_pass_deadline.h), puts its site back on the built-in rules (in `book`,
// until the file changes), and the page is scanned again with them in a pass of their own; a
// built-in rule that stops so is passed over for the next one, while the pass has time left.
// Either is reported in the result. Runs on the thread that owns `book`.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "framework/file_target.h"
#include "harvest/page_text_stream.h"
#include "harvest/rule_book.h"
#include "harvest/rules_pass_deadline.h"

namespace pixhaul {

struct HarvestResult {
  int count = 0;                      // entries in the list file
  bool byRules = false;               // the list came from the current-layout rules
  bool foundAddresses = false;        // the marker cut an address, or the rules found some
  std::vector<std::string> problems;  // rules that stopped at the limits, one a line
  bool listCut = false;               // the marker's list stands, cut at its bound (marker_scan.h)
};

// Raises what ExtractImageUrls and ScanPageWithRules raise.
HarvestResult HarvestImageUrls(const PageFile& pageFile, const FileTarget& listFile,
                               std::optional<SiteId> site, RuleBook& book);

namespace detail {

// HarvestImageUrls reading the page `chunkBytes` (at least 1) at a time, each pass of rules
// taking at most `passTimeLimit`.
HarvestResult HarvestImageUrlsChunked(
    const PageFile& pageFile, const FileTarget& listFile, std::optional<SiteId> site,
    RuleBook& book, size_t chunkBytes,
    std::chrono::milliseconds passTimeLimit = kRulesPassTimeLimit);

}  // namespace detail

}  // namespace pixhaul
