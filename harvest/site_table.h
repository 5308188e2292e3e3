// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The image-search sites the program knows: the table of harvest/site_rows.h, and SiteId, the
// one way code names a site.
//
// A row holds everything that is particular to its site: the short name (what pixhaul-cli's
// --site takes), the selector label (its host name, which also names its section of a rules
// file), the start page loaded into the web view, the marker the described scan cuts addresses
// after, the built-in current-layout rules, and the selector of the page's own "more results"
// control. The count and every list of sites come from the table. A number becomes a SiteId
// only at the edges where numbers come in (the window's selector index, whose -1 means none),
// through SiteOfRow, which refuses any number that is no row; "no site" is an empty
// std::optional<SiteId>. The rows are constant data: any thread may read them. The start pages
// can be replaced by tests so that no test ever asks the web view for an outside address.
#pragma once

#include <array>
#include <cstddef>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "harvest/site.h"
#include "harvest/site_rows.h"

namespace pixhaul {

inline constexpr int kSiteCount = static_cast<int>(std::size(site_rows::kSites));

// A site: a row of the table.
class SiteId {
 public:
  // The row's index, in selector order.
  constexpr int Row() const { return row_; }
  // The row's index for arrays of kSiteCount entries.
  constexpr size_t Slot() const { return static_cast<size_t>(row_); }
  friend constexpr bool operator==(SiteId, SiteId) = default;

 private:
  friend constexpr std::optional<SiteId> SiteOfRow(int row);
  explicit constexpr SiteId(int row) : row_(row) {}
  int row_;
};

// The site of row `row`, or nothing when the table has no such row (the window's -1, say).
constexpr std::optional<SiteId> SiteOfRow(int row) {
  if (row < 0 || row >= kSiteCount) return std::nullopt;
  return SiteId(row);
}

namespace detail {
template <size_t... Rows>
constexpr std::array<SiteId, sizeof...(Rows)> SitesOfRows(std::index_sequence<Rows...>) {
  return {*SiteOfRow(static_cast<int>(Rows))...};
}
}  // namespace detail

// Every site, in table order.
constexpr std::array<SiteId, kSiteCount> AllSites() {
  return detail::SitesOfRows(std::make_index_sequence<kSiteCount>());
}

// The site whose short name is `name` ("bing"), or nothing.
std::optional<SiteId> SiteNamed(std::string_view name);

// The row of `site`.
const Site& RowOf(SiteId site);

// The short name of the site: "bing", "google" or "baidu".
std::string SiteName(SiteId site);

// The selector label of the site (its host name).
std::string SiteLabel(SiteId site);

// The start page of the site, or the test replacement set below.
std::string SiteStartPage(SiteId site);

// Replaces the start page of the site for the rest of the process (tests point the sites at
// loopback servers with this); an empty address restores the built-in one. Main thread only.
void SetSiteStartPageForTesting(SiteId site, const std::string& address);

// The selector of the element that is the site's own "more results" control; empty when none
// is known.
std::string SiteMoreResultsSelector(SiteId site);

// The marker of the site; an empty marker, which never matches, for no site.
SiteMarker MarkerForSite(std::optional<SiteId> site);

// The built-in rules of the site as text, in order.
std::span<const RuleText> BuiltInRuleTexts(SiteId site);

}  // namespace pixhaul
