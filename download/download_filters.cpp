// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/download_filters.h"

#include "framework/integer_text.h"

namespace pixhaul {

namespace {

std::optional<int> Side(std::string_view text) {
  const std::optional<int64_t> value = ParseUnsignedDecimal(text);
  if (!value || *value > kMaxMinimumSide) return std::nullopt;
  return static_cast<int>(*value);
}

}  // namespace

std::optional<std::pair<int, int>> ParseMinimumSize(std::string_view text) {
  const size_t cross = text.find_first_of("xX");
  if (cross == std::string_view::npos) return std::nullopt;
  const auto width = Side(text.substr(0, cross));
  const auto height = Side(text.substr(cross + 1));
  if (!width || !height) return std::nullopt;
  return std::pair{*width, *height};
}

std::string FiltersLine(const DownloadFilters& filters) {
  std::string line;
  if (filters.FiltersBySize()) {
    line =
        "\u2265 " + std::to_string(filters.minWidth) + "\u00d7" + std::to_string(filters.minHeight);
  }
  if (filters.skipDuplicates) line += line.empty() ? "no duplicates" : ", no duplicates";
  return line.empty() ? line : "Filters: " + line;
}

}  // namespace pixhaul
