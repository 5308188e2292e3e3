// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/site_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace pixhaul::test {
namespace {

// Only the table's rows are sites: a number becomes a site only when it is a row, and a site
// comes back to its row and its name.
TEST(SiteTable, OnlyRowsOfTheTableAreSites) {
  for (int row : {-2, -1, kSiteCount, kSiteCount + 4}) EXPECT_FALSE(SiteOfRow(row)) << row;
  EXPECT_TRUE(MarkerForSite(std::nullopt).marker.empty());
  for (const char* name : {"", "Bing", "bing ", "www.bing.com"}) EXPECT_FALSE(SiteNamed(name));
  ASSERT_EQ(AllSites().size(), static_cast<size_t>(kSiteCount));
  for (int row = 0; row < kSiteCount; ++row) {
    const SiteId site = AllSites()[static_cast<size_t>(row)];
    EXPECT_EQ(site.Row(), row);
    EXPECT_EQ(SiteOfRow(row), site);
    EXPECT_EQ(SiteNamed(SiteName(site)), site);
  }
}

// Every row is whole: a name and label of its own (the label names its section of a rules
// file and is the host its start page is on), a marker whose skip lands within a byte of its
// end, and rules; and the accessors read the row of their site.
TEST(SiteTable, EveryRowIsCompleteAndTheAccessorsReadIt) {
  std::set<std::string> names;
  std::set<std::string> labels;
  for (const SiteId site : AllSites()) {
    const Site& row = RowOf(site);
    SCOPED_TRACE(std::string(row.name));
    EXPECT_TRUE(names.insert(std::string(row.name)).second);
    EXPECT_TRUE(labels.insert(std::string(row.label)).second);
    const std::string origin = "http://" + std::string(row.label);
    EXPECT_EQ(row.startPage.substr(0, origin.size()), origin);
    EXPECT_TRUE(row.startPage.size() == origin.size() || row.startPage[origin.size()] == '/');
    EXPECT_FALSE(row.marker.marker.empty());
    EXPECT_GT(row.marker.skip, 0u);
    EXPECT_LE(row.marker.skip, row.marker.marker.size() + 1);
    EXPECT_FALSE(row.rules.empty());
    EXPECT_EQ(SiteName(site), row.name);
    EXPECT_EQ(SiteLabel(site), row.label);
    EXPECT_EQ(SiteStartPage(site), row.startPage);
    EXPECT_EQ(SiteMoreResultsSelector(site), row.moreResultsSelector);
    EXPECT_EQ(MarkerForSite(site).marker, row.marker.marker);
    EXPECT_EQ(BuiltInRuleTexts(site).data(), row.rules.data());
  }
}

// A test's start page replaces the row's for as long as it is set, and only for its site.
TEST(SiteTable, StartPageForTestingReplacesOnlyItsSite) {
  const SiteId first = AllSites()[0];
  const SiteId second = AllSites()[1];
  SetSiteStartPageForTesting(second, "http://127.0.0.1:9/");
  EXPECT_EQ(SiteStartPage(second), "http://127.0.0.1:9/");
  EXPECT_EQ(SiteStartPage(first), RowOf(first).startPage);
  SetSiteStartPageForTesting(second, "");
  EXPECT_EQ(SiteStartPage(second), RowOf(second).startPage);
}

}  // namespace
}  // namespace pixhaul::test
