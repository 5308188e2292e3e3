// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/site_table.h"

#include <gtest/gtest.h>

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
  for (int index : {-2, -1, 3, 7}) EXPECT_FALSE(IsSiteIndex(index)) << index;
  for (int index : {0, 1, 2}) EXPECT_TRUE(IsSiteIndex(index)) << index;
}

TEST(SiteTable, CurrentSiteStartsAtBing) { EXPECT_EQ(CurrentSite, 0); }

}  // namespace
}  // namespace pixhaul::test
