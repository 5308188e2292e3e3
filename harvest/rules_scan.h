// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The current-layout scan: a site's rules applied to a saved page, the page streamed through
// the same reused window as the marker scan (the same text: lines ended by CR LF, nothing from
// the first NUL on).
//
// The rules are tried in order, each over the whole page; the first that yields any address
// writes the list file (decoded, checked, repeats left out, in page order) and ends the scan.
// When none does, or one stops at the engine's limits, the list file is left as it was, so a
// caller can keep a list it made before.
// An expression that runs into the end of the text read so far is resumed once more text is
// in (PCRE2's partial matching), so chunk borders change nothing. A match longer than
// kMaxMatchBytes is not looked for: the scan drops it and goes on after its start, which keeps
// memory bounded whatever the expression. An attempt from one start is given no more than a
// little beyond kMaxMatchBytes of text, so an assertion that looks farther ahead finds nothing
// there, and time is linear in the page size whatever the expression; quick for expressions
// whose attempts stop early, as the built-in ones do. The pass as a whole ends at its deadline
// (see rules_pass_deadline.h). Any single thread.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "framework/file_target.h"
#include "harvest/address_rule.h"
#include "harvest/page_text_stream.h"
#include "harvest/rules_pass_deadline.h"

namespace pixhaul {

inline constexpr size_t kMaxMatchBytes = 64 * 1024;

struct RulesScanResult {
  int count = 0;       // addresses written to the list file
  int ruleIndex = -1;  // the rule that gave them; -1 when no rule found an address
  // A rule that stopped at the engine's limits or at the deadline ends the scan, the list file
  // left alone: the index of that rule, and what stopped it ("NAME: reason").
  struct Failure {
    size_t ruleIndex = 0;
    std::string what;
  };
  std::optional<Failure> failure;
};

// Applies `rules` to `pageFile`, reading `chunkBytes` (at least 1) at a time, and writes the
// list to `listFile` when a rule finds an address (the file is replaced only then, and only
// when the list is complete); a rule still running at `deadline` stops. Raises EFOpenError
// "Cannot open file %s" when the page cannot be read, EFCreateError "Cannot create file %s"
// and EWriteError "Stream write error" for the list file.
RulesScanResult ScanPageWithRules(const PageFile& pageFile, const FileTarget& listFile,
                                  std::span<AddressRule> rules, size_t chunkBytes,
                                  const RulesPassDeadline& deadline = RulesPassDeadline());

}  // namespace pixhaul
