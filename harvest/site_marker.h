// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// SiteMarker: the fixed text that introduces an image address on each site's result page, and
// where after it the address begins.
#pragma once

#include <cstddef>
#include <string_view>

namespace pixhaul {

// For Google and Baidu the skip stops short of the marker's end, so the "http" the marker ends
// with starts the address; for Bing it also drops the one byte after the marker (normally the
// opening quote).
struct SiteMarker {
  std::string_view marker;  // empty for no site: it never matches
  size_t skip = 0;          // from the marker's first byte to the address's first byte
};

// The marker of site `siteIndex` (0 Bing, 1 Google, 2 Baidu); an empty marker for any other.
SiteMarker MarkerForSite(int siteIndex);

}  // namespace pixhaul
