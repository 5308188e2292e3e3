// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Fuzz target: the rules file reader. Any content loads without raising, and no part of it is
// dropped without a word: every fault names the file; a NUL byte is the one fault of the whole
// file, naming its line; a section that names no site, and a site's section given a second
// time, are reported first, in line order, naming their lines (checked against a literal
// reading of the lines); a site's first section with a key gives that site rules or a fault
// naming it; a site refused or faulty has no rules from the file. A UTF-8 byte-order mark in
// front changes nothing.
//
// Input: the rules file content.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/ascii_text.h"
#include "fuzz/fuzz_support.h"
#include "harvest/rules_file.h"
#include "harvest/rules_file_text.h"
#include "harvest/site_table.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view TrimSpaceOrTab(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The lines of `text`, each ended by CR LF, LF or a CR alone; a break at the very end starts
// no line.
std::vector<std::string_view> LiteralLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t stop = pos;
    while (stop < text.size() && text[stop] != '\r' && text[stop] != '\n') ++stop;
    lines.push_back(text.substr(pos, stop - pos));
    pos = stop;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

// The name of a section line: "[" after blanks, up to the first "]", blanks dropped.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = TrimSpaceOrTab(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return TrimSpaceOrTab(line.substr(1, close - 1));
}

bool IsKeyLine(std::string_view line) {
  line = TrimSpaceOrTab(line);
  return !line.empty() && line.front() != ';' && line.front() != '[' &&
         line.find('=') != std::string_view::npos;
}

int SectionSite(std::string_view name) {
  for (int site = 0; site < pixhaul::kSiteCount; ++site) {
    if (pixhaul::SameText(name, pixhaul::SiteLabel(*pixhaul::SiteOfRow(site)))) return site;
  }
  return -1;
}

pixhaul::RulesFileContent Load(const std::string& path, std::string_view bytes) {
  pixhaul::fuzz::WriteScratchFile(path, bytes);
  try {
    return pixhaul::LoadRulesFile({path, true});
  } catch (...) {
    FUZZ_CHECK(false, "loading the rules file raised");
  }
  return {};
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

void CheckShape(const std::string& path, std::string_view input,
                const pixhaul::RulesFileContent& content) {
  for (const std::string& problem : content.problems) {
    FUZZ_CHECK(StartsWith(problem, path + ": "), "a fault without the file's name: " + problem);
  }
  std::string_view text = input;
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  const std::vector<std::string_view> lines = LiteralLines(text);

  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) {
    const size_t line = LiteralLines(text.substr(0, nul + 1)).size();
    FUZZ_CHECK(content.problems.size() == 1, "a NUL byte gives one fault");
    FUZZ_CHECK(content.problems[0] == path + ": line " + std::to_string(line) +
                                          ": the rules file holds a NUL byte; the built-in "
                                          "rules are used for every site",
               content.problems[0]);
    for (const auto& site : content.sites) FUZZ_CHECK(!site, "rules from a file with a NUL");
    return;
  }
  // Compiled expressions beyond the file's allowance are the one fault of the whole file.
  if (content.problems.size() == 1 &&
      content.problems[0].find("once compiled; the built-in rules are used for every site") !=
          std::string::npos) {
    for (const auto& site : content.sites) FUZZ_CHECK(!site, "rules beyond the allowance");
    return;
  }

  // The sections, as the lines read.
  std::vector<std::string> sectionFaults;
  std::array<size_t, pixhaul::kSiteCount> firstLine{};
  std::array<bool, pixhaul::kSiteCount> refused{};
  std::array<bool, pixhaul::kSiteCount> hasKeys{};
  int current = -1;  // the site whose first section the lines are in, or -1
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string at = path + ": line " + std::to_string(n + 1) + ": ";
    if (const std::optional<std::string_view> name = SectionName(lines[n])) {
      current = -1;
      const int site = SectionSite(*name);
      if (site < 0) {
        sectionFaults.push_back(at + "unknown section [" + std::string(*name) + "]");
      } else if (firstLine[static_cast<size_t>(site)] == 0) {
        firstLine[static_cast<size_t>(site)] = n + 1;
        current = site;
      } else {
        sectionFaults.push_back(at + "[" + std::string(*name) +
                                "] is given a second time (first on line " +
                                std::to_string(firstLine[static_cast<size_t>(site)]) + ")");
        refused[static_cast<size_t>(site)] = true;
      }
    } else if (current >= 0 && IsKeyLine(lines[n])) {
      hasKeys[static_cast<size_t>(current)] = true;
    }
  }
  FUZZ_CHECK(content.problems.size() >= sectionFaults.size(), "a section fault is missing");
  for (size_t i = 0; i < sectionFaults.size(); ++i) {
    FUZZ_CHECK(StartsWith(content.problems[i], sectionFaults[i]),
               content.problems[i] + " is not " + sectionFaults[i]);
  }

  for (int site = 0; site < pixhaul::kSiteCount; ++site) {
    const auto index = static_cast<size_t>(site);
    const std::string named = path + ": [" + pixhaul::SiteLabel(*pixhaul::SiteOfRow(site)) + "]";
    bool faulted = false;
    for (size_t i = sectionFaults.size(); i < content.problems.size(); ++i) {
      faulted = faulted || StartsWith(content.problems[i], named);
    }
    const std::optional<pixhaul::SiteRules>& rules = content.sites[index];
    if (refused[index] || faulted || !hasKeys[index]) {
      FUZZ_CHECK(!rules, "rules taken for " + pixhaul::SiteLabel(*pixhaul::SiteOfRow(site)));
      continue;
    }
    FUZZ_CHECK(rules.has_value(), "the section of " +
                                      pixhaul::SiteLabel(*pixhaul::SiteOfRow(site)) +
                                      " is neither taken nor reported");
    FUZZ_CHECK(rules->fromFile && !rules->rules.empty(), "an empty site from the file");
    for (const pixhaul::AddressRule& rule : rules->rules) {
      FUZZ_CHECK(StartsWith(rule.name, named + " Rule"), rule.name);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The size limit is a fault of its own, checked by the tests.
  if (size + kByteOrderMark.size() > pixhaul::kMaxRulesFileBytes) return 0;
  const std::string_view input = pixhaul::fuzz::AsText(data, size);
  const std::string path = pixhaul::fuzz::ScratchPath("rules.ini");
  const pixhaul::RulesFileContent content = Load(path, input);
  CheckShape(path, input, content);

  if (input.starts_with(kByteOrderMark)) return 0;
  const pixhaul::RulesFileContent marked =
      Load(path, std::string(kByteOrderMark) + std::string(input));
  FUZZ_CHECK(marked.problems == content.problems, "a byte-order mark changed the faults");
  for (size_t site = 0; site < content.sites.size(); ++site) {
    const auto count = [](const std::optional<pixhaul::SiteRules>& rules) {
      return rules ? static_cast<long>(rules->rules.size()) : -1L;
    };
    FUZZ_CHECK(count(marked.sites[site]) == count(content.sites[site]),
               "a byte-order mark changed the rules");
  }
  return 0;
}
