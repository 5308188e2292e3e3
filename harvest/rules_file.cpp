// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/rules_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string_view>

#include "framework/ascii_text.h"
#include "framework/file_utils.h"
#include "framework/ini_file.h"
#include "framework/integer_text.h"
#include "framework/posix_file.h"

namespace pixhaul {

namespace {

// A value cannot hold a line break, so this default tells a missing key from an empty one.
const std::string kAbsentValue = "\n";

// A key of a site's section, parsed: RuleN, DecodingN or ExcludeN.M in any letter case, the
// numbers written without leading zeros.
struct KeyName {
  enum Kind { kRule, kDecoding, kExclusion };
  Kind kind = kRule;
  size_t rule = 0;
  size_t exclusion = 0;
  std::string canonical;  // as RuleKey and friends write it
};

// The decimal number at the front of `text` (at least 1, no leading zero, a few digits), or 0;
// `text` keeps what follows it.
size_t TakeNumber(std::string_view& text) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == 0 || digits > 6 || text[0] == '0') return 0;
  const auto number = static_cast<size_t>(*ParseDecimal(text.substr(0, digits)));
  text.remove_prefix(digits);
  return number;
}

bool TakePrefixNoCase(std::string_view& text, std::string_view prefix) {
  if (!StartsWithText(text, prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

std::optional<KeyName> ParseKey(std::string_view key) {
  KeyName name;
  if (TakePrefixNoCase(key, "Rule")) {
    name.kind = KeyName::kRule;
  } else if (TakePrefixNoCase(key, "Decoding")) {
    name.kind = KeyName::kDecoding;
  } else if (TakePrefixNoCase(key, "Exclude")) {
    name.kind = KeyName::kExclusion;
  } else {
    return std::nullopt;
  }
  name.rule = TakeNumber(key);
  if (name.rule == 0) return std::nullopt;
  if (name.kind == KeyName::kExclusion) {
    if (key.empty() || key.front() != '.') return std::nullopt;
    key.remove_prefix(1);
    name.exclusion = TakeNumber(key);
    if (name.exclusion == 0) return std::nullopt;
  }
  if (!key.empty()) return std::nullopt;
  name.canonical = name.kind == KeyName::kRule       ? RuleKey(name.rule)
                   : name.kind == KeyName::kDecoding ? DecodingKey(name.rule)
                                                     : ExclusionKey(name.rule, name.exclusion);
  return name;
}

// Why `path` cannot be read as a rules file, or nothing when it can (or, unless `required`,
// when it does not exist at all).
std::optional<std::string> UnreadableReason(const RulesFileLocation& location, bool& exists) {
  struct stat info {};
  exists = ::stat(location.path.c_str(), &info) == 0;
  if (!exists) {
    if (!location.required && (errno == ENOENT || errno == ENOTDIR)) return std::nullopt;
    return std::strerror(errno);
  }
  if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
  const FileDescriptor file(OpenRetrying(location.path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) return std::strerror(errno);
  return std::nullopt;
}

class SiteSectionReader {
 public:
  SiteSectionReader(const TIniFile& ini, int site, std::vector<std::string>& problems)
      : ini_(ini), site_(site), section_(SiteLabel(site)), problems_(problems) {}

  // The site's rules, or nothing when the file does not name the site or names it with a
  // fault (each fault is reported).
  std::optional<SiteRules> Read() {
    const std::vector<std::string> keys = ini_.ReadSectionKeys(section_);
    if (keys.empty()) return std::nullopt;  // the site is not named
    // Rule number -> the exclusion numbers it has; and which numbers have a rule.
    std::map<size_t, std::set<size_t>> exclusions;
    std::set<size_t> ruleNumbers;
    std::set<size_t> decodingNumbers;
    std::set<std::string> seen;
    for (const std::string& key : keys) {
      const std::optional<KeyName> name = ParseKey(key);
      if (!name) {
        Fault(key, "unknown key (keys are RuleN, DecodingN and ExcludeN.M)");
        continue;
      }
      if (!seen.insert(name->canonical).second) {
        Fault(key, "the key is given more than once");
        continue;
      }
      if (name->rule > kMaxRulesPerSite) {
        Fault(key, "at most " + std::to_string(kMaxRulesPerSite) + " rules per site");
      } else if (name->exclusion > kMaxExclusionsPerRule) {
        Fault(key, "at most " + std::to_string(kMaxExclusionsPerRule) + " exclusions per rule");
      } else if (name->kind == KeyName::kRule) {
        ruleNumbers.insert(name->rule);
      } else if (name->kind == KeyName::kDecoding) {
        decodingNumbers.insert(name->rule);
      } else {
        exclusions[name->rule].insert(name->exclusion);
      }
    }
    // Nothing for a rule that is not there, and every number from 1 up, for rules and for each
    // rule's exclusions.
    for (const size_t n : decodingNumbers) {
      if (!ruleNumbers.contains(n)) Fault(DecodingKey(n), "there is no " + RuleKey(n));
    }
    for (const auto& [n, numbers] : exclusions) {
      if (!ruleNumbers.contains(n)) {
        Fault(ExclusionKey(n, *numbers.begin()), "there is no " + RuleKey(n));
      }
    }
    CheckNumbering(ruleNumbers, [](size_t n) { return RuleKey(n); });
    for (const auto& [rule, numbers] : exclusions) {
      const size_t n = rule;  // clang 14 cannot capture a structured binding
      CheckNumbering(numbers, [n](size_t m) { return ExclusionKey(n, m); });
    }

    SiteRules rules;
    rules.fromFile = true;
    for (const size_t n : ruleNumbers) {
      if (std::optional<AddressRule> rule = ReadRule(n, exclusions[n].size())) {
        rules.rules.push_back(std::move(*rule));
      }
    }
    if (faulty_ || rules.rules.empty()) return std::nullopt;
    return rules;
  }

 private:
  std::optional<AddressRule> ReadRule(size_t n, size_t exclusionCount) {
    const std::string name = Name(RuleKey(n));
    const std::string expressionText = Value(RuleKey(n));
    std::string error;
    std::optional<RegexPattern> expression;
    if (CheckLength(RuleKey(n), expressionText)) {
      expression = CompileRuleExpression(expressionText, error);
      if (!expression) Fault(RuleKey(n), error);
    }

    AddressDecoding decoding = AddressDecoding::kNone;
    const std::string decodingText = Value(DecodingKey(n));
    if (decodingText != kAbsentValue) {
      if (const std::optional<AddressDecoding> parsed = ParseAddressDecoding(decodingText)) {
        decoding = *parsed;
      } else {
        Fault(DecodingKey(n),
              "unknown decoding \"" + decodingText + "\" (none, html, json or baidu)");
      }
    }

    std::vector<RegexPattern> exclusions;
    std::vector<std::string> exclusionNames;
    for (size_t m = 1; m <= exclusionCount; ++m) {
      const std::string key = ExclusionKey(n, m);
      const std::string text = Value(key);
      if (text == kAbsentValue) continue;  // a gap, reported already
      if (!CheckLength(key, text)) continue;
      if (text.empty()) {
        Fault(key, "the expression is empty");
        continue;
      }
      if (std::optional<RegexPattern> exclusion = CompileExclusion(text, error)) {
        exclusions.push_back(std::move(*exclusion));
        exclusionNames.push_back(Name(key));
      } else {
        Fault(key, error);
      }
    }
    if (!expression) return std::nullopt;
    return AddressRule{std::move(*expression), decoding, std::move(exclusions), name,
                       std::move(exclusionNames)};
  }

  // A value as long as the accessor's limit may have been cut short: refuse it rather than use
  // a different expression than the one written.
  bool CheckLength(const std::string& key, const std::string& value) {
    if (value.size() < TIniFile::kMaxValueLength) return true;
    Fault(key, "the value is too long (at most " + std::to_string(TIniFile::kMaxValueLength - 1) +
                   " characters)");
    return false;
  }

  std::string Value(const std::string& key) const {
    return ini_.ReadString(section_, key, kAbsentValue);
  }

  // Numbers must run 1, 2, 3... : the first number after a gap is reported.
  template <class KeyOf>
  void CheckNumbering(const std::set<size_t>& numbers, KeyOf keyOf) {
    size_t expected = 1;
    for (const size_t n : numbers) {
      if (n != expected) {
        Fault(keyOf(n), keyOf(expected) + " is missing (numbers run 1, 2, 3... without gaps)");
        return;
      }
      ++expected;
    }
  }

  std::string Name(const std::string& key) const {
    return ini_.FileName() + ": [" + section_ + "] " + key;
  }

  void Fault(const std::string& key, const std::string& what) {
    faulty_ = true;
    problems_.push_back(Name(key) + ": " + what + "; the built-in rules are used for " +
                        SiteLabel(site_));
  }

  const TIniFile& ini_;
  int site_;
  std::string section_;
  std::vector<std::string>& problems_;
  bool faulty_ = false;
};

}  // namespace

std::string RulesFileBesideSettings(const std::string& settingsFilePath) {
  if (settingsFilePath.empty()) return "";
  return ExtractFilePath(settingsFilePath) + kRulesFileName;
}

std::string RuleKey(size_t n) { return "Rule" + std::to_string(n); }
std::string DecodingKey(size_t n) { return "Decoding" + std::to_string(n); }
std::string ExclusionKey(size_t n, size_t m) {
  return "Exclude" + std::to_string(n) + "." + std::to_string(m);
}

RulesFileContent LoadRulesFile(const RulesFileLocation& location) {
  RulesFileContent content;
  if (location.path.empty()) return content;
  bool exists = false;
  if (const std::optional<std::string> reason = UnreadableReason(location, exists)) {
    content.problems.push_back(location.path + ": the rules file cannot be read (" + *reason +
                               "); the built-in rules are used for every site");
    return content;
  }
  if (!exists) return content;
  const TIniFile ini(location.path);
  for (int site = 0; site < kSiteCount; ++site) {
    content.sites[static_cast<size_t>(site)] =
        SiteSectionReader(ini, site, content.problems).Read();
  }
  return content;
}

}  // namespace pixhaul
