// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// AddressRule: one current-layout rule of a site - a regular expression whose one capture group
// is an image address, how that address is decoded, and the expressions an address must not
// match (a site's own thumbnails and icons). A site has an ordered list of rules; SiteRules is
// that list and where it came from.
//
// A rule owns compiled expressions (see RegexPattern): it moves but is not copied, and one
// thread at a time may use it.
//
// Tests: tests/harvest/rules_scan_test.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "harvest/address_decoding.h"
#include "harvest/regex_pattern.h"
#include "harvest/rules_pass_deadline.h"

namespace pixhaul {

struct AddressRule {
  RegexPattern expression;  // exactly one capture group: the address
  AddressDecoding decoding = AddressDecoding::kNone;
  std::vector<RegexPattern> exclusions;
  // How a report names the rule and each exclusion, such as "[www.bing.com] Rule2" or
  // "built-in rule 1 for www.bing.com".
  std::string name;
  std::vector<std::string> exclusionNames;
};

// A site's rules, in the order they are tried.
struct SiteRules {
  std::vector<AddressRule> rules;
  bool fromFile = false;  // false: the program's built-in rules
};

// The expression of a rule: valid, and with exactly one capture group. Nothing, with `error`
// saying what is wrong, otherwise.
std::optional<RegexPattern> CompileRuleExpression(std::string_view expression, std::string& error);
// An exclusion expression: any valid expression. Nothing, with `error` set, otherwise.
std::optional<RegexPattern> CompileExclusion(std::string_view expression, std::string& error);

// What becomes of one captured text under a rule.
struct CaptureVerdict {
  enum class Kind {
    kKeep,    // `address` goes to the list
    kDrop,    // not an address to fetch (no http:// or https:// and host, a control byte, excluded)
    kFailed,  // an exclusion stopped at the limits; `failure` names it and says why
  };
  Kind kind = Kind::kDrop;
  std::string address;
  std::string failure;
};

// How a report says that `name`'s expression stopped at the engine's limits for `reason`.
std::string StoppedAtLimits(const std::string& name, const std::string& reason);

// Decodes `captured` by the rule's decoding and keeps it when it begins with "http://" or
// "https://" (any letter case) and a host (not "/", "?" or "#"), holds no control byte (below 32,
// or 127: a line of the list file could not hold a line break, and no address holds the others) and
// matches none of the rule's exclusions.
CaptureVerdict JudgeCapture(AddressRule& rule, std::string_view captured);
// The same into `verdict`, reusing its storage (for a scan that judges many captures). With a
// `deadline` that has passed before an exclusion is tried, the verdict is kFailed, naming that
// exclusion.
void JudgeCapture(AddressRule& rule, std::string_view captured, CaptureVerdict& verdict,
                  const RulesPassDeadline* deadline = nullptr);

}  // namespace pixhaul
