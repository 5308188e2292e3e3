// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/site_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace pixhaul::test {
namespace {

TEST(SiteTable, NamesLabelsAndStartPagesInSelectorOrder) {
  struct Row {
    int index;
    const char* name;
    const char* label;
    const char* startPage;
  };
  const Row rows[] = {
      {0, "bing", "www.bing.com", "http://www.bing.com/images"},
      {1, "google", "images.google.com", "http://images.google.com"},
      {2, "baidu", "image.baidu.com", "http://image.baidu.com"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.index);
    EXPECT_EQ(SiteName(row.index), row.name);
    EXPECT_EQ(SiteLabel(row.index), row.label);
    EXPECT_EQ(SiteStartPage(row.index), row.startPage);
  }
}

TEST(SiteTable, OnlyZeroToTwoAreSites) {
  for (int index : {-2, -1, 3, 7}) {
    EXPECT_FALSE(IsSiteIndex(index)) << index;
    EXPECT_TRUE(MarkerForSite(index).marker.empty()) << index;
    EXPECT_TRUE(BuiltInRuleTexts(index).empty()) << index;
  }
  for (int index : {0, 1, 2}) EXPECT_TRUE(IsSiteIndex(index)) << index;
}

TEST(SiteTable, CurrentSiteStartsAtBing) { EXPECT_EQ(CurrentSite, 0); }

// Every row is whole: a name and label of its own (the label names its section of a rules
// file), a start page, a marker whose skip lands within a byte of its end, and rules; and the
// accessors read the row of their index.
TEST(SiteTable, EveryRowIsCompleteAndTheAccessorsReadIt) {
  std::set<std::string> names;
  std::set<std::string> labels;
  for (int index = 0; index < kSiteCount; ++index) {
    SCOPED_TRACE(index);
    const Site& site = Sites()[static_cast<size_t>(index)];
    EXPECT_TRUE(names.insert(std::string(site.name)).second);
    EXPECT_TRUE(labels.insert(std::string(site.label)).second);
    EXPECT_EQ(site.startPage.rfind("http://", 0), 0u);
    EXPECT_FALSE(site.marker.marker.empty());
    EXPECT_GT(site.marker.skip, 0u);
    EXPECT_LE(site.marker.skip, site.marker.marker.size() + 1);
    EXPECT_FALSE(site.rules.empty());
    EXPECT_EQ(SiteName(index), site.name);
    EXPECT_EQ(SiteLabel(index), site.label);
    EXPECT_EQ(SiteMoreResultsSelector(index), site.moreResultsSelector);
    EXPECT_EQ(MarkerForSite(index).marker, site.marker.marker);
    EXPECT_EQ(BuiltInRuleTexts(index).data(), site.rules.data());
  }
}

// A test's start page replaces the row's for as long as it is set, and only for its site.
TEST(SiteTable, StartPageForTestingReplacesOnlyItsSite) {
  SetSiteStartPageForTesting(1, "http://127.0.0.1:9/");
  EXPECT_EQ(SiteStartPage(1), "http://127.0.0.1:9/");
  EXPECT_EQ(SiteStartPage(0), "http://www.bing.com/images");
  SetSiteStartPageForTesting(1, "");
  EXPECT_EQ(SiteStartPage(1), "http://images.google.com");
}

}  // namespace
}  // namespace pixhaul::test
