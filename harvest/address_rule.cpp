// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/address_rule.h"

#include "framework/ascii_text.h"

namespace pixhaul {

namespace {

// Without an early exit the loop compiles to vector instructions; addresses are short.
bool HasControlByte(std::string_view text) {
  bool found = false;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    found |= byte < 32 || byte == 127;
  }
  return found;
}

// "http://" or "https://" in any letter case, then at least one byte of the host: a script that
// builds an address in code ("https://"+host) leaves the bare scheme in a rule's capture.
bool BeginsWithWebAddress(std::string_view text) {
  size_t host = 0;
  if (StartsWithText(text, "http://")) {
    host = 7;
  } else if (StartsWithText(text, "https://")) {
    host = 8;
  } else {
    return false;
  }
  return host < text.size() && text[host] != '/' && text[host] != '?' && text[host] != '#';
}

}  // namespace

std::optional<RegexPattern> CompileRuleExpression(std::string_view expression, std::string& error) {
  if (expression.empty()) {
    error = "the expression is empty";
    return std::nullopt;
  }
  std::optional<RegexPattern> pattern = CompileExclusion(expression, error);
  if (!pattern) return std::nullopt;
  const uint32_t groups = pattern->CaptureCount();
  if (groups != 1) {
    error = "the expression must have exactly one capture group (the address), it has " +
            std::to_string(groups) + "; write (?:...) for a group that captures nothing";
    return std::nullopt;
  }
  return pattern;
}

std::optional<RegexPattern> CompileExclusion(std::string_view expression, std::string& error) {
  std::string engineError;
  std::optional<RegexPattern> pattern = RegexPattern::Compile(expression, engineError);
  if (!pattern) error = "invalid expression: " + engineError;
  return pattern;
}

std::string StoppedAtLimits(const std::string& name, const std::string& reason) {
  return name + ": the expression stopped at the regular-expression engine's limits (" + reason +
         ")";
}

CaptureVerdict JudgeCapture(AddressRule& rule, std::string_view captured) {
  CaptureVerdict verdict;
  JudgeCapture(rule, captured, verdict);
  return verdict;
}

void JudgeCapture(AddressRule& rule, std::string_view captured, CaptureVerdict& verdict,
                  const RulesPassDeadline* deadline) {
  verdict.kind = CaptureVerdict::Kind::kDrop;
  verdict.failure.clear();
  DecodeAddress(rule.decoding, captured, verdict.address);
  const std::string_view address = verdict.address;
  if (!BeginsWithWebAddress(address)) return;
  if (HasControlByte(address)) return;
  for (size_t i = 0; i < rule.exclusions.size(); ++i) {
    // A rule may have many exclusions, each searching the whole address.
    if (deadline && deadline->Passed()) {
      verdict.kind = CaptureVerdict::Kind::kFailed;
      verdict.failure = deadline->Stopped(rule.exclusionNames[i]);
      return;
    }
    const RegexPattern::Result found = rule.exclusions[i].Find(address);
    if (found.outcome == RegexPattern::Outcome::kFailed) {
      verdict.kind = CaptureVerdict::Kind::kFailed;
      verdict.failure = StoppedAtLimits(rule.exclusionNames[i], found.failure);
      return;
    }
    if (found.outcome == RegexPattern::Outcome::kMatch) return;
  }
  verdict.kind = CaptureVerdict::Kind::kKeep;
}

}  // namespace pixhaul
