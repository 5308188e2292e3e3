// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// DownloadFilters: which images the user does not want kept, beyond documents (never kept):
// those smaller than a width and height read from their own header, and second copies of an
// image already saved in the run or already in the save folder. Both are off by default, so a
// run keeps every image as it came. A plain value; the front ends fill it from their settings.
//
// Tests: tests/download/image_check_test.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pixhaul {

struct DownloadFilters {
  int minWidth = 0;  // 0 x 0: no image is too small
  int minHeight = 0;
  bool skipDuplicates = false;

  bool FiltersBySize() const { return minWidth > 0 || minHeight > 0; }
  bool operator==(const DownloadFilters&) const = default;
};

// The largest width or height a minimum may name.
inline constexpr int kMaxMinimumSide = 100000;

// "WIDTHxHEIGHT" ("200x200"; "0x0" keeps every size) as the two numbers, or nothing when the
// text is not two decimal numbers of at most kMaxMinimumSide joined by "x" or "X".
std::optional<std::pair<int, int>> ParseMinimumSize(std::string_view text);

// The filters in force, in one short line for the window ("Filters: ≥ 200×200, no
// duplicates"), or empty when none is. UTF-8.
std::string FiltersLine(const DownloadFilters& filters);

}  // namespace pixhaul
