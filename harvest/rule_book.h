// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// RuleBook: the current-layout rules in force for each site - the rules file's where it names
// the site, the built-in ones elsewhere - kept across runs.
//
// Refresh reads the rules file again only when it (or its location) has changed, so a fault
// in it is reported once, and an edited file takes effect at the next run. A site whose file
// rules failed on a page is put back on its built-in rules until the file changes. Owned by
// the run's front end; one thread at a time.
//
// Tests: tests/harvest/address_harvest_test.cpp and tests/harvest/rules_file_test.cpp.
#pragma once

#include <sys/types.h>

#include <array>
#include <ctime>
#include <string>
#include <vector>

#include "harvest/address_rule.h"
#include "harvest/rules_file.h"
#include "harvest/site_table.h"

namespace pixhaul {

// The built-in rules of `site` (see BuiltInRuleTexts) compiled, named "built-in rule N for
// SITE". Raises std::logic_error if one of them does not compile (a fault of the program,
// caught by its tests).
SiteRules BuiltInRules(SiteId site);

class RuleBook {
 public:
  // Every site on its built-in rules.
  RuleBook();

  // Brings the book in line with the rules file at `location` and returns the faults found
  // when it was read again (see LoadRulesFile); nothing when it had not changed.
  std::vector<std::string> Refresh(const RulesFileLocation& location);

  // The rules in force for `site`. The reference stays valid until the next Refresh or
  // UseBuiltIn.
  SiteRules& ForSite(SiteId site);

  // Puts `site` back on its built-in rules until the rules file changes.
  void UseBuiltIn(SiteId site);

 private:
  // What tells one state of the file from another: absent, or its inode, size and times.
  struct FileState {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileState& other) const;
  };
  static FileState StateOf(const std::string& path);

  std::array<SiteRules, kSiteCount> sites_;
  bool read_ = false;  // a file (or the lack of one) has been taken in
  RulesFileLocation location_;
  FileState state_;
};

}  // namespace pixhaul
