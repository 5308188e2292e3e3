// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/rule_book.h"

#include <sys/stat.h>

#include <cassert>

#include "harvest/built_in_rules.h"

namespace pixhaul {

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
  for (int site = 0; site < kSiteCount; ++site) UseBuiltIn(site);
}

std::vector<std::string> RuleBook::Refresh(const RulesFileLocation& location) {
  const FileState state = StateOf(location.path);
  if (read_ && location.path == location_.path && location.required == location_.required &&
      state == state_) {
    return {};
  }
  RulesFileContent content = LoadRulesFile(location);
  for (int site = 0; site < kSiteCount; ++site) {
    std::optional<SiteRules>& fromFile = content.sites[static_cast<size_t>(site)];
    if (fromFile) {
      sites_[static_cast<size_t>(site)] = std::move(*fromFile);
    } else {
      UseBuiltIn(site);
    }
  }
  read_ = true;
  location_ = location;
  state_ = state;
  return std::move(content.problems);
}

SiteRules& RuleBook::ForSite(int siteIndex) {
  assert(IsSiteIndex(siteIndex));
  return sites_[static_cast<size_t>(siteIndex)];
}

void RuleBook::UseBuiltIn(int siteIndex) {
  assert(IsSiteIndex(siteIndex));
  SiteRules& site = sites_[static_cast<size_t>(siteIndex)];
  if (site.fromFile || site.rules.empty()) site = BuiltInRules(siteIndex);
}

}  // namespace pixhaul
