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

// How much text past its start an attempt is given: the longest match and a little for an
// assertion after it ("$", "\b", "(?=\")"). An attempt that ran into the end of the window
// would otherwise be tried again from the next start over the same text, and the window grows
// with each chunk; bounded so, a scan costs at most this much a start, whatever the expression.
constexpr size_t kRoomBytes = kMaxMatchBytes + kContextBytes;

// The start positions one search tries at most: the clock is read between searches, and every
// start may cost its room (and the engine's match limit).
constexpr size_t kStartsPerSearch = 4096;

// One pass of `rule` over the page; the addresses it keeps go to `list`. Returns what stopped
// the rule, or nothing when the pass went through.
std::optional<std::string> ScanWithRule(PageTextStream& page, AddressRule& rule,
                                        UniqueAddressList& list,
                                        const RulesPassDeadline& deadline) {
  const size_t context = rule.expression.MaxLookbehind() + kContextBytes;
  // The text before a position is kept for the expression's look back, as far as it exists.
  const auto keepBefore = [&](size_t position) {
    return std::max(page.Begin(), position - std::min(position, context));
  };
  size_t pos = 0;  // where the next search starts, as a text position
  CaptureVerdict verdict;
  for (;;) {
    if (deadline.Passed()) return deadline.Stopped(rule.name);
    if (pos > page.End()) {  // an empty match at the end moved past it
      if (page.Complete()) return std::nullopt;
      page.More(keepBefore(page.End()));
      continue;
    }
    const size_t begin = page.Begin();
    const size_t end = page.End();
    // The search tries the starts from `pos` to `last`; it is given the text up to `cut`, which
    // leaves each of them its room where the window holds that much.
    const size_t last = pos + kStartsPerSearch;
    const size_t cut = std::min(end, last + kRoomBytes);
    const bool textGoesOn = cut < end || !page.Complete();
    const std::string_view subject = page.View(begin, cut);
    const bool startsText = begin == 0;
    size_t decidedTo = last;  // the last start the search decides
    RegexPattern::Result found;
    if (!textGoesOn) {
      found = rule.expression.Search(subject, pos - begin, false, startsText, last - begin);
    } else if (rule.expression.MatchesAreLocal() && cut - pos > kMaxMatchBytes) {
      // A match from a start more than kMaxMatchBytes before `cut` cannot depend on the text
      // after it: one that ran on past it would be longer than any match may be. Such starts
      // are searched the fast way, the others in the way that reports matches running into the
      // end.
      decidedTo = std::min(last, cut - kMaxMatchBytes - 1);
      found =
          rule.expression.SearchAwayFromTheEnd(subject, pos - begin, startsText, decidedTo - begin);
    } else {
      found = rule.expression.Search(subject, pos - begin, true, startsText, last - begin);
    }
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
          JudgeCapture(rule, page.View(begin + found.groupStart, begin + found.groupEnd), verdict,
                       &deadline);
          if (verdict.kind == CaptureVerdict::Kind::kFailed) return verdict.failure;
          if (verdict.kind == CaptureVerdict::Kind::kKeep) list.Add(verdict.address);
        }
        // An empty match moves on by one byte, as every global search does.
        pos = std::max(pos + 1, begin + found.end);
        break;
      }
      case Outcome::kNoMatch:
        if (decidedTo < cut) {
          pos = decidedTo + 1;
          break;
        }
        if (page.Complete()) return std::nullopt;
        // Nothing can start before the end; only the look back is kept.
        pos = end;
        page.More(keepBefore(end));
        break;
      case Outcome::kPartial: {
        const size_t start = std::max(pos, begin + found.start);
        if (cut - start > kMaxMatchBytes) {
          // Too long to be an address: no match starts here.
          pos = start + 1;
          break;
        }
        // Short of its room only at the end of the window (`cut` is the window's end).
        pos = start;
        page.More(keepBefore(start));
        break;
      }
    }
  }
}

}  // namespace

RulesScanResult ScanPageWithRules(const PageFile& pageFile, const FileTarget& listFile,
                                  std::span<AddressRule> rules, size_t chunkBytes,
                                  const RulesPassDeadline& deadline) {
  RulesScanResult result;
  for (size_t i = 0; i < rules.size(); ++i) {
    PageTextStream page(pageFile, chunkBytes);  // the page first: no list when it cannot be read
    // A list that is not finished goes with the object and leaves the list file as it was.
    UniqueAddressList list(listFile);
    if (std::optional<std::string> failure = ScanWithRule(page, rules[i], list, deadline)) {
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
