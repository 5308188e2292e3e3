// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The site a result page belongs to when it is not the selected one: a run whose site finds no
// address on the page tells the user which site to select instead, once, beside the log (whose
// lines and count stay as they are).
//
// A page belongs to another site of the table when its address's host is that site's domain
// or a name under it (images.google.com and www.google.com are Google's), or, failing that,
// when that site's marker or current-layout rules find addresses on it (its harvest). Main thread
// only (the rules are the run's).
//
// Tests: tests/download/run_controller_test.cpp (PageOfAnotherSiteIsNamedOnceAndTheRunIsUnchanged).
#pragma once

#include <optional>
#include <string>

#include "framework/file_target.h"
#include "harvest/page_text_stream.h"
#include "harvest/rule_book.h"

namespace pixhaul {

// The host of an http or https `address`, lower case, without user information or port; empty
// for any other address.
std::string AddressHost(const std::string& address);

// The site, other than `selected`, whose domain `host` is or is under; nothing when none is.
std::optional<SiteId> SiteOfHost(const std::string& host, std::optional<SiteId> selected);

// The other site the page (at `pageAddress`, empty when unknown) belongs to, or nothing. The other
// sites' harvests are tried through the scratch list file `scratchList`, which is removed
// afterwards. Raises what a harvest raises.
std::optional<SiteId> OtherSiteOfPage(const std::string& pageAddress,
                                      std::optional<SiteId> selected, const PageFile& page,
                                      RuleBook& rules, const FileTarget& scratchList);

}  // namespace pixhaul
