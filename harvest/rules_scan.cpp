// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/rules_scan.h"

#include <algorithm>

#include "harvest/page_text_stream.h"
#include "harvest/unique_address_list.h"

namespace pixhaul {

namespace {

using Outcome = RegexPattern::Outcome;

// Bytes kept before a resume position beyond the expression's own lookbehind, for assertions
// that look at the byte before (\b, a multi-line ^ after CR LF).
constexpr size_t kContextBytes = 16;

// One pass of `rule` over the page; the addresses it keeps go to `list`. Returns what stopped
// the rule, or nothing when the pass went through.
std::optional<std::string> ScanWithRule(PageTextStream& page, AddressRule& rule,
                                        UniqueAddressList& list) {
  const size_t context = rule.expression.MaxLookbehind() + kContextBytes;
  // The text before a position is kept for the expression's look back, as far as it exists.
  const auto keepBefore = [&](size_t position) {
    return std::max(page.Begin(), position - std::min(position, context));
  };
  size_t pos = 0;  // where the next search starts, as a text position
  CaptureVerdict verdict;
  for (;;) {
    if (pos > page.End()) {  // an empty match at the end moved past it
      if (page.Complete()) return std::nullopt;
      page.More(keepBefore(page.End()));
      continue;
    }
    const size_t begin = page.Begin();
    const size_t end = page.End();
    const std::string_view window = page.View(begin, end);
    RegexPattern::Result found;
    bool decided = false;
    if (page.Complete()) {
      found = rule.expression.Search(window, pos - begin, false, begin == 0);
      decided = true;
    } else if (rule.expression.MatchesAreLocal() && end - pos > kMaxMatchBytes) {
      // Before `settled` no match can depend on the text still to come: one that ran on past
      // the window's end would be longer than any match is allowed to be. So the bulk of the
      // window is searched the fast way, and only its last part in the way that reports
      // matches running into the end.
      const size_t settled = end - kMaxMatchBytes;
      found = rule.expression.SearchAwayFromTheEnd(window, pos - begin, begin == 0);
      decided = found.outcome == Outcome::kFailed ||
                (found.outcome == Outcome::kMatch && begin + found.start < settled);
      if (!decided) pos = settled;
    }
    if (!decided) found = rule.expression.Search(window, pos - begin, true, begin == 0);
    switch (found.outcome) {
      case Outcome::kFailed:
        return StoppedAtLimits(rule.name, found.failure);
      case Outcome::kMatch: {
        if (found.end - found.start > kMaxMatchBytes) {
          // As when it has not ended yet (below): whatever the window holds, a match this long
          // is no address, and none starts here.
          pos = begin + found.start + 1;
          break;
        }
        if (found.groupEnd > found.groupStart) {
          JudgeCapture(rule, page.View(begin + found.groupStart, begin + found.groupEnd), verdict);
          if (verdict.kind == CaptureVerdict::Kind::kFailed) return verdict.failure;
          if (verdict.kind == CaptureVerdict::Kind::kKeep) list.Add(verdict.address);
        }
        // An empty match moves on by one byte, as every global search does.
        pos = std::max(pos + 1, begin + found.end);
        break;
      }
      case Outcome::kNoMatch:
        if (page.Complete()) return std::nullopt;
        // Nothing can start before the end; only the look back is kept.
        pos = end;
        page.More(keepBefore(end));
        break;
      case Outcome::kPartial: {
        const size_t start = std::max(pos, begin + found.start);
        if (end - start > kMaxMatchBytes) {
          // Too long to be an address: no match starts here.
          pos = start + 1;
          break;
        }
        pos = start;
        page.More(keepBefore(start));
        break;
      }
    }
  }
}

}  // namespace

RulesScanResult ScanPageWithRules(const PageFile& pageFile, const FileTarget& listFile,
                                  std::span<AddressRule> rules, size_t chunkBytes) {
  RulesScanResult result;
  for (size_t i = 0; i < rules.size(); ++i) {
    PageTextStream page(pageFile, chunkBytes);  // the page first: no list when it cannot be read
    // A list that is not finished goes with the object and leaves the list file as it was.
    UniqueAddressList list(listFile);
    if (std::optional<std::string> failure = ScanWithRule(page, rules[i], list)) {
      result.failure = RulesScanResult::Failure{i, std::move(*failure)};
      return result;
    }
    if (list.Count() > 0) {
      list.Finish();
      result.count = static_cast<int>(list.Count());
      result.ruleIndex = static_cast<int>(i);
      return result;
    }
  }
  return result;
}

}  // namespace pixhaul
