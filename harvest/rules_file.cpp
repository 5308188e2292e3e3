// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/rules_file.h"

#include <map>
#include <new>
#include <set>
#include <span>
#include <string_view>

#include "framework/ascii_text.h"
#include "framework/file_utils.h"
#include "framework/ini_file.h"
#include "framework/integer_text.h"
#include "harvest/rules_file_text.h"

namespace pixhaul {

namespace {

// Faults reported for one section before the rest are only counted: a file of a megabyte of
// faulty lines would otherwise give a hundred thousand messages.
constexpr size_t kMaxReportedFaults = 20;

// All the compiled expressions of one file together may take this much memory. One line of a
// few bytes can compile to tens of kilobytes (a repeated group is written out), and a file may
// hold thousands of lines; the built-in rules take about a kilobyte each.
constexpr size_t kMaxCompiledBytes = size_t{16} << 20;

// Raised when the file's expressions go past kMaxCompiledBytes.
struct CompiledTooLarge {};

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

class SiteSectionReader {
 public:
  // `compiledBytes` counts what the file's expressions take, across its sections.
  SiteSectionReader(const std::string& path, const RulesFileText& text, SiteId site,
                    size_t& compiledBytes, std::vector<std::string>& problems)
      : path_(path),
        text_(text),
        site_(site),
        section_(SiteLabel(site)),
        compiledBytes_(compiledBytes),
        problems_(problems) {}

  // The site's rules, or nothing when the file does not name the site or names it with a
  // fault (each fault is reported). Raises CompiledTooLarge.
  std::optional<SiteRules> Read() {
    const std::vector<RulesFileKey> keys = text_.SectionKeys(section_);
    if (keys.empty()) return std::nullopt;  // the site is not named
    // Rule number -> the exclusion numbers it has; and which numbers have a rule.
    std::map<size_t, std::set<size_t>> exclusions;
    std::set<size_t> ruleNumbers;
    std::set<size_t> decodingNumbers;
    for (const auto& [keyText, value] : keys) {
      const std::string key(keyText);
      const std::optional<KeyName> name = ParseKey(key);
      if (!name) {
        Fault(key, "unknown key (keys are RuleN, DecodingN and ExcludeN.M)");
        continue;
      }
      // The first line of a key gives its value, as for the settings file.
      if (!values_.emplace(name->canonical, value).second) {
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
    if (faults_ > kMaxReportedFaults) {
      problems_.push_back(path_ + ": [" + section_ +
                          "]: " + std::to_string(faults_ - kMaxReportedFaults) +
                          " more faults; the built-in rules are used for " + SiteLabel(site_));
    }
    if (faults_ > 0 || rules.rules.empty()) return std::nullopt;
    return rules;
  }

 private:
  std::optional<AddressRule> ReadRule(size_t n, size_t exclusionCount) {
    const std::string name = Name(RuleKey(n));
    const std::string_view expressionText = *Value(RuleKey(n));
    std::string error;
    std::optional<RegexPattern> expression;
    if (CheckLength(RuleKey(n), expressionText)) {
      expression = Counted(CompileRuleExpression(expressionText, error));
      if (!expression) Fault(RuleKey(n), error);
    }

    AddressDecoding decoding = AddressDecoding::kNone;
    if (const std::optional<std::string_view> decodingText = Value(DecodingKey(n))) {
      if (const std::optional<AddressDecoding> parsed = ParseAddressDecoding(*decodingText)) {
        decoding = *parsed;
      } else {
        Fault(DecodingKey(n), "unknown decoding \"" + std::string(*decodingText) +
                                  "\" (none, html, json or baidu)");
      }
    }

    std::vector<RegexPattern> exclusions;
    std::vector<std::string> exclusionNames;
    for (size_t m = 1; m <= exclusionCount; ++m) {
      const std::string key = ExclusionKey(n, m);
      const std::optional<std::string_view> text = Value(key);
      if (!text) continue;  // a gap, reported already
      if (!CheckLength(key, *text)) continue;
      if (text->empty()) {
        Fault(key, "the expression is empty");
        continue;
      }
      if (std::optional<RegexPattern> exclusion = Counted(CompileExclusion(*text, error))) {
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
  bool CheckLength(const std::string& key, std::string_view value) {
    if (value.size() < TIniFile::kMaxValueLength) return true;
    Fault(key, "the value is too long (at most " + std::to_string(TIniFile::kMaxValueLength - 1) +
                   " characters)");
    return false;
  }

  // The value of a key of this section, or nothing when the section does not hold it.
  std::optional<std::string_view> Value(const std::string& canonicalKey) const {
    const auto found = values_.find(canonicalKey);
    if (found == values_.end()) return std::nullopt;
    return found->second;
  }

  // Adds what a compiled expression takes to the file's count.
  std::optional<RegexPattern> Counted(std::optional<RegexPattern> pattern) {
    if (pattern) {
      compiledBytes_ += pattern->CompiledBytes();
      if (compiledBytes_ > kMaxCompiledBytes) throw CompiledTooLarge{};
    }
    return pattern;
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

  std::string Name(const std::string& key) const { return path_ + ": [" + section_ + "] " + key; }

  void Fault(const std::string& key, const std::string& what) {
    if (++faults_ > kMaxReportedFaults) return;
    problems_.push_back(Name(key) + ": " + what + "; the built-in rules are used for " +
                        SiteLabel(site_));
  }

  const std::string& path_;
  const RulesFileText& text_;
  SiteId site_;
  std::string section_;
  size_t& compiledBytes_;
  std::vector<std::string>& problems_;
  std::map<std::string, std::string_view> values_;  // canonical key name -> its first value
  size_t faults_ = 0;
};

// The site whose selector label `name` is (letter case ignored), or nothing.
std::optional<SiteId> SiteOfSection(std::string_view name) {
  for (const SiteId site : AllSites()) {
    if (SameText(name, SiteLabel(site))) return site;
  }
  return std::nullopt;
}

std::string KnownSections() {
  std::string known;
  for (const SiteId site : AllSites()) {
    const int row = site.Row();
    known += (row == 0 ? "[" : row + 1 == kSiteCount ? " and [" : ", [") + SiteLabel(site) + "]";
  }
  return known;
}

// A section must name a site, and each site once: a misspelt or repeated section would
// otherwise leave rules unused without a word. A site named twice keeps its built-in rules.
std::array<bool, kSiteCount> CheckSections(const std::string& path, const RulesFileText& text,
                                           std::vector<std::string>& problems) {
  std::array<bool, kSiteCount> refused{};
  std::array<size_t, kSiteCount> firstLine{};
  for (const RulesFileSection& section : text.Sections()) {
    const std::string at = path + ": line " + std::to_string(section.line) + ": ";
    const std::optional<SiteId> site = SiteOfSection(section.name);
    if (!site) {
      problems.push_back(at + "unknown section [" + std::string(section.name) +
                         "] (the sections are " + KnownSections() + "); its keys are not used");
      continue;
    }
    const size_t index = site->Slot();
    if (firstLine[index] == 0) {
      firstLine[index] = section.line;
      continue;
    }
    problems.push_back(at + "[" + std::string(section.name) + "] is given a second time (first " +
                       "on line " + std::to_string(firstLine[index]) +
                       "); the built-in rules are used for " + SiteLabel(*site));
    refused[index] = true;
  }
  return refused;
}

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
  const std::string forEverySite = "; the built-in rules are used for every site";
  try {
    const RulesFileText text(location.path);
    if (text.Missing() && !location.required) return content;
    if (!text.Fault().empty()) {
      content.problems.push_back(location.path + ": " + text.Fault() + forEverySite);
      return content;
    }
    const std::array<bool, kSiteCount> refused =
        CheckSections(location.path, text, content.problems);
    size_t compiledBytes = 0;
    for (const SiteId site : AllSites()) {
      if (refused[site.Slot()]) continue;
      content.sites[site.Slot()] =
          SiteSectionReader(location.path, text, site, compiledBytes, content.problems).Read();
    }
  } catch (const CompiledTooLarge&) {
    content = RulesFileContent();
    content.problems.push_back(location.path + ": the expressions take more than " +
                               std::to_string(kMaxCompiledBytes >> 20) + " MiB once compiled" +
                               forEverySite);
  } catch (const std::bad_alloc&) {
    // What was compiled so far is freed as the stack unwinds, so there is room to say so.
    content = RulesFileContent();
    content.problems.push_back(location.path + ": there is not enough memory for the rules" +
                               forEverySite);
  }
  return content;
}

std::string BuiltInRulesFileText() {
  std::string text = "; The built-in rules, written as a rules file.\n";
  for (const SiteId site : AllSites()) {
    text += "\n[" + SiteLabel(site) + "]\n";
    const std::span<const RuleText> rules = BuiltInRuleTexts(site);
    for (size_t n = 0; n < rules.size(); ++n) {
      text += RuleKey(n + 1) + "=" + std::string(rules[n].expression) + "\n";
      text += DecodingKey(n + 1) + "=" + AddressDecodingName(rules[n].decoding) + "\n";
      for (size_t m = 0; m < rules[n].exclusions.size(); ++m) {
        text += ExclusionKey(n + 1, m + 1) + "=" + std::string(rules[n].exclusions[m]) + "\n";
      }
    }
  }
  return text;
}

}  // namespace pixhaul
