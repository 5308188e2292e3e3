// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/image_url_harvest.h"

#include <span>

#include "harvest/image_url_extraction.h"
#include "harvest/rules_scan.h"
#include "harvest/site_table.h"

namespace pixhaul {

namespace detail {

HarvestResult HarvestImageUrlsChunked(const PageFile& pageFile, const std::string& listFile,
                                      int siteIndex, RuleBook& book, size_t chunkBytes) {
  HarvestResult result;
  result.count = ExtractImageUrlsChunked(pageFile, listFile, siteIndex, chunkBytes);
  if (result.count > 0 || !IsSiteIndex(siteIndex)) return result;

  size_t first = 0;  // the first rule still to try
  for (;;) {
    SiteRules& site = book.ForSite(siteIndex);
    const std::span<AddressRule> rules(site.rules);
    const RulesScanResult scan = ScanPageWithRules(
        pageFile, listFile, rules.subspan(std::min(first, rules.size())), chunkBytes);
    if (!scan.failure) {
      result.count = scan.count;
      result.byRules = scan.count > 0;
      return result;
    }
    if (site.fromFile) {
      result.problems.push_back(scan.failure->what +
                                " on this page; the built-in rules are used for " +
                                SiteLabel(siteIndex));
      book.UseBuiltIn(siteIndex);
      first = 0;
    } else {
      result.problems.push_back(scan.failure->what + " on this page; the rule is passed over");
      first += scan.failure->ruleIndex + 1;
    }
  }
}

}  // namespace detail

std::string RulesListNote(int siteIndex) {
  return "Addresses found by the current-layout rules for " + SiteLabel(siteIndex);
}

HarvestResult HarvestImageUrls(const PageFile& pageFile, const std::string& listFile, int siteIndex,
                               RuleBook& book) {
  return detail::HarvestImageUrlsChunked(pageFile, listFile, siteIndex, book,
                                         detail::kPageChunkBytes);
}

}  // namespace pixhaul
