// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The three image-search sites the program knows, and the process-wide index of the chosen one.
//
// The table is fixed: a site's short name (what pixhaul-cli's --site takes), its selector label
// (its host name, which also names its section of a rules file) and the start page loaded into
// the web view. It is the one place that names the sites.
// `CurrentSite` is the site whose extraction marker a run uses (0 Bing, 1 Google, 2 Baidu, -1
// none); the site selector sets it, and only the main thread reads or writes it. The start
// pages can be replaced by tests so that no test ever asks the web view for an outside address.
#pragma once

#include <string>

namespace pixhaul {

inline constexpr int kSiteCount = 3;
inline constexpr int kNoSite = -1;

// The selected site; 0 when the program starts. Main thread only.
extern int CurrentSite;

// True for 0, 1 and 2.
bool IsSiteIndex(int index);

// The short name of site `index`: "bing", "google" or "baidu". Precondition: IsSiteIndex(index).
std::string SiteName(int index);

// The selector label of site `index` (its host name). Precondition: IsSiteIndex(index).
std::string SiteLabel(int index);

// The start page of site `index`, or the test replacement set below. Precondition:
// IsSiteIndex(index).
std::string SiteStartPage(int index);

// The CSS selector of the control with which site `index` offers more results once its page has
// stopped growing by scrolling ("Show more results", "See more images"), or empty when it has
// none. It is data, like the current-layout rules: the sites rename such controls now and then.
// Precondition: IsSiteIndex(index).
std::string SiteMoreResultsSelector(int index);

// Replaces the start page of site `index` for the rest of the process (tests point the sites
// at loopback servers with this); an empty address restores the built-in one. Main thread only.
void SetSiteStartPageForTesting(int index, const std::string& address);

}  // namespace pixhaul
