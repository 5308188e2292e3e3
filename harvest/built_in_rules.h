// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The program's own current-layout rules for the three sites, used for every site a rules file
// does not name. They follow the result pages the sites serve today: Bing's "murl" inside each
// result's m attribute (and the imgurl of its earlier attribute), the ["address",height,width]
// arrays of Google's inline scripts, and Baidu's original addresses (deciphered), its older
// data-objurl attribute, then its own copies.
//
// Pure data and functions over it; safe on any thread.
#pragma once

#include <string>
#include <vector>

#include "harvest/address_decoding.h"
#include "harvest/address_rule.h"

namespace pixhaul {

// One built-in rule as text, as a rules file would hold it.
struct RuleText {
  std::string expression;
  AddressDecoding decoding = AddressDecoding::kNone;
  std::vector<std::string> exclusions;
};

// The built-in rules of site `siteIndex` (0 Bing, 1 Google, 2 Baidu) as text, in order; none
// for any other index.
const std::vector<RuleText>& BuiltInRuleTexts(int siteIndex);

// The same rules compiled, named "built-in rule N for SITE". Raises std::logic_error if one of
// them does not compile (a fault of the program, caught by its tests).
SiteRules BuiltInRules(int siteIndex);

// The built-in rules of every site written as a rules file, with a comment line at the top:
// the example that the manual and pixhaul-cli --help show.
std::string BuiltInRulesFileText();

}  // namespace pixhaul
