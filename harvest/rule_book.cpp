// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/rule_book.h"

#include <sys/stat.h>

#include <cassert>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace pixhaul {

SiteRules BuiltInRules(SiteId siteId) {
  SiteRules site;
  const std::span<const RuleText> texts = BuiltInRuleTexts(siteId);
  for (size_t n = 0; n < texts.size(); ++n) {
    const std::string name = "built-in rule " + std::to_string(n + 1) + " for " + SiteLabel(siteId);
    std::string error;
    std::optional<RegexPattern> expression = CompileRuleExpression(texts[n].expression, error);
    if (!expression) throw std::logic_error(name + ": " + error);
    AddressRule rule{std::move(*expression), texts[n].decoding, {}, name, {}};
    for (size_t m = 0; m < texts[n].exclusions.size(); ++m) {
      std::optional<RegexPattern> exclusion = CompileExclusion(texts[n].exclusions[m], error);
      if (!exclusion) throw std::logic_error(name + ", exclusion " + std::to_string(m + 1));
      rule.exclusions.push_back(std::move(*exclusion));
      rule.exclusionNames.push_back(name + ", exclusion " + std::to_string(m + 1));
    }
    site.rules.push_back(std::move(rule));
  }
  return site;
}

bool RuleBook::FileState::operator==(const FileState& other) const {
  return exists == other.exists && device == other.device && inode == other.inode &&
         size == other.size && modified.tv_sec == other.modified.tv_sec &&
         modified.tv_nsec == other.modified.tv_nsec && changed.tv_sec == other.changed.tv_sec &&
         changed.tv_nsec == other.changed.tv_nsec;
}

RuleBook::FileState RuleBook::StateOf(const std::string& path) {
  FileState state;
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return state;
  state.exists = true;
  state.device = info.st_dev;
  state.inode = info.st_ino;
  state.size = info.st_size;
  state.modified = info.st_mtim;
  state.changed = info.st_ctim;
  return state;
}

RuleBook::RuleBook() {
  for (const SiteId site : AllSites()) UseBuiltIn(site);
}

std::vector<std::string> RuleBook::Refresh(const RulesFileLocation& location) {
  const FileState state = StateOf(location.path);
  if (read_ && location.path == location_.path && location.required == location_.required &&
      state == state_) {
    return {};
  }
  RulesFileContent content = LoadRulesFile(location);
  for (const SiteId site : AllSites()) {
    std::optional<SiteRules>& fromFile = content.sites[site.Slot()];
    if (fromFile) {
      sites_[site.Slot()] = std::move(*fromFile);
    } else {
      UseBuiltIn(site);
    }
  }
  read_ = true;
  location_ = location;
  state_ = state;
  return std::move(content.problems);
}

SiteRules& RuleBook::ForSite(SiteId site) { return sites_[site.Slot()]; }

void RuleBook::UseBuiltIn(SiteId siteId) {
  SiteRules& site = sites_[siteId.Slot()];
  if (site.fromFile || site.rules.empty()) site = BuiltInRules(siteId);
}

}  // namespace pixhaul
