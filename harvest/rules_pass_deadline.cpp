// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/rules_pass_deadline.h"

namespace pixhaul {

std::string RulesPassDeadline::Stopped(const std::string& name) const {
  const long long ms = limit_.count();
  const std::string limit =
      ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
  return name + ": the expression stopped at the time limit of the rules (" + limit + ")";
}

}  // namespace pixhaul
