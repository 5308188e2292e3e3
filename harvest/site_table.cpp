// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/site_table.h"

#include <array>

namespace pixhaul {

namespace {

std::array<std::string, kSiteCount>& StartPageOverrides() {
  static std::array<std::string, kSiteCount> overrides;
  return overrides;
}

}  // namespace

std::optional<SiteId> SiteNamed(std::string_view name) {
  for (const SiteId site : AllSites()) {
    if (RowOf(site).name == name) return site;
  }
  return std::nullopt;
}

const Site& RowOf(SiteId site) { return site_rows::kSites[site.Slot()]; }

std::string SiteName(SiteId site) { return std::string(RowOf(site).name); }

std::string SiteLabel(SiteId site) { return std::string(RowOf(site).label); }

std::string SiteStartPage(SiteId site) {
  const std::string& replacement = StartPageOverrides()[site.Slot()];
  return replacement.empty() ? std::string(RowOf(site).startPage) : replacement;
}

void SetSiteStartPageForTesting(SiteId site, const std::string& address) {
  StartPageOverrides()[site.Slot()] = address;
}

std::string SiteMoreResultsSelector(SiteId site) {
  return std::string(RowOf(site).moreResultsSelector);
}

SiteMarker MarkerForSite(std::optional<SiteId> site) {
  return site ? RowOf(*site).marker : SiteMarker{};
}

std::span<const RuleText> BuiltInRuleTexts(SiteId site) { return RowOf(site).rules; }

}  // namespace pixhaul
