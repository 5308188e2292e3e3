// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// How many addresses a run would list from a page: the markup is written as a run writes its
// page file and harvested by the same code (the site's marker, then its current-layout rules),
// into files of a work folder of the caller's, so the number is the "Total url count:" a run
// on the same markup logs. Main thread only (the rule book's thread).
//
// Tests: tests/app/load_more_test.cpp.
#pragma once

#include <optional>
#include <string>

#include "download/page_markup.h"
#include "harvest/rule_book.h"

namespace pixhaul {

// Counts the addresses in `markup` for `site` (none: the count of no site's marker) with `book`,
// writing the files "page.txt" and "list.txt" in `workFolder` (ending in "/"). Raises what the page
// file's write and the harvest raise.
int CountPageAddresses(PageMarkup markup, std::optional<SiteId> site, RuleBook& book,
                       const std::string& workFolder);

}  // namespace pixhaul
