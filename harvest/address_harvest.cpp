// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/address_harvest.h"

#include <optional>
#include <span>

#include "harvest/address_list_file.h"
#include "harvest/marker_scan.h"
#include "harvest/page_text_stream.h"
#include "harvest/rules_scan.h"
#include "harvest/site_table.h"

namespace pixhaul {

namespace detail {

HarvestResult HarvestImageUrlsChunked(const PageFile& pageFile, const FileTarget& listFile,
                                      std::optional<SiteId> site, RuleBook& book, size_t chunkBytes,
                                      std::chrono::milliseconds passTimeLimit) {
  // The marker's list is written but not yet put in place: it stands unless the rules find
  // something better, and is dropped unfinished (the rules' list then in place) otherwise.
  std::optional<PageTextStream> page(std::in_place, pageFile, chunkBytes);
  AddressListFile markerList(listFile);
  const MarkerScan marker = ScanPageWithMarker(*page, site, markerList);
  page.reset();

  HarvestResult result;
  result.count = marker.count;
  result.foundAddresses = marker.cutAnAddress;
  result.listCut = marker.listCut;
  if (marker.cutAnAddress || !site) {
    markerList.Finish();
    return result;
  }

  size_t first = 0;  // the first rule still to try
  // The file's rules have a pass of their own, and so have the built-in ones after them.
  RulesPassDeadline deadline(passTimeLimit);
  for (;;) {
    SiteRules& inForce = book.ForSite(*site);
    const std::span<AddressRule> rules(inForce.rules);
    const RulesScanResult scan = ScanPageWithRules(
        pageFile, listFile, rules.subspan(std::min(first, rules.size())), chunkBytes, deadline);
    if (scan.count > 0) {
      result.count = scan.count;
      result.listCut = false;
      result.byRules = true;
      result.foundAddresses = true;
      return result;
    }
    if (!scan.failure) {
      markerList.Finish();
      return result;
    }
    if (inForce.fromFile) {
      result.problems.push_back(scan.failure->what +
                                " on this page; the built-in rules are used for " +
                                SiteLabel(*site));
      book.UseBuiltIn(*site);
      first = 0;
      deadline = RulesPassDeadline(passTimeLimit);
    } else {
      result.problems.push_back(scan.failure->what + " on this page; the rule is passed over");
      first += scan.failure->ruleIndex + 1;
      if (deadline.Passed()) {  // the next rule would stop at once
        markerList.Finish();
        return result;
      }
    }
  }
}

}  // namespace detail

HarvestResult HarvestImageUrls(const PageFile& pageFile, const FileTarget& listFile,
                               std::optional<SiteId> site, RuleBook& book) {
  return detail::HarvestImageUrlsChunked(pageFile, listFile, site, book, detail::kPageChunkBytes);
}

}  // namespace pixhaul
