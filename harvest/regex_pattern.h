// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// RegexPattern: one compiled regular expression and what a search with it needs, over PCRE2's
// 8-bit library with its JIT compiler when the machine has one (machine code is made at the
// first search; every expression a thread runs shares that thread's JIT stack).
//
// Expressions are Perl-style and work on bytes: a page is searched as it stands, whatever its
// encoding, and "(*UTF)" is refused. Any line break (CR, LF, CR LF) ends a line for "." and
// "$". The engine's limits are set low enough that a pathological expression (nested
// repetition on a long run of text) stops with a failure instead of hanging the program; a
// search that stops so reports kFailed with the engine's reason. An expression may lower them
// ("(*LIMIT_MATCH=10)" and the like) but never raise them, and the machine code honours the
// same match limit; in place of the depth limit it has its JIT stack, of bounded size.
//
// The object owns the compiled code, its match data and JIT stack: it may move but not be
// copied, and one thread at a time may search with it.
//
// Tests: tests/harvest/rules_scan_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pixhaul {

class RegexPattern {
 public:
  // How many backtracking steps one match attempt (at one start position) may take, and how
  // much memory its backtracking may use.
  static constexpr uint32_t kMatchLimit = 1'000'000;
  static constexpr uint32_t kDepthLimit = 100'000;
  static constexpr uint32_t kHeapLimitKiB = 16 * 1024;
  static constexpr size_t kJitStackBytes = 8 << 20;

  enum class Outcome {
    kMatch,
    kNoMatch,  // nothing matches from the start offset on, however the text continues
    kPartial,  // a match from `start` on ran into the end of the subject: more text may decide
    kFailed,   // the engine stopped at one of its limits (or failed); `failure` says why
  };

  struct Result {
    Outcome outcome = Outcome::kNoMatch;
    // kMatch: the whole match. kPartial: `start` is where the unfinished match began.
    size_t start = 0;
    size_t end = 0;
    // kMatch: the first capture group, [groupStart, groupEnd); empty when the group is unset.
    size_t groupStart = 0;
    size_t groupEnd = 0;
    std::string failure;  // kFailed: the engine's message, such as "match limit exceeded"
  };

  // Compiles `expression`. When it is not valid, returns nothing and sets `error` to the
  // engine's message and the 1-based character where it noticed the fault. Raises
  // std::bad_alloc when memory runs out.
  static std::optional<RegexPattern> Compile(std::string_view expression, std::string& error);

  RegexPattern(RegexPattern&&) noexcept;
  RegexPattern& operator=(RegexPattern&&) noexcept;
  ~RegexPattern();

  // The number of capturing groups.
  uint32_t CaptureCount() const;
  // The memory the compiled expression takes, before any machine code is made for it.
  size_t CompiledBytes() const;
  // How many bytes before a start position the expression may look at (lookbehinds, \b).
  size_t MaxLookbehind() const;

  // `lastStart` of a search: matches may start anywhere from the start offset on.
  static constexpr size_t kAnyStart = static_cast<size_t>(-1);

  // Searches `subject` from byte `startOffset` on, for a match that starts at byte `lastStart`
  // at the latest (kNoMatch when none does; kPartial only for one that starts there or
  // before). `textContinues`: the subject is a window of a longer text that goes on after its
  // end, so a match that reaches the end comes back as kPartial rather than being decided
  // early. `startsText`: the subject's first byte is the first of the whole text (otherwise
  // "^" and "\A" cannot match there; a search from an offset above 0 sees the bytes before it
  // for lookbehinds).
  Result Search(std::string_view subject, size_t startOffset, bool textContinues, bool startsText,
                size_t lastStart = kAnyStart);

  // Searches as if the subject went on after its end with text nobody knows yet: "$" does not
  // match there, and a match that looks at the end may be missing or wrong. Only a match that
  // ends well before the end, of an expression whose MatchesAreLocal(), is the one a search of
  // the whole text would give; this search is several times faster than the one above with
  // `textContinues`.
  Result SearchAwayFromTheEnd(std::string_view subject, size_t startOffset, bool startsText,
                              size_t lastStart = kAnyStart);

  // True when whether and how the expression matches at a position is decided by the bytes
  // from there to the end of the match (and the look-behind before it): no look-ahead, no "\z",
  // "\Z" or "\G", no backtracking control verbs. Judged from the expression's text, erring
  // towards false.
  bool MatchesAreLocal() const;

  // True when the expression matches somewhere in `text` (a whole text); kFailed passes through
  // as a result whose `failure` is set, so the caller can tell "no" from "could not tell".
  Result Find(std::string_view text) { return Search(text, 0, false, true); }

 private:
  struct Compiled;
  explicit RegexPattern(std::unique_ptr<Compiled> compiled);
  Result Run(std::string_view subject, size_t startOffset, uint32_t options, size_t lastStart);

  std::unique_ptr<Compiled> compiled_;
};

}  // namespace pixhaul
