// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The image-search sites the program knows, one row a site, and the process-wide index of the
// chosen one.
//
// A row holds everything that is particular to its site: the short name (what pixhaul-cli's
// --site takes), the selector label (its host name, which also names its section of a rules
// file), the start page loaded into the web view, the marker the described scan cuts addresses
// after, the built-in current-layout rules, and the selector of the page's own "more results"
// control. Adding a site is one row and its rules (and kSiteCount, which the table is checked
// against when it compiles). The rows are constant data: any thread may read them.
// `CurrentSite` is the site whose extraction marker a run uses (0 Bing, 1 Google, 2 Baidu, -1
// none); the site selector sets it, and only the main thread reads or writes it. The start
// pages can be replaced by tests so that no test ever asks the web view for an outside address.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "harvest/address_decoding.h"

namespace pixhaul {

inline constexpr int kSiteCount = 3;
inline constexpr int kNoSite = -1;

// The fixed text that introduces an image address on a site's result page, and where after it
// the address begins. For Google and Baidu the skip stops short of the marker's end, so the
// "http" the marker ends with starts the address; for Bing it also drops the one byte after the
// marker (normally the opening quote).
struct SiteMarker {
  std::string_view marker;  // empty for no site: it never matches
  size_t skip = 0;          // from the marker's first byte to the address's first byte
};

// One built-in current-layout rule as text, as a rules file would hold it.
struct RuleText {
  std::string_view expression;
  AddressDecoding decoding = AddressDecoding::kNone;
  std::span<const std::string_view> exclusions;
};

// One row of the site table.
struct Site {
  std::string_view name;
  std::string_view label;
  std::string_view startPage;
  SiteMarker marker;
  std::span<const RuleText> rules;  // in the order they are tried
  std::string_view moreResultsSelector;
};

// The selected site; 0 when the program starts. Main thread only.
extern int CurrentSite;

// Every row, in selector order: row i is site index i.
std::span<const Site, kSiteCount> Sites();

// True for 0, 1 and 2.
bool IsSiteIndex(int index);

// The short name of site `index`: "bing", "google" or "baidu". Precondition: IsSiteIndex(index).
std::string SiteName(int index);

// The selector label of site `index` (its host name). Precondition: IsSiteIndex(index).
std::string SiteLabel(int index);

// The start page of site `index`, or the test replacement set below. Precondition:
// IsSiteIndex(index).
std::string SiteStartPage(int index);

// Replaces the start page of site `index` for the rest of the process (tests point the sites
// at loopback servers with this); an empty address restores the built-in one. Main thread only.
void SetSiteStartPageForTesting(int index, const std::string& address);

// The selector of the element that is site `index`'s own "more results" control; empty when
// none is known. Precondition: IsSiteIndex(index).
std::string SiteMoreResultsSelector(int index);

// The marker of site `siteIndex`; an empty marker for any index that is not a site.
SiteMarker MarkerForSite(int siteIndex);

// The built-in rules of site `siteIndex` as text, in order; none for an index that is not a
// site.
std::span<const RuleText> BuiltInRuleTexts(int siteIndex);

}  // namespace pixhaul
