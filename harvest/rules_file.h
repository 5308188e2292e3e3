// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The rules file: the user's own current-layout rules, which replace the built-in ones for the
// sites it names. It lives beside the settings file and is read the way the settings file's
// INI accessor reads:
//
//   [www.bing.com]                 one section per site, named by its selector label
//   Rule1=EXPRESSION               rules numbered 1, 2, 3... without gaps, tried in order
//   Decoding1=html                 none (the default), html, json or baidu
//   Exclude1.1=EXPRESSION          the rule's exclusions, numbered 1, 2, 3... without gaps
//
// Names of sections and keys ignore letter case; a value is the rest of its line after the
// first "=", blanks at both ends dropped, at most 2046 characters, used as written (no quotes).
// A section with at least one key names its site, and its rules replace the built-in ones. Any
// fault in a section - an invalid expression, an unknown decoding or key, a gap in the
// numbers, a key given twice, more than 64 rules or 64 exclusions of a rule - leaves that site
// on its built-in rules; the first 20 faults of a section are reported and the rest counted.
// A section that names no site is a fault naming its line (its keys are not used), and so is
// a site's section given twice (the site keeps its built-in rules).
// The file as a whole must be a regular file of at most 1 MiB whose expressions take at most
// 16 MiB compiled; otherwise, or when memory runs out while it is compiled, every site keeps
// its built-in rules and that one fault is reported. Loading is stateless; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "harvest/address_rule.h"
#include "harvest/site_table.h"

namespace pixhaul {

inline constexpr const char* kRulesFileName = "rules.ini";

// Rules and exclusions per site and per rule that a file may hold.
inline constexpr size_t kMaxRulesPerSite = 64;
inline constexpr size_t kMaxExclusionsPerRule = 64;

// The rules file that belongs with the settings file `settingsFilePath`: kRulesFileName in the
// same folder. Empty when `settingsFilePath` is empty.
std::string RulesFileBesideSettings(const std::string& settingsFilePath);

// The key names: "Rule<n>", "Decoding<n>", "Exclude<n>.<m>".
std::string RuleKey(size_t n);
std::string DecodingKey(size_t n);
std::string ExclusionKey(size_t n, size_t m);

// Where a front end looks for the rules file. `required`: the user named the file, so its
// absence is a fault; otherwise a missing file means no file. An empty path means none.
struct RulesFileLocation {
  std::string path;
  bool required = false;
};

struct RulesFileContent {
  // The rules of each site the file names without fault; nothing for the others.
  std::array<std::optional<SiteRules>, kSiteCount> sites;
  // One line per fault: "FILE: [SECTION] KEY: what is wrong; the built-in rules are used for
  // SITE", "FILE: line N: what is wrong; ..." or "FILE: why it cannot be read; ...".
  std::vector<std::string> problems;
};

// The built-in rules of every site written as a rules file, with a comment line at the top:
// the example that the manual and pixhaul-cli --help show.
std::string BuiltInRulesFileText();

// Reads and compiles the rules file at `location`. Never raises.
RulesFileContent LoadRulesFile(const RulesFileLocation& location);

}  // namespace pixhaul
