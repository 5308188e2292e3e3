// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_options.h"

namespace pixhaul {

std::string RunOptionsLine(const RunOptions& options) {
  std::string line = FiltersLine(options.filters);
  const auto add = [&line](const std::string& part) {
    line += line.empty() ? part : " \u00b7 " + part;
  };
  if (options.maxImages > 0) add("up to " + std::to_string(options.maxImages) + " images");
  if (options.retries > 0)
    add(std::to_string(options.retries) + (options.retries == 1 ? " retry" : " retries"));
  if (!line.empty() && line[0] == 'u') line[0] = 'U';
  return line;
}

}  // namespace pixhaul
