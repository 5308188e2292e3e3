// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// What a row of the site table holds (harvest/site_rows.h): everything that is particular to
// one image-search site. Constant data; any thread.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "harvest/address_decoding.h"

namespace pixhaul {

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

}  // namespace pixhaul
