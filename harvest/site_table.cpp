// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/site_table.h"

#include <array>
#include <cassert>

namespace pixhaul {

int CurrentSite = 0;

namespace {

struct SiteEntry {
  const char* name;
  const char* label;
  const char* startPage;
};

constexpr std::array<SiteEntry, kSiteCount> kSites{{
    {"bing", "www.bing.com", "http://www.bing.com/images"},
    {"google", "images.google.com", "http://images.google.com"},
    {"baidu", "image.baidu.com", "http://image.baidu.com"},
}};

std::array<std::string, kSiteCount>& StartPageOverrides() {
  static std::array<std::string, kSiteCount> overrides;
  return overrides;
}

}  // namespace

bool IsSiteIndex(int index) { return index >= 0 && index < kSiteCount; }

std::string SiteName(int index) {
  assert(IsSiteIndex(index));
  return kSites[static_cast<size_t>(index)].name;
}

std::string SiteLabel(int index) {
  assert(IsSiteIndex(index));
  return kSites[static_cast<size_t>(index)].label;
}

std::string SiteStartPage(int index) {
  assert(IsSiteIndex(index));
  const std::string& replacement = StartPageOverrides()[static_cast<size_t>(index)];
  return replacement.empty() ? kSites[static_cast<size_t>(index)].startPage : replacement;
}

std::string SiteMoreResultsSelector(int index) {
  assert(IsSiteIndex(index));
  static constexpr std::array<const char*, kSiteCount> kSelectors{
      "a.btn_seemore",  // Bing's "See more images" link
      "input.mye4qd",   // Google's "Show more results" button
      "",               // Baidu keeps adding results as the page scrolls
  };
  return kSelectors[static_cast<size_t>(index)];
}

void SetSiteStartPageForTesting(int index, const std::string& address) {
  assert(IsSiteIndex(index));
  StartPageOverrides()[static_cast<size_t>(index)] = address;
}

}  // namespace pixhaul
