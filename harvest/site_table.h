// The three image-search sites the program knows, and the process-wide index of the chosen one.
//
// The table is fixed: a site's selector label and the start page loaded into the web view.
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

// The selector label of site `index` (its host name). Precondition: IsSiteIndex(index).
std::string SiteLabel(int index);

// The start page of site `index`, or the test replacement set below. Precondition:
// IsSiteIndex(index).
std::string SiteStartPage(int index);

// Replaces the start page of site `index` for the rest of the process (tests point the sites
// at loopback servers with this); an empty address restores the built-in one. Main thread only.
void SetSiteStartPageForTesting(int index, const std::string& address);

}  // namespace pixhaul
